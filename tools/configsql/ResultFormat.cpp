#include "ResultFormat.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace configsql {
namespace {

constexpr struct {
  const char* name;
  OutputMode mode;
} kModes[] = {{"list", OutputMode::kList},         {"csv", OutputMode::kCsv},
              {"json", OutputMode::kJson},         {"table", OutputMode::kTable},
              {"markdown", OutputMode::kMarkdown}, {"line", OutputMode::kLine}};

bool SameNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

std::vector<std::string_view> Split(std::string_view line, char delimiter) {
  std::vector<std::string_view> values;
  for (size_t start = 0;;) {
    size_t end = line.find(delimiter, start);
    values.push_back(line.substr(start, end == std::string_view::npos ? end : end - start));
    if (end == std::string_view::npos) return values;
    start = end + 1;
  }
}

// Characters, counting each UTF-8 sequence once.
size_t Width(std::string_view text) {
  return static_cast<size_t>(std::count_if(text.begin(), text.end(), [](char c) {
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  }));
}

void AppendPadded(std::string& out, std::string_view text, size_t width) {
  out.append(text);
  out.append(width - std::min(width, Width(text)), ' ');
}

void AppendJsonString(std::string& out, std::string_view value) {
  out += '"';
  for (unsigned char c : value) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (c < 0x20) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
          out += escaped;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  out += '"';
}

}  // namespace

bool ParseOutputMode(std::string_view name, OutputMode* mode) {
  for (const auto& entry : kModes) {
    if (!SameNoCase(name, entry.name)) continue;
    *mode = entry.mode;
    return true;
  }
  return false;
}

const char* OutputModeNames() { return "list|csv|json|table|markdown|line"; }

void WriteCsvField(std::string& out, std::string_view value) {
  if (value.find_first_of(",\"\r\n") == std::string_view::npos) {
    out.append(value);
    return;
  }
  out += '"';
  for (char c : value) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
}

ResultWriter::ResultWriter(std::FILE* out, OutputMode mode, bool headers, char delimiter,
                           std::vector<std::string> columns)
    : out_(out),
      mode_(mode),
      headers_(headers),
      delimiter_(delimiter),
      columns_(std::move(columns)) {}

const std::string& ResultWriter::ColumnName(size_t index) {
  // More values than named items (a "*" read with another delimiter, ...):
  // the extra ones get a name by position.
  while (columns_.size() <= index)
    columns_.push_back("column" + std::to_string(columns_.size() + 1));
  return columns_[index];
}

void ResultWriter::Line(std::string_view line) {
  std::vector<std::string_view> values = Split(line, delimiter_);
  for (size_t i = 0; i < values.size(); ++i) ColumnName(i);
  if (mode_ == OutputMode::kTable || mode_ == OutputMode::kMarkdown) {
    kept_.emplace_back(values.begin(), values.end());
    return;
  }
  WriteRow(values);
  ++rowCount_;
}

void ResultWriter::WriteRow(const std::vector<std::string_view>& values) {
  buffer_.clear();
  if (headers_ && !headerDone_ && (mode_ == OutputMode::kList || mode_ == OutputMode::kCsv)) {
    for (size_t i = 0; i < columns_.size(); ++i) {
      if (i > 0) buffer_ += mode_ == OutputMode::kCsv ? ',' : delimiter_;
      if (mode_ == OutputMode::kCsv) {
        WriteCsvField(buffer_, columns_[i]);
      } else {
        buffer_ += columns_[i];
      }
    }
    buffer_ += '\n';
  }
  headerDone_ = true;
  switch (mode_) {
    case OutputMode::kList:
      for (size_t i = 0; i < values.size(); ++i) {
        if (i > 0) buffer_ += delimiter_;
        buffer_.append(values[i]);
      }
      break;
    case OutputMode::kCsv:
      for (size_t i = 0; i < values.size(); ++i) {
        if (i > 0) buffer_ += ',';
        WriteCsvField(buffer_, values[i]);
      }
      break;
    case OutputMode::kJson:
      buffer_ += headers_ ? '{' : '[';
      for (size_t i = 0; i < values.size(); ++i) {
        if (i > 0) buffer_ += ',';
        if (headers_) {
          AppendJsonString(buffer_, columns_[i]);
          buffer_ += ':';
        }
        AppendJsonString(buffer_, values[i]);
      }
      buffer_ += headers_ ? '}' : ']';
      break;
    case OutputMode::kLine: {
      size_t width = 0;
      for (size_t i = 0; i < values.size(); ++i) width = std::max(width, Width(columns_[i]));
      if (rowCount_ > 0) buffer_ += '\n';
      for (size_t i = 0; i < values.size(); ++i) {
        buffer_.append(width - Width(columns_[i]), ' ');
        buffer_ += columns_[i];
        buffer_ += " = ";
        buffer_.append(values[i]);
        if (i + 1 < values.size()) buffer_ += '\n';
      }
      break;
    }
    case OutputMode::kTable:
    case OutputMode::kMarkdown:
      break;
  }
  buffer_ += '\n';
  std::fwrite(buffer_.data(), 1, buffer_.size(), out_);
}

void ResultWriter::WriteBox() {
  const bool table = mode_ == OutputMode::kTable;
  std::vector<size_t> widths(columns_.size(), 0);
  if (headers_) {
    for (size_t i = 0; i < columns_.size(); ++i) widths[i] = Width(columns_[i]);
  }
  for (const auto& row : kept_) {
    for (size_t i = 0; i < row.size(); ++i) widths[i] = std::max(widths[i], Width(row[i]));
  }
  std::string rule = table ? "+" : "|";
  for (size_t width : widths) {
    rule.append(width + 2, '-');
    rule += table ? '+' : '|';
  }
  rule += '\n';
  auto appendRow = [&](auto&& valueAt) {
    buffer_ += '|';
    for (size_t i = 0; i < widths.size(); ++i) {
      buffer_ += ' ';
      AppendPadded(buffer_, valueAt(i), widths[i]);
      buffer_ += " |";
    }
    buffer_ += '\n';
  };
  buffer_.clear();
  if (table) buffer_ += rule;
  if (headers_) {
    appendRow([&](size_t i) { return std::string_view(columns_[i]); });
    buffer_ += rule;
  }
  for (const auto& row : kept_) {
    appendRow(
        [&](size_t i) { return i < row.size() ? std::string_view(row[i]) : std::string_view(); });
  }
  if (table) buffer_ += rule;
  std::fwrite(buffer_.data(), 1, buffer_.size(), out_);
}

void ResultWriter::End() {
  if ((mode_ == OutputMode::kTable || mode_ == OutputMode::kMarkdown) && !kept_.empty()) {
    WriteBox();
  }
  kept_.clear();
}

}  // namespace configsql
