// How result lines reach the reader: the output modes of the shell.
//
// A statement's result lines arrive as text joined by the delimiter; the
// writer splits them and lays them out in the chosen mode, with the column
// names (the select's items) as a header where headers are on:
//   list      values joined by the delimiter, as the engine gives them
//   csv       RFC 4180 fields
//   json      one JSON value per line: an object keyed by column name with
//             headers on, an array without
//   table     a box of +---+ lines, columns padded to their widest value
//   markdown  a pipe table
//   line      one "name = value" line per column, a blank line between rows
// Widths count UTF-8 characters, not bytes. The table and markdown modes
// keep the rows until End(); the others write each row at once.
//
// Thread safety: one thread per writer.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace configsql {

enum class OutputMode { kList, kCsv, kJson, kTable, kMarkdown, kLine };

// False for a name that is no mode.
bool ParseOutputMode(std::string_view name, OutputMode* mode);
// "list|csv|json|table|markdown|line"
const char* OutputModeNames();

// Writes `value` as one CSV field, quoted when it must be.
void WriteCsvField(std::string& out, std::string_view value);

class ResultWriter {
 public:
  ResultWriter(std::FILE* out, OutputMode mode, bool headers, char delimiter,
               std::vector<std::string> columns);
  ResultWriter(const ResultWriter&) = delete;
  ResultWriter& operator=(const ResultWriter&) = delete;

  void Line(std::string_view line);
  void End();

 private:
  const std::string& ColumnName(size_t index);
  void WriteRow(const std::vector<std::string_view>& values);
  void WriteBox();

  std::FILE* out_;
  OutputMode mode_;
  bool headers_;
  char delimiter_;
  std::vector<std::string> columns_;
  bool headerDone_ = false;
  size_t rowCount_ = 0;
  std::vector<std::vector<std::string>> kept_;  // table and markdown rows
  std::string buffer_;
};

}  // namespace configsql
