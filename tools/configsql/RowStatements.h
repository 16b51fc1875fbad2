// Rows written as statements of the language, for .dump and .import.
//
// A row goes in as "update T set * = F1|F2|... where 0", the form the
// configuration builder uses, so that row ids and states are those of any
// insert; .dump adds " suggestedRowId ID" to keep the row's id. The form
// cannot carry every text: a field may not hold "|" or a line break, the
// row may not begin or end with white space (the engine strips it), and
// "System.TableDefinition" or "System.TableType" in the fields would turn
// the statement into a change of the table's columns. Such rows are refused
// with the reason, never written in a form that reads back differently.
//
// Thread safety: pure functions.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/Status.h"

namespace configsql {

// "create table T (C1 Type1, C2 Type2, ...)" from a TableDefinition and
// TableType value; a column without a type gets none.
platform::Status CreateStatement(std::string_view table, std::string_view columns,
                                 std::string_view types, std::string* statement);

// Appends the insert of one row (its fields joined by "|") to `out`, with
// " suggestedRowId ID" when `rowId` is not empty.
platform::Status AppendInsert(std::string_view table, std::string_view rowValue,
                              std::string_view rowId, std::string* out);

// Where each CSV column goes: its position among the table's columns.
struct ImportPlan {
  std::vector<size_t> target;  // per CSV column
  size_t columnCount = 0;      // the table's
};

// Matches the header's names with the table's columns (no regard to case).
platform::Status PlanImport(const std::vector<std::string>& header, std::string_view columns,
                            ImportPlan* plan);

// The row value for one CSV record: each field at its column, the others
// empty, joined by "|".
platform::Status RowValue(const ImportPlan& plan, const std::vector<std::string>& record,
                          std::string* value);

}  // namespace configsql
