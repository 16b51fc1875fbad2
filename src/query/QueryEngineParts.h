// Private pieces of tSqlQueryEngine shared by its statement files.
#pragma once

#include <optional>
#include <vector>

#include "query/tSqlQueryEngine.h"
#include "templatelib/tGenericContainer.h"
#include "templatelib/tHash.h"

// A walk over the candidate rows of the bound table: every row in list
// order, or the rows that one bin of the primary-key index holds under the
// looked-up key, gathered when the walk starts and put in list order.
struct tSqlQueryEngine::RowCursor {
  std::optional<tGenericContainerIterator<tAttribute>> rows;
  const std::vector<tAttribute*>* indexRows = nullptr;  // null: every row
  size_t next = 0;
};

// One item of a select's column list, resolved once per statement.
struct tSqlQueryEngine::SelectItem {
  enum Kind { kWholeRow, kColumn, kRowNumber, kRowState, kErrorState, kUnknown };
  Kind kind = kUnknown;
  bool fromPrevious = false;  // "$": the row's value before its last edit
  int32_t column = -1;        // kColumn: the field's position
  tString text;               // the item as written, for messages
};

// One assignment of an update's column form, parsed once per statement.
struct tSqlQueryEngine::Assignment {
  int32_t column = -1;
  tString name;
  tString value;
};

namespace query {

// The column lists a where clause naming System columns is loaded against.
inline constexpr char kSystemColumnNames[] =
    "System.RowNumber|System.RowState|System.TableDefinition|System.TableType";
inline constexpr char kSystemColumnTypes[] = "String|String|String|String";

// The row state a where text "System.RowState = X" names by X's first
// letter (D, E, U, N; A: kRowAny, every row), or -1.
int32_t RowStateOfLetter(const char* where);

}  // namespace query
