#include "artefacts/DefaultConfigText.h"

#include <string_view>

namespace schema {

namespace {

constexpr std::string_view kOldVersion = "VersionFourPointZero";
constexpr std::string_view kNewVersion = "VersionFivePointZero";

// Indents of the template lines; they mean nothing to the loader but are
// what the analysis system's own files carry.
constexpr std::size_t kTableIndent = 2;
constexpr std::size_t kBraceIndent = 37;
constexpr std::size_t kFieldIndent = 40;
constexpr std::size_t kShortTypeIndent = 4;

void AppendLine(std::string& text, std::size_t indent, std::string_view a,
                std::string_view b = {}) {
  text.append(indent, ' ');
  text.append(a);
  text.append(b);
  text.push_back('\n');
}

std::string BuildTemplateText() {
  std::string text;
  text.reserve(32 * 1024);
  AppendLine(text, 0, "Root ", kOldVersion);
  AppendLine(text, 0, "{");
  const auto tables = DefaultTableTemplates();
  // Every table but the last, which only the newer version has.
  for (std::size_t i = 0; i + 1 < tables.size(); ++i) AppendTableTemplate(tables[i], text);
  AppendLine(text, 0, "}");
  return text;
}

std::string BuildDefaultConfigText() {
  std::string text = BuildTemplateText();
  text.reserve(text.size() + 500);
  if (std::size_t at = text.find(kOldVersion); at != std::string::npos) {
    text.replace(at, kOldVersion.size(), kNewVersion);
  }
  // Reopen the root's block so that the new table becomes its last child.
  if (std::size_t close = text.rfind('}'); close != std::string::npos) {
    text.resize(close);
    AppendTableTemplate(DefaultTableTemplates().back(), text);
    AppendLine(text, 0, "}");
  }
  return text;
}

}  // namespace

void AppendTableTemplate(const TableTemplate& table, std::string& text) {
  AppendLine(text, kTableIndent, "Table ", table.name);
  AppendLine(text, kBraceIndent, "{");
  AppendLine(text, kFieldIndent, "TableDefinition ", table.columns);
  AppendLine(text, table.shortTypeIndent ? kShortTypeIndent : kFieldIndent, "TableType ",
             table.types);
  AppendLine(text, kFieldIndent, "TableContents");
  AppendLine(text, kBraceIndent, "}");
}

const std::string& GetTemplateText() {
  static const std::string text = BuildTemplateText();
  return text;
}

const std::string& GetDefaultConfigText() {
  static const std::string text = BuildDefaultConfigText();
  return text;
}

}  // namespace schema
