#include "ConfigSqlShell.h"

#include <cerrno>
#include <cinttypes>
#include <cstring>

#include "platform/File.h"
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

// .read files may read files, but not without end.
constexpr int kMaxReadDepth = 16;

const char* ResultName(HRESULT hr) {
  switch (hr) {
    case S_OK:
      return "S_OK";
    case S_FALSE:
      return "S_FALSE";
    case E_FAIL:
      return "E_FAIL";
    case E_INVALIDARG:
      return "E_INVALIDARG";
    case E_NOTIMPL:
      return "E_NOTIMPL";
    case E_POINTER:
      return "E_POINTER";
    case E_OUTOFMEMORY:
      return "E_OUTOFMEMORY";
    case E_UNEXPECTED:
      return "E_UNEXPECTED";
    case E_ABORT:
      return "E_ABORT";
    default:
      return Failed(hr) ? "E_FAIL" : "S_FALSE";
  }
}

std::string_view Stripped(std::string_view text) {
  const char* space = " \t\r\n\v\f";
  size_t start = text.find_first_not_of(space);
  if (start == std::string_view::npos) return {};
  size_t end = text.find_last_not_of(space);
  return text.substr(start, end - start + 1);
}

// The values of a result line, split at the delimiter.
std::vector<std::string_view> SplitValues(std::string_view line, char delimiter) {
  std::vector<std::string_view> values;
  size_t start = 0;
  for (;;) {
    size_t end = line.find(delimiter, start);
    values.push_back(line.substr(start, end == std::string_view::npos ? end : end - start));
    if (end == std::string_view::npos) return values;
    start = end + 1;
  }
}

void WriteCsvValue(std::FILE* out, std::string_view value) {
  if (value.find_first_of(",\"\r\n") == std::string_view::npos) {
    std::fwrite(value.data(), 1, value.size(), out);
    return;
  }
  std::fputc('"', out);
  for (char c : value) {
    if (c == '"') std::fputc('"', out);
    std::fputc(c, out);
  }
  std::fputc('"', out);
}

void WriteJsonString(std::FILE* out, std::string_view value) {
  std::fputc('"', out);
  for (unsigned char c : value) {
    switch (c) {
      case '"':
        std::fputs("\\\"", out);
        break;
      case '\\':
        std::fputs("\\\\", out);
        break;
      case '\n':
        std::fputs("\\n", out);
        break;
      case '\r':
        std::fputs("\\r", out);
        break;
      case '\t':
        std::fputs("\\t", out);
        break;
      default:
        if (c < 0x20) {
          std::fprintf(out, "\\u%04x", c);
        } else {
          std::fputc(c, out);
        }
    }
  }
  std::fputc('"', out);
}

}  // namespace

const ConfigSqlShell::Command ConfigSqlShell::kCommands[] = {
    {".tables", ".tables", &ConfigSqlShell::Tables},
    {".schema", ".schema TABLE", &ConfigSqlShell::Schema},
    {".dump", ".dump TABLE", &ConfigSqlShell::Dump},
    {".commit", ".commit", &ConfigSqlShell::Commit},
    {".save", ".save [--force] [PATH]", &ConfigSqlShell::Save},
    {".read", ".read FILE", &ConfigSqlShell::Read},
    {".delimiter", ".delimiter C", &ConfigSqlShell::Delimiter},
    {".mode", ".mode list|csv|json", &ConfigSqlShell::Mode},
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
  std::string_view text = Stripped(line);
  if (text.empty()) return true;
  if (text.front() != '.') return RunStatement(text);
  std::vector<std::string> words = SplitWords(text);
  for (const Command& command : kCommands) {
    if (tString::CompareNoCase(words[0].c_str(), command.name) == 0) {
      bool ok = (this->*command.handler)(words);
      std::fflush(out_);
      return ok;
    }
  }
  return Fail("unknown command " + words[0] + " (try .help)");
}

bool ConfigSqlShell::RunStatement(std::string_view statement) {
  const std::string text(statement);
  HRESULT hr = engine_.Query(text.c_str(), &results_, delimiter_, nullptr);
  results_.ResetCursor();
  while (const char* line = results_.NextLine()) PrintLine(line);
  std::fflush(out_);
  if (hr != S_OK) {
    std::fprintf(err_, "%s\n", ResultName(hr));
    std::fflush(err_);
  }
  return !Failed(hr);
}

void ConfigSqlShell::PrintLine(const char* line) {
  if (mode_ == OutputMode::kList) {
    std::fprintf(out_, "%s\n", line);
    return;
  }
  std::vector<std::string_view> values = SplitValues(line, delimiter_);
  if (mode_ == OutputMode::kJson) std::fputc('[', out_);
  for (size_t i = 0; i < values.size(); ++i) {
    if (i > 0) std::fputc(',', out_);
    if (mode_ == OutputMode::kJson) {
      WriteJsonString(out_, values[i]);
    } else {
      WriteCsvValue(out_, values[i]);
    }
  }
  if (mode_ == OutputMode::kJson) std::fputc(']', out_);
  std::fputc('\n', out_);
}

bool ConfigSqlShell::Commit(const std::vector<std::string>& args) {
  if (args.size() != 1) return Fail("usage: .commit");
  if (source_.Root() == nullptr) return Fail("no configuration loaded");
  if (source_.CommitAllTables() != S_OK) return Fail("commit failed");
  return true;
}

bool ConfigSqlShell::Read(const std::vector<std::string>& args) {
  if (args.size() != 2) return Fail("usage: .read FILE");
  if (readDepth_ >= kMaxReadDepth) return Fail(".read nested too deeply: " + args[1]);
  std::FILE* file = std::fopen(args[1].c_str(), "r");
  if (file == nullptr) return Fail("cannot open " + args[1] + ": " + std::strerror(errno));
  ++readDepth_;
  bool allOk = true;
  tString line;
  while (!quit_ && line.ReadLine(file) != nullptr) allOk = Execute(line.Text()) && allOk;
  const bool readError = std::ferror(file) != 0;
  std::fclose(file);
  --readDepth_;
  if (readError) return Fail("read error in " + args[1]);
  return allOk;
}

bool ConfigSqlShell::Delimiter(const std::vector<std::string>& args) {
  if (args.size() != 2 || args[1].size() != 1) return Fail("usage: .delimiter C (one character)");
  delimiter_ = args[1][0];
  return true;
}

bool ConfigSqlShell::Mode(const std::vector<std::string>& args) {
  static const struct {
    const char* name;
    OutputMode mode;
  } kModes[] = {{"list", OutputMode::kList}, {"csv", OutputMode::kCsv}, {"json", OutputMode::kJson}};
  if (args.size() == 2) {
    for (const auto& entry : kModes) {
      if (tString::CompareNoCase(args[1].c_str(), entry.name) != 0) continue;
      mode_ = entry.mode;
      return true;
    }
  }
  return Fail("usage: .mode list|csv|json");
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
      (words.empty() || platform::SameFile(words[0], loaded))) {
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
  std::fprintf(out_,
               "Any other line is a statement, for example:\n"
               "  select Parameter, UpdateRate from ParameterDefaults where UpdateRate > 100\n"
               "  update Users set User = 'User2' where User = 'User1'\n"
               "  delete from Users where User = 'User2'\n"
               "  sort table ParameterDefaults on Parameter\n");
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
