#include "CsvReader.h"

namespace configsql {

CsvReader::CsvReader(std::string_view text) : text_(text) {
  if (text_.starts_with("\xEF\xBB\xBF")) pos_ = 3;
}

bool CsvReader::Next(std::vector<std::string>& fields) {
  fields.clear();
  if (pos_ >= text_.size() || !error_.empty()) return false;
  recordLine_ = line_;
  std::string field;
  for (;;) {
    field.clear();
    if (pos_ < text_.size() && text_[pos_] == '"') {
      const int64_t opened = line_;
      for (++pos_;; ++pos_) {
        if (pos_ >= text_.size()) {
          error_ = "line " + std::to_string(opened) + ": a quoted field is not closed";
          return false;
        }
        const char c = text_[pos_];
        if (c == '"') {
          if (pos_ + 1 < text_.size() && text_[pos_ + 1] == '"') {
            field += '"';
            ++pos_;
            continue;
          }
          ++pos_;
          break;
        }
        if (c == '\n') ++line_;
        field += c;
      }
      if (pos_ < text_.size() && text_[pos_] != ',' && text_[pos_] != '\n' &&
          !(text_[pos_] == '\r' && pos_ + 1 < text_.size() && text_[pos_ + 1] == '\n')) {
        error_ = "line " + std::to_string(line_) + ": text after the closing quote of a field";
        return false;
      }
    } else {
      const size_t end = text_.find_first_of(",\n", pos_);
      size_t stop = end == std::string_view::npos ? text_.size() : end;
      size_t last = stop;
      if (last > pos_ && text_[last - 1] == '\r' &&
          (end == std::string_view::npos || text_[end] == '\n')) {
        --last;
      }
      field.assign(text_.substr(pos_, last - pos_));
      pos_ = stop;
    }
    fields.push_back(std::move(field));
    if (pos_ >= text_.size()) return true;
    if (text_[pos_] == ',') {
      ++pos_;
      continue;
    }
    if (text_[pos_] == '\r') ++pos_;
    ++pos_;  // the line feed
    ++line_;
    return true;
  }
}

}  // namespace configsql
