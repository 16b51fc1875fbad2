#include "ConfigSqlShell.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstring>

#include "CsvReader.h"
#include "Diagnostics.h"
#include "RowStatements.h"
#include "artefacts/DefaultTableTemplates.h"
#include "platform/DebugOutput.h"
#include "platform/File.h"
#include "platform/Termination.h"
#include "templatelib/tString.h"

namespace configsql {
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

// Ctrl-C during a command stops it at its next row; the shell goes on.
bool Interrupted() { return platform::TerminationRequested(); }

bool HasFault(const std::vector<std::string>& messages) {
  for (const std::string& message : messages) {
    if (!IsNoise(message)) return true;
  }
  return false;
}

// A .tables pattern as an SQL shell reads it: % any run, _ one character,
// without regard to case.
bool LikeMatch(const char* text, const char* pattern) {
  for (; *pattern != '\0'; ++pattern, ++text) {
    if (*pattern == '%') {
      for (const char* rest = text;; ++rest) {
        if (LikeMatch(rest, pattern + 1)) return true;
        if (*rest == '\0') return false;
      }
    }
    if (*text == '\0') return false;
    if (*pattern != '_' && std::tolower(static_cast<unsigned char>(*pattern)) !=
                               std::tolower(static_cast<unsigned char>(*text))) {
      return false;
    }
  }
  return *text == '\0';
}

bool IsDefaultTable(const char* name) {
  for (const schema::TableTemplate& table : schema::DefaultTableTemplates()) {
    if (tString::CompareNoCase(table.name, name) == 0) return true;
  }
  return false;
}

bool ReadWholeFile(const std::string& path, std::string* text, platform::Status* status) {
  std::FILE* file = platform::OpenStreamForReading(path, "rb");
  if (file == nullptr) {
    *status = platform::CRuntimeError(path, errno);
    return false;
  }
  char buffer[1 << 16];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) text->append(buffer, n);
  const bool failed = std::ferror(file) != 0;
  const int error = errno;
  std::fclose(file);
  if (failed) *status = platform::CRuntimeError(path, error);
  return !failed;
}

}  // namespace

const std::vector<ConfigSqlShell::Command>& ConfigSqlShell::Commands() {
  static const std::vector<Command> kCommands = {
      {".tables", ".tables [PATTERN]",
       "each table (matching PATTERN, % and _ as wildcards) and its row count",
       &ConfigSqlShell::Tables},
      {".schema", ".schema [TABLE]",
       "a table's columns and types; without TABLE every table as a create statement",
       &ConfigSqlShell::Schema},
      {".dump", ".dump [TABLE]",
       "statements that rebuild the rows (and tables not in the default schema)",
       &ConfigSqlShell::Dump},
      {".import", ".import FILE TABLE",
       "insert the rows of a CSV file whose header row names the columns", &ConfigSqlShell::Import},
      {".commit", ".commit", "settle the changed tables (deleted rows go)",
       &ConfigSqlShell::Commit},
      {".save", ".save [--force] [PATH]", "commit and save, to the file it came from or to PATH",
       &ConfigSqlShell::Save},
      {".read", ".read FILE", "run the lines of a file", &ConfigSqlShell::Read},
      {".mode", ".mode list|csv|json|table|markdown|line", "how result rows are written",
       &ConfigSqlShell::Mode},
      {".headers", ".headers on|off", "name the columns above the rows", &ConfigSqlShell::Headers},
      {".delimiter", ".delimiter C", "the character that joins a result line's values (list mode)",
       &ConfigSqlShell::Delimiter},
      {".output", ".output [FILE]", "write results to FILE, or back to standard output",
       &ConfigSqlShell::Output},
      {".once", ".once FILE", "write the next command's results to FILE", &ConfigSqlShell::Once},
      {".changes", ".changes", "the number of rows the last statement changed",
       &ConfigSqlShell::Changes},
      {".help", ".help", "this list", &ConfigSqlShell::Help},
      {".quit", ".quit", "leave (asks about unsaved changes on a terminal)", &ConfigSqlShell::Quit},
      {".exit", ".exit", "the same as .quit", &ConfigSqlShell::Quit},
  };
  return kCommands;
}

ConfigSqlShell::ConfigSqlShell(std::FILE* out, std::FILE* err, ShellOptions options)
    : err_(err), output_(out), options_(options) {}

bool ConfigSqlShell::Fail(const std::string& reason) {
  std::fprintf(err_, "configsql: %s\n", reason.c_str());
  std::fflush(err_);
  return false;
}

bool ConfigSqlShell::FailWith(const std::string& reason, const std::vector<std::string>& messages) {
  Fail(reason);
  Show(err_, messages, options_.verbose, "  ");
  return false;
}

bool ConfigSqlShell::Open(const std::string& path) {
  path_ = path;
  platform::DiagnosticsCapture capture;
  const bool loaded = source_.LoadAttributesFromFile(path.c_str(), 0, nullptr, nullptr) != nullptr;
  std::vector<std::string> messages = capture.Take();
  if (loaded) {
    Show(err_, messages, options_.verbose);
    return true;
  }
  // The library says what was wrong with the text; where it could not open
  // the file at all, the system says why.
  if (std::FILE* file = platform::OpenStreamForReading(path, "rb")) {
    std::fclose(file);
  } else {
    messages.push_back(platform::CRuntimeError(path, errno).message());
  }
  return FailWith("cannot load configuration " + path, messages);
}

bool ConfigSqlShell::Execute(std::string_view line) {
  std::string_view text = StripSpace(line);
  if (IsBlankOrComment(text)) return true;
  bool ok = false;
  if (text.front() != '.') {
    ok = RunStatement(text);
  } else {
    std::vector<std::string> words = SplitWords(text);
    const Command* found = nullptr;
    for (const Command& command : Commands()) {
      if (tString::CompareNoCase(words[0].c_str(), command.name) == 0) found = &command;
    }
    ok = found != nullptr ? (this->*found->handler)(words)
                          : Fail("unknown command " + words[0] + " (try .help)");
  }
  if (platform::Status done = output_.CommandDone(); !done.ok()) ok = Fail(done.message());
  return ok;
}

bool ConfigSqlShell::RunStatement(std::string_view line) {
  const GuardedStatement statement = GuardStatement(line);
  if (!statement.refusal.empty()) return Fail("not run: " + statement.refusal);
  const bool update = statement.keyword.starts_with("updat");
  const bool remove = statement.keyword == "delete";
  int64_t matched = update ? MatchingRows(statement) : 0;
  int64_t allBefore = 0;
  const int64_t liveBefore = remove ? LiveRows(statement.table, &allBefore) : 0;

  platform::DiagnosticsCapture capture;
  const HRESULT hr = engine_.Query(statement.text.c_str(), &results_, delimiter_, nullptr);
  const std::vector<std::string> messages = capture.Take();
  const bool failed = Failed(hr) || HasFault(messages);

  if (statement.keyword == "select") {
    ResultWriter writer(output_.stream(), mode_, headers_, delimiter_, ColumnsOf(statement));
    results_.ResetCursor();
    while (const char* row = results_.NextLine()) {
      if (Interrupted()) break;
      writer.Line(row);
    }
    writer.End();
    std::fflush(output_.stream());
  }
  Show(err_, messages, options_.verbose);
  if (hr != S_OK) {
    std::fprintf(err_, "%s\n", ResultName(hr));
    std::fflush(err_);
  }
  changes_ = 0;
  if (!failed && update) {
    if (statement.keyword == "updat2") {
      changes_ = matched;
    } else if (statement.keyword == "updat3") {
      changes_ = matched > 0 ? 0 : 1;
    } else {
      changes_ = matched > 0 ? matched : 1;
    }
  } else if (!failed && remove) {
    int64_t allAfter = 0;
    const int64_t liveAfter = LiveRows(statement.table, &allAfter);
    changes_ = std::max(liveBefore - liveAfter, allBefore - allAfter);
  }
  if (!failed && (changes_ > 0 || statement.keyword == "create" || statement.keyword == "drop")) {
    unsaved_ = true;
  }
  return !failed;
}

// The rows an update's where clause picks, counted by a select of the same
// clause before the update runs.
int64_t ConfigSqlShell::MatchingRows(const GuardedStatement& statement) {
  if (!statement.hasWhere || statement.where == "0" ||
      tString::CompareNoCase(statement.where.c_str(), "False") == 0) {
    return 0;
  }
  const std::string select =
      "select System.RowNumber from " + statement.table + " where " + statement.where;
  platform::DiagnosticsCapture quiet;
  tQueryString rows;
  if (Failed(engine_.Query(select.c_str(), &rows, '|', nullptr))) return 0;
  return rows.lineCount;
}

int64_t ConfigSqlShell::LiveRows(const std::string& table, int64_t* allRows) {
  tTableNodes nodes;
  *allRows = 0;
  if (source_.FindTable(table.c_str(), &nodes) != S_OK) return 0;
  int64_t live = 0;
  for (auto it = nodes.contents->Children(); tAttribute* row = it.Next();) {
    ++*allRows;
    live += row->rowState != kRowDeleted ? 1 : 0;
  }
  return live;
}

std::vector<std::string> ConfigSqlShell::ColumnsOf(const GuardedStatement& statement) {
  for (const std::string& item : statement.items) {
    for (const char* whole : {"System.TableDefinition", "System.TableType"}) {
      if (tString::CompareNoCase(item.c_str(), whole) == 0) return {whole};
    }
  }
  std::vector<std::string> columns;
  for (const std::string& item : statement.items) {
    tTableNodes nodes;
    if (item != "*" || source_.FindTable(statement.table.c_str(), &nodes) != S_OK) {
      columns.push_back(item);
      continue;
    }
    const char* names = TextOf(nodes.definition->value);
    tString column;
    for (int32_t i = 0, n = tString::FieldCount(names, '|'); i < n; ++i) {
      tString::GetField(names, i, '|', &column);
      columns.emplace_back(TextOf(column));
    }
  }
  return columns;
}

bool ConfigSqlShell::Commit(const Args& args) {
  if (args.size() != 1) return Fail("usage: .commit");
  if (source_.Root() == nullptr) return Fail("no configuration loaded");
  platform::DiagnosticsCapture capture;
  if (source_.CommitAllTables() != S_OK) return FailWith("commit failed", capture.Take());
  return true;
}

bool ConfigSqlShell::Read(const Args& args) {
  if (args.size() != 2) return Fail("usage: .read FILE");
  if (readDepth_ >= kMaxReadDepth) return Fail(".read nested too deeply: " + args[1]);
  std::FILE* file = platform::OpenStreamForReading(args[1], "r");
  if (file == nullptr)
    return Fail("cannot read " + platform::CRuntimeError(args[1], errno).message());
  ++readDepth_;
  bool allOk = true;
  tString line;
  while (!quit_ && !Interrupted() && line.ReadLine(file) != nullptr) {
    allOk = Execute(line.Text()) && allOk;
  }
  const bool readError = std::ferror(file) != 0;
  std::fclose(file);
  --readDepth_;
  if (readError) return Fail("read error in " + args[1]);
  return allOk;
}

bool ConfigSqlShell::Delimiter(const Args& args) {
  if (args.size() != 2 || args[1].size() != 1) return Fail("usage: .delimiter C (one character)");
  delimiter_ = args[1][0];
  return true;
}

bool ConfigSqlShell::Mode(const Args& args) {
  if (args.size() != 2 || !ParseOutputMode(args[1], &mode_)) {
    return Fail(std::string("usage: .mode ") + OutputModeNames());
  }
  // The boxed modes are read by their column names.
  if (mode_ == OutputMode::kTable || mode_ == OutputMode::kMarkdown) headers_ = true;
  return true;
}

bool ConfigSqlShell::Headers(const Args& args) {
  if (args.size() == 2 && (args[1] == "on" || args[1] == "off")) {
    headers_ = args[1] == "on";
    return true;
  }
  return Fail("usage: .headers on|off");
}

bool ConfigSqlShell::Output(const Args& args) {
  if (args.size() > 2) return Fail("usage: .output [FILE]");
  platform::Status status = output_.Redirect(args.size() == 2 ? args[1] : "", false);
  return status.ok() || Fail("cannot write " + status.message());
}

bool ConfigSqlShell::Once(const Args& args) {
  if (args.size() != 2) return Fail("usage: .once FILE");
  platform::Status status = output_.Redirect(args[1], true);
  return status.ok() || Fail("cannot write " + status.message());
}

bool ConfigSqlShell::Changes(const Args& args) {
  if (args.size() != 1) return Fail("usage: .changes");
  std::fprintf(output_.stream(), "%lld\n", static_cast<long long>(changes_));
  return true;
}

bool ConfigSqlShell::FindTableOrFail(const std::string& name, tTableNodes* nodes) {
  if (source_.FindTable(name.c_str(), nodes) != S_OK) return Fail("no such table: " + name);
  return true;
}

bool ConfigSqlShell::Tables(const Args& args) {
  if (args.size() > 2) return Fail("usage: .tables [PATTERN]");
  if (source_.Root() == nullptr) return Fail("no configuration loaded");
  for (auto it = source_.Root()->Children(); tAttribute* node = it.Next();) {
    if (node->name.CompareNoCase("Table") != 0) continue;
    if (args.size() == 2 && !LikeMatch(TextOf(node->value), args[1].c_str())) continue;
    tAttribute* contents = node->FindChild("TableContents");
    std::fprintf(output_.stream(), "%-32s %d\n", TextOf(node->value),
                 contents != nullptr ? contents->ChildCount() : 0);
  }
  return true;
}

bool ConfigSqlShell::Schema(const Args& args) {
  if (args.size() > 2) return Fail("usage: .schema [TABLE]");
  if (source_.Root() == nullptr) return Fail("no configuration loaded");
  if (args.size() == 1) {
    bool allOk = true;
    for (auto it = source_.Root()->Children(); tAttribute* node = it.Next();) {
      tTableNodes nodes;
      if (node->name.CompareNoCase("Table") != 0 ||
          source_.FindTable(TextOf(node->value), &nodes) != S_OK) {
        continue;
      }
      std::string create;
      platform::Status status = CreateStatement(
          TextOf(node->value), TextOf(nodes.definition->value), TextOf(nodes.type->value), &create);
      if (status.ok()) {
        std::fprintf(output_.stream(), "%s\n", create.c_str());
      } else {
        allOk = Fail(status.message());
      }
    }
    return allOk;
  }
  tTableNodes nodes;
  if (!FindTableOrFail(args[1], &nodes)) return false;
  const char* columns = TextOf(nodes.definition->value);
  const char* types = TextOf(nodes.type->value);
  const int32_t count = tString::FieldCount(columns, '|');
  const int32_t typeCount = tString::FieldCount(types, '|');
  tString column;
  tString type;
  for (int32_t i = 0; i < count; ++i) {
    tString::GetField(columns, i, '|', &column);
    const bool typed = i < typeCount && tString::GetField(types, i, '|', &type) == S_OK;
    std::fprintf(output_.stream(), "%s %s\n", TextOf(column), typed ? TextOf(type) : "(no type)");
  }
  return true;
}

bool ConfigSqlShell::Dump(const Args& args) {
  if (args.size() > 2) return Fail("usage: .dump [TABLE]");
  if (source_.Root() == nullptr) return Fail("no configuration loaded");
  std::vector<tTableNodes> tables;
  std::vector<const char*> names;
  for (auto it = source_.Root()->Children(); tAttribute* node = it.Next();) {
    tTableNodes nodes;
    if (node->name.CompareNoCase("Table") != 0 ||
        (args.size() == 2 && node->value.CompareNoCase(args[1].c_str()) != 0) ||
        source_.FindTable(TextOf(node->value), &nodes) != S_OK) {
      continue;
    }
    tables.push_back(nodes);
    names.push_back(TextOf(node->value));
  }
  if (args.size() == 2 && tables.empty()) return Fail("no such table: " + args[1]);
  bool allOk = true;
  std::string text;
  std::FILE* out = output_.stream();
  for (size_t t = 0; t < tables.size() && !Interrupted(); ++t) {
    if (!IsDefaultTable(names[t])) {
      std::string create;
      platform::Status status = CreateStatement(names[t], TextOf(tables[t].definition->value),
                                                TextOf(tables[t].type->value), &create);
      if (!status.ok()) {
        allOk = Fail("not dumped: " + status.message());
        continue;
      }
      text += create;
      text += '\n';
    }
    for (auto it = tables[t].contents->Children(); tAttribute* row = it.Next();) {
      if (row->rowState == kRowDeleted) continue;
      platform::Status status =
          AppendInsert(names[t], TextOf(row->value), TextOf(row->name), &text);
      if (!status.ok()) allOk = Fail("not dumped: " + status.message());
      if (text.size() >= (1 << 16)) {
        std::fwrite(text.data(), 1, text.size(), out);
        text.clear();
        if (Interrupted()) break;
      }
    }
  }
  std::fwrite(text.data(), 1, text.size(), out);
  return allOk;
}

bool ConfigSqlShell::Import(const Args& args) {
  if (args.size() != 3) return Fail("usage: .import FILE TABLE");
  if (source_.Root() == nullptr) return Fail("no configuration loaded");
  const std::string& path = args[1];
  const std::string& table = args[2];
  std::string text;
  platform::Status status;
  if (!ReadWholeFile(path, &text, &status)) return Fail("cannot import " + status.message());
  CsvReader reader(text);
  std::vector<std::string> record;
  if (!reader.Next(record)) {
    return Fail(path + ": " + (reader.error().empty() ? "no header row" : reader.error()));
  }
  tTableNodes nodes;
  platform::DiagnosticsCapture capture;
  if (source_.FindTable(table.c_str(), &nodes) != S_OK) {
    // A new table gets the header's columns, as text.
    std::string create = "create table " + table + " (";
    for (size_t i = 0; i < record.size(); ++i)
      create += (i > 0 ? ", " : "") + record[i] + " String";
    create += ")";
    if (engine_.Query(create.c_str(), &results_, '|', nullptr) != S_OK ||
        source_.FindTable(table.c_str(), &nodes) != S_OK) {
      return FailWith("cannot create table " + table + " for " + path, capture.Take());
    }
    unsaved_ = true;
  }
  ImportPlan plan;
  status = PlanImport(record, TextOf(nodes.definition->value), &plan);
  if (!status.ok()) return Fail(path + " line 1: " + status.message());
  std::string value;
  std::string statement;
  changes_ = 0;
  while (reader.Next(record)) {
    if (Interrupted())
      return Fail("import interrupted after " + std::to_string(changes_) + " rows");
    statement.clear();
    status = RowValue(plan, record, &value);
    if (status.ok()) status = AppendInsert(table, value, "", &statement);
    if (!status.ok()) {
      return Fail(path + " line " + std::to_string(reader.recordLine()) + ": " + status.message() +
                  " (" + std::to_string(changes_) + " rows imported before it)");
    }
    statement.pop_back();  // the line feed
    if (engine_.Query(statement.c_str(), &results_, '|', nullptr) != S_OK) {
      return FailWith(path + " line " + std::to_string(reader.recordLine()) + ": not inserted (" +
                          std::to_string(changes_) + " rows imported before it)",
                      capture.Take());
    }
    ++changes_;
    unsaved_ = true;
  }
  if (!reader.error().empty()) {
    return Fail(path + " " + reader.error() + " (" + std::to_string(changes_) +
                " rows imported before it)");
  }
  Show(err_, capture.Take(), options_.verbose);
  return true;
}

bool ConfigSqlShell::Save(const Args& args) {
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
  platform::DiagnosticsCapture capture;
  if (source_.CommitAllTables() != S_OK) return FailWith("commit failed", capture.Take());
  // Back to its own file through the temporary ring, as the builder saves;
  // to a new path directly.
  const std::string target = words.size() == 1 ? words[0] : loaded;
  errno = 0;
  HRESULT hr =
      words.size() == 1 ? source_.Save(words[0].c_str(), 0, 2, 0) : source_.Save(nullptr, 1, 2, 0);
  const int error = errno;
  std::vector<std::string> messages = capture.Take();
  if (hr != S_OK) {
    // The library names the step, and the reason when its writer knew it;
    // otherwise the system's reason is that of the last call that failed.
    if (messages.empty() && error != 0) {
      messages.push_back(platform::CRuntimeError(target, error).message());
    }
    return FailWith("save failed: " + target, messages);
  }
  Show(err_, messages, options_.verbose);
  if (words.empty() || platform::SameFile(words[0], loaded)) unsaved_ = false;
  return true;
}

bool ConfigSqlShell::Help(const Args&) {
  for (const Command& command : Commands()) {
    std::fprintf(output_.stream(), "%-42s %s\n", command.usage, command.description);
  }
  std::fprintf(output_.stream(),
               "Any other line is a statement (a trailing ; is dropped), for example:\n"
               "  select Parameter, UpdateRate from ParameterDefaults where UpdateRate > 100\n"
               "  update Users set User = 'User2' where User = 'User1'\n"
               "  delete from Users where User = 'User2'\n"
               "  sort table ParameterDefaults on Parameter\n");
  return true;
}

bool ConfigSqlShell::Quit(const Args&) {
  quit_ = true;
  return true;
}

}  // namespace configsql
