// The empty schema of a configuration: the 63 tables every configuration
// file carries, with their columns and column types, in file order.
//
// This is data only. DefaultConfigText.h turns it into the text that the
// configuration builder writes and loads; keeping the table list apart
// keeps the wording of the schema away from the code that lays it out.
// The table model never interprets the types, so a few templates carry
// fewer types than columns, exactly as the analysis system expects them.
//
// Thread safety: immutable data, readable from any thread.
#pragma once

#include <cstddef>
#include <span>

namespace schema {

struct TableTemplate {
  const char* name;
  // ParameterDefaults and ParametersSavedInDisplays indent their type line
  // by 4 blanks instead of 40; the loader ignores indentation, the
  // analysis system's own files look like this.
  bool shortTypeIndent;
  const char* columns;  // column names joined by '|'
  const char* types;    // column types joined by '|'
};

inline constexpr std::size_t kDefaultTableCount = 63;

// All 63 tables; the last one (ZarnActiveXControls) belongs only to the
// newer file version.
std::span<const TableTemplate> DefaultTableTemplates();

}  // namespace schema
