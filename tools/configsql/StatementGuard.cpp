#include "StatementGuard.h"

#include <cctype>
#include <cstring>

namespace configsql {
namespace {

constexpr char kSpace[] = " \t\r\n\v\f";

char Lower(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

std::string LowerCopy(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = Lower(c);
  return lower;
}

// The first `needle` at or after `from`, without regard to case: the way the
// engine finds its clause keywords, inside names and quotes alike.
size_t FindNoCase(std::string_view text, std::string_view needle, size_t from = 0) {
  if (needle.size() > text.size()) return std::string_view::npos;
  for (size_t i = from; i + needle.size() <= text.size(); ++i) {
    size_t k = 0;
    while (k < needle.size() && Lower(text[i + k]) == Lower(needle[k])) ++k;
    if (k == needle.size()) return i;
  }
  return std::string_view::npos;
}

size_t RFindNoCase(std::string_view text, std::string_view needle) {
  size_t found = std::string_view::npos;
  for (size_t at = FindNoCase(text, needle); at != std::string_view::npos;
       at = FindNoCase(text, needle, at + 1)) {
    found = at;
  }
  return found;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// What an SQL shell user means by a word the language does not have.
const char* HintFor(std::string_view word) {
  static const struct {
    const char* word;
    const char* hint;
  } kHints[] = {
      {"and", "use && for and"},
      {"or", "use || for or"},
      {"not", "there is no not: use != or the opposite comparison"},
      {"like", "use = with the wildcards * and ? for like (Name = 'Parm1*')"},
      {"in", "use (C = 'a' || C = 'b') for in"},
      {"between", "use C >= low && C <= high for between"},
      {"is", "compare with = '' for is null"},
      {"desc", "order by sorts ascending only"},
      {"asc", "order by sorts ascending only; leave out asc"},
      {"limit", "use select top N for limit"},
  };
  const std::string lower = LowerCopy(word);
  for (const auto& entry : kHints) {
    if (lower == entry.word) return entry.hint;
  }
  return nullptr;
}

std::string CannotPlace(std::string_view word, std::string_view after) {
  if (const char* hint = HintFor(word)) return hint;
  return "cannot place '" + std::string(word) + "' after " + std::string(after) +
         "; quote constants that hold blanks ('Red one')";
}

// A run of non-blank characters at `at`.
std::string_view WordAt(std::string_view text, size_t at) {
  size_t end = at;
  while (end < text.size() && !IsBlank(text[end])) ++end;
  return text.substr(at, end - at);
}

// One name where one name belongs: a table, an order-by column.
std::string CheckOneWord(std::string_view text, std::string_view what) {
  text = StripSpace(text);
  if (text.empty()) return std::string(what) + " is missing";
  size_t blank = text.find_first_of(" \t");
  if (blank == std::string_view::npos) return {};
  const std::string_view next = WordAt(text, text.find_first_not_of(" \t", blank));
  if (const char* hint = HintFor(next)) return hint;
  return "cannot place '" + std::string(next) + "' after " + std::string(what) + " " +
         std::string(text.substr(0, blank));
}

// A where text, read with the equation engine's grammar: comparisons of a
// column with one constant, "&&", "||" and parentheses. Anything that grammar
// would swallow into a constant or drop quietly is refused.
std::string CheckWhere(std::string_view where) {
  if (StripSpace(where).empty()) return "the where clause is empty";
  if (where.find('"') != std::string_view::npos && where.find('\'') == std::string_view::npos) {
    return "use single quotes for constants ('text'), not double quotes";
  }
  size_t i = 0;
  int depth = 0;
  bool expectOperand = true;
  std::string_view last = "where";
  auto skip = [&] {
    while (i < where.size() && IsBlank(where[i])) ++i;
  };
  for (skip(); i < where.size(); skip()) {
    const char c = where[i];
    if (c == '(' || c == ')') {
      if ((c == '(') != expectOperand) return std::string("cannot place '") + c + "' here";
      depth += c == '(' ? 1 : -1;
      if (depth < 0) return "a ')' closes no '('";
      ++i;
      continue;
    }
    if (c == '&' || c == '|') {
      if (i + 1 >= where.size() || where[i + 1] != c) {
        return c == '&' ? "use && for and" : "use || for or";
      }
      if (expectOperand) return std::string("cannot place '") + c + c + "' here";
      expectOperand = true;
      last = where.substr(i, 2);
      i += 2;
      continue;
    }
    if (!expectOperand) {
      const std::string_view word = WordAt(where, i);
      if (word.starts_with("<>")) return "use != for <>";
      return CannotPlace(word, last);
    }
    // A comparison: column, operator, constant.
    const size_t start = i;
    while (i < where.size() && !IsBlank(where[i]) &&
           std::strchr("=<>!()&|'\"", where[i]) == nullptr) {
      ++i;
    }
    const std::string_view column = where.substr(start, i - start);
    skip();
    if (i >= where.size() || std::strchr("=<>!", where[i]) == nullptr) {
      if (column == "1" || column == "0") {
        expectOperand = false;
        last = column;
        continue;
      }
      if (const char* hint = HintFor(column)) return hint;
      if (i < where.size()) {
        if (const char* hint = HintFor(WordAt(where, i))) return hint;
      }
      if (column.empty()) return "a comparison needs a column before its operator";
      return "'" + std::string(column) + "' needs an operator (= != < <= > >=) and a constant";
    }
    if (where.substr(i, 2) == "<>") return "use != for <>";
    if (where[i] == '!' && where.substr(i, 2) != "!=") return "there is no not: use != for !";
    if (column.empty()) return "a comparison needs a column before its operator";
    i += (i + 1 < where.size() && where[i + 1] == '=') ? 2 : 1;
    skip();
    if (i >= where.size()) return "'" + std::string(column) + "' has no constant to compare with";
    if (where[i] == '"') return "use single quotes for constants ('text'), not double quotes";
    if (where[i] == '\'') {
      size_t close = i + 1;
      // A quote after the escape byte 0xF4 is part of the constant.
      while (close < where.size() &&
             (where[close] != '\'' || static_cast<unsigned char>(where[close - 1]) == 0xF4)) {
        ++close;
      }
      if (close >= where.size()) return "a quoted constant is not closed";
      i = close + 1;
    } else {
      while (i < where.size() && !IsBlank(where[i]) && std::strchr("()&|", where[i]) == nullptr) {
        if (where[i] == '\'' || where[i] == '"') return "a constant holds a quote; quote it whole";
        ++i;
      }
    }
    last = where.substr(start, i - start);
    expectOperand = false;
  }
  if (expectOperand) return "the where clause ends after '" + std::string(last) + "'";
  if (depth != 0) return "a '(' is not closed";
  return {};
}

// A clause keyword the engine found must stand as a word of its own.
std::string CheckWordStart(std::string_view text, size_t at, std::string_view keyword) {
  if (at == 0 || IsBlank(text[at - 1])) return {};
  size_t start = at;
  while (start > 0 && !IsBlank(text[start - 1])) --start;
  return "'" + std::string(keyword) + "' is found inside '" + std::string(WordAt(text, start)) +
         "'; the statement would be cut there";
}

void GuardSelect(GuardedStatement& s) {
  std::string_view text = s.text;
  size_t list = 7;  // after "select "
  bool top = false;
  if (FindNoCase(text.substr(list, 4), "top ") == 0) {
    top = true;
    list += 4;
    if (list >= text.size() || !std::isdigit(static_cast<unsigned char>(text[list]))) {
      s.refusal = "top needs a number: select top N ...";
      return;
    }
    while (list < text.size() && std::isdigit(static_cast<unsigned char>(text[list]))) ++list;
  }
  const size_t distinct = FindNoCase(text, "distinct ", list);
  if (distinct != std::string_view::npos) {
    if (!StripSpace(text.substr(list, distinct - list)).empty()) {
      s.refusal = "'distinct ' must follow select (or top N) directly; it was found later";
      return;
    }
    list = distinct + 9;
  }
  const size_t from = FindNoCase(text, "from ", list);
  if (from == std::string_view::npos) {
    s.refusal = "select needs: select ITEMS from TABLE";
    return;
  }
  const size_t where = FindNoCase(text, "where ", from);
  const size_t order = FindNoCase(text, " order by ", from);
  for (auto [at, word] : {std::pair{from, "from"}, std::pair{where, "where"}}) {
    if (at == std::string_view::npos) continue;
    if (s.refusal = CheckWordStart(text, at, word); !s.refusal.empty()) return;
  }
  if (order != std::string_view::npos && where != std::string_view::npos && order < where) {
    s.refusal = "where must come before order by";
    return;
  }
  const size_t tableEnd = where != std::string_view::npos   ? where
                          : order != std::string_view::npos ? order
                                                            : text.size();
  s.table = std::string(StripSpace(text.substr(from + 5, tableEnd - from - 5)));
  if (s.refusal = CheckOneWord(s.table, "the table"); !s.refusal.empty()) return;

  std::string_view items = StripSpace(text.substr(list, from - list));
  if (items.empty()) {
    s.refusal = "select needs at least one item: a column, * or System.RowNumber";
    return;
  }
  for (size_t start = 0;;) {
    size_t comma = items.find(',', start);
    std::string_view item =
        StripSpace(items.substr(start, comma == std::string_view::npos ? comma : comma - start));
    if (item.find('(') != std::string_view::npos) {
      s.refusal = LowerCopy(item).starts_with("count(")
                      ? "there is no count(...): .tables shows row counts, .changes the rows a "
                        "statement changed"
                      : "there are no functions: select columns, * or System.RowNumber";
      return;
    }
    if (item.empty()) {
      s.refusal = "an item of the select list is empty";
      return;
    }
    if (s.refusal = CheckOneWord(item, "the item"); !s.refusal.empty()) return;
    s.items.emplace_back(item);
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  if (where != std::string_view::npos) {
    s.hasWhere = true;
    const size_t end = order != std::string_view::npos ? order : text.size();
    s.where = std::string(StripSpace(text.substr(where + 6, end - where - 6)));
    if (s.refusal = CheckWhere(s.where); !s.refusal.empty()) return;
  }
  if (order != std::string_view::npos) {
    std::string_view column = StripSpace(text.substr(order + 10));
    if (column.find(',') != std::string_view::npos) {
      s.refusal = "order by takes one column";
      return;
    }
    if (s.refusal = CheckOneWord(column, "the order-by column"); !s.refusal.empty()) return;
    if (top) {
      s.refusal =
          "top N takes the first N rows in table order before order by sorts them; leave out "
          "top, or top and order by";
    }
  }
}

void GuardDelete(GuardedStatement& s) {
  std::string_view text = s.text;
  const size_t from = FindNoCase(text, "from ");
  if (from == std::string_view::npos) {
    s.refusal = "delete needs: delete from TABLE [where ...]";
    return;
  }
  const size_t where = FindNoCase(text, "where ");
  for (auto [at, word] : {std::pair{from, "from"}, std::pair{where, "where"}}) {
    if (at == std::string_view::npos) continue;
    if (s.refusal = CheckWordStart(text, at, word); !s.refusal.empty()) return;
  }
  if (where != std::string_view::npos && where < from) {
    s.refusal = "where must come after from TABLE";
    return;
  }
  const size_t tableEnd = where != std::string_view::npos ? where : text.size();
  s.table = std::string(StripSpace(text.substr(from + 5, tableEnd - from - 5)));
  if (s.refusal = CheckOneWord(s.table, "the table"); !s.refusal.empty()) return;
  if (where != std::string_view::npos) {
    s.hasWhere = true;
    s.where = std::string(StripSpace(text.substr(where + 6)));
    s.refusal = CheckWhere(s.where);
  }
}

void GuardUpdate(GuardedStatement& s) {
  std::string_view text = s.text;
  const size_t set = FindNoCase(text, "set ");
  if (set == std::string_view::npos || set < 7) {
    s.refusal = "update needs: update TABLE set C = 'v', ... [where ...]";
    return;
  }
  const size_t where = RFindNoCase(text, "where ");
  for (auto [at, word] : {std::pair{set, "set"}, std::pair{where, "where"}}) {
    if (at == std::string_view::npos) continue;
    if (s.refusal = CheckWordStart(text, at, word); !s.refusal.empty()) return;
  }
  s.table = std::string(StripSpace(text.substr(7, set - 7)));
  if (s.refusal = CheckOneWord(s.table, "the table"); !s.refusal.empty()) return;
  const size_t setEnd = where != std::string_view::npos && where > set ? where : text.size();
  std::string_view setText = StripSpace(text.substr(set + 4, setEnd - set - 4));
  // The whole-row form takes its fields as written; in the column form a
  // double-quoted value would keep its quotes.
  if (!setText.starts_with("*")) {
    bool quoted = false;
    for (char c : setText) {
      if (c == '\'') quoted = !quoted;
      if (c == '"' && !quoted) {
        s.refusal = "use single quotes for values ('text'), not double quotes";
        return;
      }
    }
  }
  if (where == std::string_view::npos || where < set) return;
  s.hasWhere = true;
  std::string_view whereText = text.substr(where + 6);
  const size_t suggested = FindNoCase(whereText, " suggestedRowId ");
  if (suggested != std::string_view::npos) {
    if (s.refusal = CheckOneWord(whereText.substr(suggested + 16), "suggestedRowId");
        !s.refusal.empty()) {
      return;
    }
    whereText = whereText.substr(0, suggested);
  }
  s.where = std::string(StripSpace(whereText));
  s.refusal = CheckWhere(s.where);
}

void GuardSort(GuardedStatement& s) {
  std::string_view text = s.text;
  const size_t table = FindNoCase(text, "table ");
  const size_t on = table == std::string_view::npos ? table : FindNoCase(text, "on ", table + 6);
  if (on == std::string_view::npos) {
    s.refusal = "sort needs: sort table TABLE on C1,C2";
    return;
  }
  s.table = std::string(StripSpace(text.substr(table + 6, on - table - 6)));
  if (s.refusal = CheckOneWord(s.table, "the table"); !s.refusal.empty()) return;
  std::string_view keys = text.substr(on + 3);
  if (keys.find_first_of(" \t") != std::string_view::npos) {
    s.refusal =
        "write the key columns without blanks (sort table T on A,B): a blank becomes part "
        "of the name";
  }
}

}  // namespace

std::string_view StripSpace(std::string_view text) {
  const size_t start = text.find_first_not_of(kSpace);
  if (start == std::string_view::npos) return {};
  return text.substr(start, text.find_last_not_of(kSpace) - start + 1);
}

bool IsBlankOrComment(std::string_view line) {
  line = StripSpace(line);
  return line.empty() || line.starts_with("--");
}

GuardedStatement GuardStatement(std::string_view line) {
  GuardedStatement s;
  std::string_view text = StripSpace(line);
  if (text.ends_with(';')) text = StripSpace(text.substr(0, text.size() - 1));
  s.text = std::string(text);
  s.keyword = LowerCopy(text.substr(0, text.find(' ')));
  if (s.keyword == "select") {
    GuardSelect(s);
  } else if (s.keyword == "delete") {
    GuardDelete(s);
  } else if (s.keyword == "update" || s.keyword == "updat2" || s.keyword == "updat3") {
    GuardUpdate(s);
  } else if (s.keyword == "sort") {
    GuardSort(s);
  } else if (s.keyword == "insert") {
    s.refusal = "there is no insert: use update TABLE set * = v1|v2|... where 0, or .import";
  } else if (s.keyword == "commit") {
    s.refusal = "use .commit or .save";
  } else if (s.keyword != "create" && s.keyword != "drop" && s.keyword != "comment") {
    s.refusal = "unknown statement '" + std::string(WordAt(text, 0)) +
                "': select, update, updat2, updat3, delete, create, drop, sort or comment";
  }
  return s;
}

}  // namespace configsql
