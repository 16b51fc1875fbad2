#include "RowStatements.h"

#include <cctype>

namespace configsql {
namespace {

bool ContainsNoCase(std::string_view text, std::string_view needle) {
  for (size_t i = 0; i + needle.size() <= text.size(); ++i) {
    size_t k = 0;
    while (k < needle.size() && std::tolower(static_cast<unsigned char>(text[i + k])) ==
                                    std::tolower(static_cast<unsigned char>(needle[k]))) {
      ++k;
    }
    if (k == needle.size()) return true;
  }
  return false;
}

bool IsSpace(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

std::vector<std::string_view> Fields(std::string_view text) {
  std::vector<std::string_view> fields;
  for (size_t start = 0;;) {
    size_t end = text.find('|', start);
    fields.push_back(text.substr(start, end == std::string_view::npos ? end : end - start));
    if (end == std::string_view::npos) return fields;
    start = end + 1;
  }
}

}  // namespace

platform::Status CreateStatement(std::string_view table, std::string_view columns,
                                 std::string_view types, std::string* statement) {
  const std::vector<std::string_view> names = Fields(columns);
  const std::vector<std::string_view> typeNames = Fields(types);
  *statement = "create table " + std::string(table) + " (";
  for (size_t i = 0; i < names.size(); ++i) {
    if (names[i].empty() || names[i].find_first_of(" \t,()") != std::string_view::npos) {
      return platform::Status::InvalidArgument("table " + std::string(table) + ": column '" +
                                               std::string(names[i]) +
                                               "' cannot be written in a create statement");
    }
    if (i > 0) *statement += ", ";
    *statement += names[i];
    if (i < typeNames.size() && !typeNames[i].empty()) {
      *statement += ' ';
      *statement += typeNames[i];
    }
  }
  *statement += ')';
  return platform::Status::Ok();
}

platform::Status AppendInsert(std::string_view table, std::string_view rowValue,
                              std::string_view rowId, std::string* out) {
  auto refuse = [&](const char* why) {
    return platform::Status::InvalidArgument("table " + std::string(table) +
                                             (rowId.empty() ? "" : ", row " + std::string(rowId)) +
                                             ": " + why);
  };
  if (rowValue.find_first_of("\r\n") != std::string_view::npos) {
    return refuse("a field holds a line break");
  }
  if (!rowValue.empty() && (IsSpace(rowValue.front()) || IsSpace(rowValue.back()))) {
    return refuse("the row begins or ends with white space, which an update statement strips");
  }
  if (ContainsNoCase(rowValue, "System.TableDefinition") ||
      ContainsNoCase(rowValue, "System.TableType")) {
    return refuse("a field holds System.TableDefinition or System.TableType");
  }
  out->append("update ").append(table).append(" set * = ").append(rowValue).append(" where 0");
  if (!rowId.empty()) out->append(" suggestedRowId ").append(rowId);
  out->push_back('\n');
  return platform::Status::Ok();
}

platform::Status PlanImport(const std::vector<std::string>& header, std::string_view columns,
                            ImportPlan* plan) {
  const std::vector<std::string_view> names = Fields(columns);
  plan->columnCount = names.size();
  plan->target.clear();
  std::vector<bool> taken(names.size(), false);
  for (const std::string& wanted : header) {
    size_t found = names.size();
    for (size_t i = 0; i < names.size(); ++i) {
      if (names[i].size() == wanted.size() && ContainsNoCase(names[i], wanted)) found = i;
    }
    if (found == names.size()) {
      return platform::Status::InvalidArgument("the header names '" + wanted +
                                               "', which is not a column of the table");
    }
    if (taken[found]) {
      return platform::Status::InvalidArgument("the header names '" + wanted + "' twice");
    }
    taken[found] = true;
    plan->target.push_back(found);
  }
  return platform::Status::Ok();
}

platform::Status RowValue(const ImportPlan& plan, const std::vector<std::string>& record,
                          std::string* value) {
  if (record.size() != plan.target.size()) {
    return platform::Status::InvalidArgument(std::to_string(record.size()) +
                                             " fields, the header has " +
                                             std::to_string(plan.target.size()));
  }
  std::vector<const std::string*> placed(plan.columnCount, nullptr);
  for (size_t i = 0; i < record.size(); ++i) {
    if (record[i].find('|') != std::string::npos) {
      return platform::Status::InvalidArgument("field " + std::to_string(i + 1) +
                                               " holds '|', which separates the fields of a row");
    }
    placed[plan.target[i]] = &record[i];
  }
  value->clear();
  for (size_t i = 0; i < placed.size(); ++i) {
    if (i > 0) value->push_back('|');
    if (placed[i] != nullptr) value->append(*placed[i]);
  }
  return platform::Status::Ok();
}

}  // namespace configsql
