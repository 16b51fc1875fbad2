// CSV records (RFC 4180) out of a text held in memory.
//
// Fields are separated by ",", records by CRLF or LF; a field in double
// quotes may hold commas, line breaks and doubled quotes. A quote inside an
// unquoted field is kept as it is (as lenient readers do); text after the
// closing quote of a quoted field is an error, as is a quoted field that
// never closes. A UTF-8 byte-order mark at the start is skipped.
//
// Thread safety: one thread per reader.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace configsql {

class CsvReader {
 public:
  explicit CsvReader(std::string_view text);

  // The next record into `fields`; false at the end of the text or on an
  // error (then error() says what and where).
  bool Next(std::vector<std::string>& fields);
  const std::string& error() const { return error_; }
  // The line on which the record last returned began (1 for the first).
  int64_t recordLine() const { return recordLine_; }

 private:
  std::string_view text_;
  size_t pos_ = 0;
  int64_t line_ = 1;
  int64_t recordLine_ = 0;
  std::string error_;
};

}  // namespace configsql
