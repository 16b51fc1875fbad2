// ParseStatement: statement text to statement value, one reader per kind.
// Nothing here reads a table or writes a diagnostic; a failure carries the
// line the engine reports for it.
#include <cstdio>
#include <cstring>
#include <string_view>

#include "platform/NumberText.h"
#include "query/QueryText.h"
#include "query/Statement.h"

namespace query {

namespace {

// Each reader gives S_OK, or a failure (E_FAIL; E_OUTOFMEMORY when a clause
// could not be copied) with the failure filled in.

HRESULT Fail(ParseFailure* failure, const char* fragment, std::string report = {}) {
  failure->fragment = fragment != nullptr ? fragment : "";
  failure->report = std::move(report);
  return E_FAIL;
}

HRESULT OutOfMemory(ParseFailure* failure) {
  failure->fragment.clear();
  failure->report.clear();
  return E_OUTOFMEMORY;
}

// The report of a statement the engine names: prefix, statement, suffix.
std::string Report(const char* prefix, const char* text, const std::string& suffix) {
  return prefix + std::string(text) + suffix;
}

// A column list with blanks between its names is rebuilt as the names
// joined by "," alone; one without inner white space stays as it is.
HRESULT NormaliseColumnList(tString* list) {
  const char* text = list->Text();
  bool innerSpace = false;
  for (const char* p = text; p != nullptr && *p != '\0'; ++p) innerSpace |= IsStripSpace(*p);
  if (!innerSpace) return S_OK;
  tString joined;
  if (joined.Assign("") != S_OK) return E_OUTOFMEMORY;
  tString part;
  int32_t start = 0;
  const int32_t length = list->Length();
  for (int32_t i = 0; i <= length; ++i) {
    if (i < length && text[i] != ',') continue;
    if (SliceStripped(text, start, i, &part) != S_OK) return E_OUTOFMEMORY;
    if (start > 0 && joined.AppendChar(',') != S_OK) return E_OUTOFMEMORY;
    if (joined.Append(part) != S_OK) return E_OUTOFMEMORY;
    start = i + 1;
  }
  return list->Assign(joined);
}

// "top N" (N absent: 1) at `*at`, which it moves past.
int32_t ReadTop(const char* text, int32_t* at) {
  if (tString::CompareNoCaseN(text + *at, "top ", 4) != 0) return 0;
  *at += 4;
  if (text[*at] < '0' || text[*at] > '9') return 1;
  const int32_t top = platform::ReadInt32(text + *at);
  while (text[*at] >= '0' && text[*at] <= '9') ++*at;
  return top;
}

HRESULT ReadSelect(const char* text, SelectStatement* select, ParseFailure* failure) {
  const int32_t at = FindFrom(text, 0, "select ");
  if (at < 0) return Fail(failure, text);
  int32_t listStart = at + 7;
  select->top = ReadTop(text, &listStart);
  // "distinct " counts only before "from ": found in a where clause it
  // would cut the statement in the wrong place.
  int32_t from = FindFrom(text, listStart, "from ");
  const int32_t distinct = FindFrom(text, listStart, "distinct ");
  select->distinct = distinct >= 0 && (from < 0 || distinct < from);
  if (select->distinct) {
    listStart = distinct + 9;
    from = FindFrom(text, listStart, "from ");
  }
  if (from < 0) return Fail(failure, text + listStart);
  if (SliceStripped(text, listStart, from - 1, &select->columns) != S_OK ||
      NormaliseColumnList(&select->columns) != S_OK) {
    return OutOfMemory(failure);
  }
  const int32_t orderBy = FindFrom(text, from, " order by ");
  select->orderBy = orderBy >= 0;
  int32_t end = int32_t(std::strlen(text));
  if (select->orderBy) {
    if (RestStripped(text, orderBy + 10, &select->orderByColumn) != S_OK) {
      return OutOfMemory(failure);
    }
    end = orderBy;
  }
  const int32_t where = FindFrom(text, from, "where ");
  HRESULT hr;
  if (where >= 0 && where + 6 <= end) {
    hr = SliceStripped(text, from + 5, where - 1, &select->table);
    if (hr == S_OK) hr = SliceStripped(text, where + 6, end, &select->where);
  } else {
    hr = SliceStripped(text, from + 5, end, &select->table);
    if (hr == S_OK) hr = select->where.Assign("1");
    select->matchAll = true;
  }
  if (hr != S_OK) return OutOfMemory(failure);
  return select->columns.IsNullOrEmpty() ? Fail(failure, text + listStart) : S_OK;
}

// Cuts " suggestedRowId ID" off the clause into `rowId`.
HRESULT CutSuggestedRowId(tString* clause, tString* rowId) {
  const int32_t suggested = FindFrom(clause->Text(), 0, " suggestedRowId ");
  if (suggested < 0) return S_OK;
  if (RestStripped(clause->Text(), suggested + 16, rowId) != S_OK) return E_OUTOFMEMORY;
  clause->Buffer()[suggested] = '\0';
  return S_OK;
}

// The end of the value that starts at `at`: a comma outside quotes, where a
// doubled quote inside a quoted value is an escaped quote. The first and
// last quote found, or -1.
int32_t ValueEnd(const char* text, int32_t at, int32_t length, int32_t* firstQuote,
                 int32_t* lastQuote) {
  bool quoted = false;
  *firstQuote = -1;
  *lastQuote = -1;
  int32_t end = at;
  for (; end < length; ++end) {
    const char c = text[end];
    if (c == '\'') {
      if (*firstQuote < 0) *firstQuote = end;
      if (quoted && end + 1 < length && text[end + 1] == '\'') {
        ++end;
        continue;
      }
      *lastQuote = end;
      quoted = !quoted;
    } else if (c == ',' && !quoted) {
      break;
    }
  }
  return end;
}

// The column form "C1 = V1, C2 = 'V 2'" into assignments; one without "="
// ends the list and marks it malformed.
HRESULT ReadAssignments(UpdateStatement* update) {
  const char* text = update->set.Text();
  const int32_t length = update->set.Length();
  int32_t at = 0;
  while (at < length) {
    const int32_t equals = FindFrom(text, at, "=");
    if (equals < 0) {
      update->malformed = true;
      return S_OK;
    }
    int32_t firstQuote;
    int32_t lastQuote;
    const int32_t end = ValueEnd(text, equals + 1, length, &firstQuote, &lastQuote);
    Assignment& assignment = update->assignments.emplace_back();
    if (SliceStripped(text, at, equals, &assignment.name) != S_OK) return E_OUTOFMEMORY;
    HRESULT hr = firstQuote >= 0 ? SliceStripped(text, firstQuote + 1, lastQuote, &assignment.value)
                                 : SliceStripped(text, equals + 1, end, &assignment.value);
    if (hr != S_OK) return E_OUTOFMEMORY;
    if (firstQuote >= 0) {
      // Doubled quotes stand for one quote.
      char* out = assignment.value.Buffer();
      for (const char* in = out; *in != '\0'; ++in, ++out) {
        *out = *in;
        if (in[0] == '\'' && in[1] == '\'') ++in;
      }
      *out = '\0';
      assignment.value.Trim();
    }
    at = end + 1;
  }
  return S_OK;
}

// The set clause's forms: "* = row" or assignments.
HRESULT ReadSetClause(UpdateStatement* update) {
  const int32_t equals = update->set.IsNull() ? -1 : FindFrom(update->set.Text(), 0, "=");
  update->setHasEquals = equals >= 0;
  if (!update->setHasEquals) return S_OK;
  if (RestStripped(update->set.Text(), equals + 1, &update->rowText) != S_OK) return E_OUTOFMEMORY;
  const char* set = update->set.Text();
  while (IsStripSpace(*set)) ++set;
  update->wholeRow = *set == '*';
  return update->wholeRow ? S_OK : ReadAssignments(update);
}

HRESULT ReadUpdate(const char* text, UpdateStatement* update, ParseFailure* failure) {
  if (tString::CompareNoCaseN(text, "update ", 7) != 0 &&
      tString::CompareNoCaseN(text, "updat2 ", 7) != 0 &&
      tString::CompareNoCaseN(text, "updat3 ", 7) != 0) {
    return Fail(failure, text,
                Report("tSqlQueryEngine: Illegal update statement, missing 'update' clause (", text,
                       ")\n"));
  }
  const int32_t set = FindFrom(text, 7, "set ");
  if (set < 0) {
    return Fail(
        failure, text + 7,
        Report("tSqlQueryEngine: Illegal update statement, missing 'set' clause (", text, ")\n"));
  }
  // The last "where " is the clause, so a set value may itself hold "where ".
  const int32_t where = FindLast(text, "where ");
  if (SliceStripped(text, 7, set - 1, &update->table) != S_OK) return OutOfMemory(failure);
  HRESULT hr;
  if (where > set) {
    hr = SliceStripped(text, set + 4, where - 1, &update->set);
    if (hr == S_OK) hr = RestStripped(text, where + 6, &update->where);
    if (hr == S_OK) hr = CutSuggestedRowId(&update->where, &update->suggestedRowId);
    update->where.Trim();
  } else {
    // Without a where clause the statement inserts: the where text "0".
    hr = update->where.Assign("0");
    if (hr == S_OK) hr = update->set.Assign(text + set + 4);
    if (hr == S_OK) hr = CutSuggestedRowId(&update->set, &update->suggestedRowId);
  }
  if (hr == S_OK) hr = ReadSetClause(update);
  return hr == S_OK ? S_OK : OutOfMemory(failure);
}

HRESULT ReadDelete(const char* text, DeleteStatement* remove, ParseFailure* failure) {
  if (FindFrom(text, 0, "delete ") < 0) {
    return Fail(
        failure, text,
        Report("tSqlQueryEngine: Illegal delete statement, missing delete clause (", text, ")\n"));
  }
  const int32_t from = FindFrom(text, 0, "from ");
  if (from < 0) {
    return Fail(
        failure, text,
        Report("tSqlQueryEngine: Illegal delete statement, missing 'from' clause (", text, ")\n"));
  }
  // The column list of a delete is not kept.
  const int32_t where = FindFrom(text, 0, "where ");
  HRESULT hr;
  if (where > from) {
    hr = SliceStripped(text, from + 5, where - 1, &remove->table);
    if (hr == S_OK) hr = RestStripped(text, where + 6, &remove->where);
  } else {
    hr = RestStripped(text, from + 5, &remove->table);
    if (hr == S_OK) hr = remove->where.Assign("1");
    remove->matchAll = true;
  }
  return hr == S_OK ? S_OK : OutOfMemory(failure);
}

bool HoldsSeparatorOrBreak(const char* text) { return std::strpbrk(text, "|\r\n") != nullptr; }

// One "Name Type" item of a create's column list into the '|'-joined lists;
// an item without a name is skipped.
HRESULT ReadColumnItem(const char* text, const tString& item, CreateStatement* create,
                       ParseFailure* failure) {
  const char* blank = std::strchr(item.Text(), ' ');
  const int32_t split = blank != nullptr ? int32_t(blank - item.Text()) : item.Length();
  tString column;
  tString type;
  if (SliceStripped(item.Text(), 0, split, &column) != S_OK ||
      RestStripped(item.Text(), split, &type) != S_OK) {
    return OutOfMemory(failure);
  }
  if (column.IsNullOrEmpty()) return S_OK;
  if (HoldsSeparatorOrBreak(column.Text()) || HoldsSeparatorOrBreak(type.Text())) {
    return Fail(failure, item.Text(),
                Report("tSqlQueryEngine: Query (", text,
                       ") failed, column (" + std::string(column.Text()) +
                           ") or its type holds '|' or a line break\n"));
  }
  // A column name is never empty, so the lists are empty before the first.
  const bool first = create->names.IsNullOrEmpty();
  if ((!first &&
       (create->names.AppendChar('|') != S_OK || create->types.AppendChar('|') != S_OK)) ||
      create->names.Append(column) != S_OK || create->types.Append(type) != S_OK) {
    return OutOfMemory(failure);
  }
  return S_OK;
}

HRESULT ReadCreate(const char* text, CreateStatement* create, ParseFailure* failure) {
  const int32_t at = FindFrom(text, 0, "create ");
  const int32_t table = at < 0 ? -1 : FindFrom(text, at + 7, "table ");
  const int32_t open = table < 0 ? -1 : FindFrom(text, table + 6, "(");
  const char* lastClose = std::strrchr(text, ')');
  if (open < 0 || lastClose == nullptr) return Fail(failure, text);
  if (SliceStripped(text, table + 6, open - 1, &create->table) != S_OK ||
      create->names.Assign("") != S_OK || create->types.Assign("") != S_OK) {
    return OutOfMemory(failure);
  }
  // Items end at a comma outside parentheses, so "list(True,False)" stays
  // one type.
  const int32_t bodyEnd = int32_t(lastClose - text);
  tString item;
  int32_t depth = 0;
  int32_t start = open + 1;
  for (int32_t i = open + 1; i <= bodyEnd; ++i) {
    const char c = i < bodyEnd ? text[i] : ',';
    if (c == '(') ++depth;
    if (c == ')') --depth;
    if (i < bodyEnd && (c != ',' || depth > 0)) continue;
    if (SliceStripped(text, start, i, &item) != S_OK) return OutOfMemory(failure);
    start = i + 1;
    if (HRESULT hr = ReadColumnItem(text, item, create, failure); hr != S_OK) return hr;
  }
  if (std::strpbrk(create->table.Text(), "\r\n") != nullptr) {
    return Fail(
        failure, create->table.Text(),
        Report("tSqlQueryEngine: Query (", text, ") failed, table name holds a line break\n"));
  }
  return S_OK;
}

HRESULT ReadDrop(const char* text, DropStatement* drop, ParseFailure* failure) {
  const int32_t at = FindFrom(text, 0, "drop ");
  const int32_t table = at < 0 ? -1 : FindFrom(text, at + 5, "table ");
  if (table < 0) return Fail(failure, text);
  return RestStripped(text, table + 6, &drop->table) == S_OK ? S_OK : OutOfMemory(failure);
}

HRESULT ReadSort(const char* text, SortStatement* sort, ParseFailure* failure) {
  const int32_t at = FindFrom(text, 0, "sort ");
  const int32_t table = at < 0 ? -1 : FindFrom(text, at + 5, "table ");
  // "on " counts only as a word: DataStorageInformation ends in "on".
  const int32_t on = table < 0 ? -1 : FindWord(text, table + 6, "on ");
  if (on < 0) return Fail(failure, table < 0 ? text : text + table + 6);
  if (SliceStripped(text, table + 6, on - 1, &sort->table) != S_OK ||
      sort->keys.Assign(text + on + 3) != S_OK) {
    return OutOfMemory(failure);
  }
  return S_OK;
}

// Back to a fresh value of its kind, keeping the texts' buffers: an engine
// reads statement after statement into one value. A text left empty here
// and one never set read and print alike.
void Clear(SelectStatement* s) {
  s->columns.Empty();
  s->table.Empty();
  s->where.Empty();
  s->matchAll = false;
  s->top = 0;
  s->distinct = false;
  s->orderBy = false;
  s->orderByColumn.Empty();
}
void Clear(UpdateStatement* s) {
  s->mode = UpdateStatement::kChangeOrInsert;
  s->table.Empty();
  s->set.Empty();
  s->where.Empty();
  s->suggestedRowId.Empty();
  s->setHasEquals = false;
  s->wholeRow = false;
  s->rowText.Empty();
  s->assignments.clear();
  s->malformed = false;
}
void Clear(DeleteStatement* s) {
  s->table.Empty();
  s->where.Empty();
  s->matchAll = false;
}
void Clear(CreateStatement* s) {
  s->table.Empty();
  s->names.Empty();
  s->types.Empty();
}
void Clear(DropStatement* s) { s->table.Empty(); }
void Clear(SortStatement* s) {
  s->table.Empty();
  s->keys.Empty();
}
void Clear(CommentStatement*) {}

// The reader of one kind, run on a fresh value of that kind.
template <typename Value>
HRESULT ReadAs(HRESULT (*read)(const char*, Value*, ParseFailure*), const char* text,
               Statement* statement, ParseFailure* failure) {
  Value* value = std::get_if<Value>(statement);
  if (value != nullptr) {
    Clear(value);
  } else {
    value = &statement->emplace<Value>();
  }
  return read(text, value, failure);
}

HRESULT ReadComment(const char*, CommentStatement*, ParseFailure*) { return S_OK; }

}  // namespace

bool ParseStatement(const char* text, Statement* statement, ParseFailure* failure) {
  // The keyword is the text before the first blank, stripped.
  const char* begin = text;
  const char* end = std::strchr(text, ' ');
  if (end == nullptr) end = text + std::strlen(text);
  while (begin < end && IsStripSpace(*begin)) ++begin;
  while (end > begin && IsStripSpace(end[-1])) --end;
  const std::string_view keyword(begin, size_t(end - begin));
  auto is = [&](std::string_view word) {
    return keyword.size() == word.size() &&
           tString::CompareNoCaseN(keyword.data(), word.data(), word.size()) == 0;
  };
  HRESULT hr = E_FAIL;
  if (is("select")) {
    hr = ReadAs(&ReadSelect, text, statement, failure);
  } else if (is("update") || is("updat2") || is("updat3")) {
    hr = ReadAs(&ReadUpdate, text, statement, failure);
    const char mode = keyword[5];
    std::get<UpdateStatement>(*statement).mode = mode == '2'   ? UpdateStatement::kChangeOnly
                                                 : mode == '3' ? UpdateStatement::kInsertOnly
                                                               : UpdateStatement::kChangeOrInsert;
  } else if (is("delete")) {
    hr = ReadAs(&ReadDelete, text, statement, failure);
  } else if (is("create")) {
    hr = ReadAs(&ReadCreate, text, statement, failure);
  } else if (is("drop")) {
    hr = ReadAs(&ReadDrop, text, statement, failure);
  } else if (is("sort")) {
    hr = ReadAs(&ReadSort, text, statement, failure);
  } else if (is("comment")) {
    hr = ReadAs(&ReadComment, text, statement, failure);
  } else {
    // Commit is recognised and refused, like a word that is no keyword.
    failure->fragment.assign(keyword);
    failure->report.clear();
  }
  return hr == S_OK;
}

namespace {

// Appends " name<text>".
void PrintText(std::string* out, const char* name, const tString& text) {
  *out += ' ';
  *out += name;
  *out += '<';
  *out += text.Text() != nullptr ? text.Text() : "";
  *out += '>';
}

void PrintFlag(std::string* out, const char* name, int64_t value) {
  *out += ' ';
  *out += name;
  *out += '=';
  *out += std::to_string(value);
}

struct Printer {
  std::string* out;
  void operator()(const SelectStatement& s) const {
    *out = "select";
    PrintText(out, "columns", s.columns);
    PrintText(out, "table", s.table);
    PrintText(out, "where", s.where);
    PrintFlag(out, "all", s.matchAll);
    PrintFlag(out, "top", s.top);
    PrintFlag(out, "distinct", s.distinct);
    PrintFlag(out, "orderBy", s.orderBy);
    PrintText(out, "column", s.orderByColumn);
  }
  void operator()(const UpdateStatement& s) const {
    static const char* const kModes[] = {"update", "updat2", "updat3"};
    *out = kModes[s.mode];
    PrintText(out, "table", s.table);
    PrintText(out, "set", s.set);
    PrintText(out, "where", s.where);
    PrintText(out, "id", s.suggestedRowId);
    PrintFlag(out, "equals", s.setHasEquals);
    PrintFlag(out, "row", s.wholeRow);
    PrintText(out, "rowText", s.rowText);
    for (const Assignment& assignment : s.assignments) {
      PrintText(out, "name", assignment.name);
      PrintText(out, "value", assignment.value);
    }
    PrintFlag(out, "malformed", s.malformed);
  }
  void operator()(const DeleteStatement& s) const {
    *out = "delete";
    PrintText(out, "table", s.table);
    PrintText(out, "where", s.where);
    PrintFlag(out, "all", s.matchAll);
  }
  void operator()(const CreateStatement& s) const {
    *out = "create";
    PrintText(out, "table", s.table);
    PrintText(out, "names", s.names);
    PrintText(out, "types", s.types);
  }
  void operator()(const DropStatement& s) const {
    *out = "drop";
    PrintText(out, "table", s.table);
  }
  void operator()(const SortStatement& s) const {
    *out = "sort";
    PrintText(out, "table", s.table);
    PrintText(out, "keys", s.keys);
  }
  void operator()(const CommentStatement&) const { *out = "comment"; }
};

}  // namespace

std::string PrintStatement(const Statement& statement) {
  std::string out;
  std::visit(Printer{&out}, statement);
  return out;
}

}  // namespace query
