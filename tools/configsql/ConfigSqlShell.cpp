#include "ConfigSqlShell.h"

#include <sys/stat.h>

#include <cinttypes>

#include "templatelib/tString.h"

namespace {

std::vector<std::string> SplitWords(std::string_view line) {
  std::vector<std::string> words;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) ++i;
    size_t start = i;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') ++i;
    if (i > start) words.emplace_back(line.substr(start, i - start));
  }
  return words;
}

const char* TextOf(const tString& text) { return text.Text() != nullptr ? text.Text() : ""; }

// Whether two paths name one file (through links, too).
bool SameFile(const std::string& a, const std::string& b) {
  struct stat sa;
  struct stat sb;
  if (::stat(a.c_str(), &sa) != 0 || ::stat(b.c_str(), &sb) != 0) return false;
  return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

}  // namespace

const ConfigSqlShell::Command ConfigSqlShell::kCommands[] = {
    {".tables", ".tables", &ConfigSqlShell::Tables},
    {".schema", ".schema TABLE", &ConfigSqlShell::Schema},
    {".dump", ".dump TABLE", &ConfigSqlShell::Dump},
    {".save", ".save [--force] [PATH]", &ConfigSqlShell::Save},
    {".help", ".help", &ConfigSqlShell::Help},
    {".quit", ".quit", &ConfigSqlShell::Quit},
    {".exit", ".exit", &ConfigSqlShell::Quit},
};

ConfigSqlShell::ConfigSqlShell(std::FILE* out, std::FILE* err) : out_(out), err_(err) {}

bool ConfigSqlShell::Fail(const std::string& reason) {
  std::fprintf(err_, "configsql: %s\n", reason.c_str());
  std::fflush(err_);
  return false;
}

bool ConfigSqlShell::Open(const std::string& path) {
  if (source_.LoadAttributesFromFile(path.c_str(), 0, nullptr, nullptr) == nullptr) {
    return Fail("cannot load configuration " + path);
  }
  return true;
}

bool ConfigSqlShell::Execute(std::string_view line) {
  std::vector<std::string> words = SplitWords(line);
  if (words.empty()) return true;
  for (const Command& command : kCommands) {
    if (tString::CompareNoCase(words[0].c_str(), command.name) == 0) {
      bool ok = (this->*command.handler)(words);
      std::fflush(out_);
      return ok;
    }
  }
  if (words[0].front() == '.') return Fail("unknown command " + words[0] + " (try .help)");
  return Fail("statements are not supported yet: " + std::string(line));
}

bool ConfigSqlShell::FindTableOrFail(const std::string& name, tTableNodes* nodes) {
  if (source_.FindTable(name.c_str(), nodes) != S_OK) return Fail("no such table: " + name);
  return true;
}

bool ConfigSqlShell::Tables(const std::vector<std::string>& args) {
  if (args.size() != 1) return Fail("usage: .tables");
  if (source_.Root() == nullptr) return Fail("no configuration loaded");
  for (auto it = source_.Root()->Children(); tAttribute* node = it.Next();) {
    if (node->name.CompareNoCase("Table") != 0) continue;
    tAttribute* contents = node->FindChild("TableContents");
    std::fprintf(out_, "%-32s %d\n", TextOf(node->value),
                 contents != nullptr ? contents->ChildCount() : 0);
  }
  return true;
}

bool ConfigSqlShell::Schema(const std::vector<std::string>& args) {
  if (args.size() != 2) return Fail("usage: .schema TABLE");
  tTableNodes nodes;
  if (!FindTableOrFail(args[1], &nodes)) return false;
  const char* columns = nodes.definition->value.Text();
  const char* types = nodes.type->value.Text();
  const int32_t count = tString::FieldCount(columns, '|');
  const int32_t typeCount = tString::FieldCount(types, '|');
  tString column;
  tString type;
  for (int32_t i = 0; i < count; ++i) {
    tString::GetField(columns, i, '|', &column);
    const bool typed = i < typeCount && tString::GetField(types, i, '|', &type) == S_OK;
    std::fprintf(out_, "%s %s\n", TextOf(column), typed ? TextOf(type) : "(no type)");
  }
  return true;
}

bool ConfigSqlShell::Dump(const std::vector<std::string>& args) {
  if (args.size() != 2) return Fail("usage: .dump TABLE");
  tTableNodes nodes;
  if (!FindTableOrFail(args[1], &nodes)) return false;
  for (auto it = nodes.contents->Children(); tAttribute* row = it.Next();) {
    std::fprintf(out_, "%s|%s|%s\n", TextOf(row->name), RowStateWord(row->rowState),
                 TextOf(row->value));
  }
  return true;
}

bool ConfigSqlShell::Save(const std::vector<std::string>& args) {
  std::vector<std::string> words(args.begin() + 1, args.end());
  const bool force = !words.empty() && words[0] == "--force";
  if (force) words.erase(words.begin());
  if (words.size() > 1) return Fail("usage: .save [--force] [PATH]");
  if (source_.Root() == nullptr) return Fail("no configuration loaded");
  const std::string loaded = TextOf(source_.FileName());
  if (!force && source_.IgnoredTextLine() != 0 &&
      (words.empty() || SameFile(words[0], loaded))) {
    return Fail("not saved: the load of " + loaded + " ignored its text from line " +
                std::to_string(source_.IgnoredTextLine()) +
                " on, which saving over it would lose (.save --force saves anyway)");
  }
  if (source_.CommitAllTables() != S_OK) return Fail("commit failed");
  // Back to its own file through the temporary ring, as the builder saves;
  // to a new path directly.
  HRESULT hr = words.size() == 1 ? source_.Save(words[0].c_str(), 0, 2, 0)
                                 : source_.Save(nullptr, 1, 2, 0);
  if (hr != S_OK) return Fail("save failed: " + (words.size() == 1 ? words[0] : loaded));
  return true;
}

bool ConfigSqlShell::Help(const std::vector<std::string>&) {
  for (const Command& command : kCommands) std::fprintf(out_, "%s\n", command.usage);
  return true;
}

bool ConfigSqlShell::Quit(const std::vector<std::string>&) {
  quit_ = true;
  return true;
}

int RunConfigSql(const std::vector<std::string>& args, std::FILE* in, std::FILE* out,
                 std::FILE* err, bool prompt) {
  if (args.empty()) {
    std::fprintf(err, "configsql: usage: configsql FILE [COMMAND ...]\n");
    return 2;
  }
  ConfigSqlShell shell(out, err);
  if (!shell.Open(args[0])) return 1;
  bool allOk = true;
  if (args.size() > 1) {
    for (size_t i = 1; i < args.size() && !shell.QuitRequested(); ++i) {
      allOk = shell.Execute(args[i]) && allOk;
    }
    return allOk ? 0 : 1;
  }
  tString line;
  for (;;) {
    if (prompt) {
      std::fputs("configsql> ", out);
      std::fflush(out);
    }
    if (line.ReadLine(in) == nullptr) break;
    std::string_view text = line.Text();
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.remove_suffix(1);
    allOk = shell.Execute(text) && allOk;
    if (shell.QuitRequested()) break;
  }
  if (prompt) std::fputs("\n", out);
  return allOk ? 0 : 1;
}
