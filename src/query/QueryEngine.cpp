// tSqlQueryEngine: construction, Query, dispatch by keyword, the clause
// parsers of select, update and delete, and table binding.
#include <cstring>

#include "artefacts/schema/UniqueId.h"
#include "query/QueryEngineParts.h"
#include "query/QueryText.h"
#include "query/tSqlQueryEngine.h"
#include "templatelib/DebugOut.h"

using query::FindFrom;
using query::FindLast;
using query::RestStripped;
using query::SliceStripped;

tSqlQueryEngine::tSqlQueryEngine(tConfigSource* source)
    : source_(source != nullptr ? source : tConfigSource::DefaultSource()) {
  results_ = &ownResults_;
}

tSqlQueryEngine::~tSqlQueryEngine() = default;

HRESULT tSqlQueryEngine::attachConfigSource(tConfigSource* source) {
  source_ = source != nullptr ? source : tConfigSource::DefaultSource();
  statement_.Empty();
  delimiter_ = '|';
  error_ = false;
  matchAll_ = false;
  boundRoot_ = nullptr;
  forgetTable();
  return S_OK;
}

void tSqlQueryEngine::forgetTable() { table_ = tTableNodes{}; }

const char* tSqlQueryEngine::statementText() const {
  return statement_.Text() != nullptr ? statement_.Text() : "";
}

HRESULT tSqlQueryEngine::Query(const char* statement, tQueryString* results, char delimiter,
                               tQueryOrderingCallback ordering) {
  equationSet_ = false;
  if (statement == nullptr) return E_POINTER;
  if (*statement == '\0') return E_INVALIDARG;
  ordering_ = ordering;
  error_ = false;
  delimiter_ = delimiter;
  tAttribute* root = source_ != nullptr ? source_->Root() : nullptr;
  if (root == nullptr) {
    boundRoot_ = nullptr;
    forgetTable();
    DebugOut("tSqlQueryEngine: Query (%s) failed, database not loaded properly\n", statement);
    return E_FAIL;
  }
  if (boundRoot_ != nullptr && boundRoot_ != root) forgetTable();
  boundRoot_ = root;
  results_ = results != nullptr ? results : &ownResults_;
  results_->Clear();
  if (parseStatement(statement) != S_OK) return E_FAIL;
  return executeStatement();
}

HRESULT tSqlQueryEngine::parseStatement(const char* text) {
  if (statement_.Assign(text) != S_OK) return E_OUTOFMEMORY;
  kind_ = kStatementNone;
  updateOnly_ = false;
  insertOnly_ = false;
  // Every statement decides the match-all flag afresh; a select that
  // matched all rows must not leave the next statement matching all rows.
  matchAll_ = false;
  const char* blank = std::strchr(statementText(), ' ');
  const int32_t end = blank != nullptr ? int32_t(blank - statementText()) : statement_.Length();
  if (SliceStripped(statementText(), 0, end, &scratch_) != S_OK) return E_OUTOFMEMORY;

  struct Keyword {
    const char* word;
    int32_t kind;
    HRESULT (tSqlQueryEngine::*parse)();
    bool updateOnly;
    bool insertOnly;
  };
  static const Keyword kKeywords[] = {
      {"select", kStatementSelect, &tSqlQueryEngine::parseSelectStatement, false, false},
      {"update", kStatementUpdate, &tSqlQueryEngine::parseUpdateStatement, false, false},
      {"updat2", kStatementUpdate, &tSqlQueryEngine::parseUpdateStatement, true, false},
      {"updat3", kStatementUpdate, &tSqlQueryEngine::parseUpdateStatement, false, true},
      {"delete", kStatementDelete, &tSqlQueryEngine::parseDeleteStatement, false, false},
      {"create", kStatementCreate, &tSqlQueryEngine::parseAndExecuteCreateStatement, false, false},
      {"commit", kStatementNone, nullptr, false, false},
      {"sort", kStatementSort, &tSqlQueryEngine::parseAndExecuteSortStatement, false, false},
      {"drop", kStatementDrop, &tSqlQueryEngine::parseAndExecuteDropStatement, false, false},
      {"comment", kStatementComment, nullptr, false, false},
  };
  for (const Keyword& keyword : kKeywords) {
    if (scratch_.CompareNoCase(keyword.word) != 0) continue;
    if (keyword.kind == kStatementNone) return E_INVALIDARG;  // commit is refused
    updateOnly_ = keyword.updateOnly;
    insertOnly_ = keyword.insertOnly;
    HRESULT hr = keyword.parse != nullptr ? (this->*keyword.parse)() : S_OK;
    kind_ = keyword.kind;
    return hr;
  }
  return E_INVALIDARG;
}

HRESULT tSqlQueryEngine::executeStatement() {
  switch (kind_) {
    case kStatementSelect:
      return handleSelectStatement();
    case kStatementUpdate:
      return handleUpdateStatement();
    case kStatementDelete:
      return handleDeleteStatement();
    case kStatementCreate:
    case kStatementComment:
    case kStatementSort:
    case kStatementDrop:
      return S_OK;  // their work was done while parsing
    default:
      return E_FAIL;
  }
}

namespace {

// A column list with blanks between its names is rebuilt as the names
// joined by "," alone; one without inner white space stays as it is.
HRESULT NormaliseColumnList(tString* list) {
  const char* text = list->Text();
  bool innerSpace = false;
  for (const char* p = text; p != nullptr && *p != '\0'; ++p) innerSpace |= query::IsStripSpace(*p);
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

}  // namespace

HRESULT tSqlQueryEngine::parseSelectStatement() {
  const char* text = statementText();
  int32_t at = FindFrom(text, 0, "select ");
  if (at < 0) return E_FAIL;
  int32_t listStart = at + 7;
  top_ = 0;
  if (tString::CompareNoCaseN(text + listStart, "top ", 4) == 0) {
    listStart += 4;
    if (text[listStart] >= '0' && text[listStart] <= '9') {
      top_ = query::ReadDecimal(text + listStart);
      while (text[listStart] >= '0' && text[listStart] <= '9') ++listStart;
    } else {
      top_ = 1;
    }
  }
  // "distinct " counts only before "from ": found in a where clause it
  // would cut the statement in the wrong place.
  int32_t from = FindFrom(text, listStart, "from ");
  int32_t distinct = FindFrom(text, listStart, "distinct ");
  distinct_ = distinct >= 0 && (from < 0 || distinct < from);
  if (distinct_) {
    listStart = distinct + 9;
    from = FindFrom(text, listStart, "from ");
  }
  if (from < 0) return E_FAIL;
  if (SliceStripped(text, listStart, from - 1, &columns_) != S_OK) return E_OUTOFMEMORY;
  if (NormaliseColumnList(&columns_) != S_OK) return E_OUTOFMEMORY;

  int32_t orderBy = FindFrom(text, from, " order by ");
  orderBy_ = orderBy >= 0;
  int32_t end = statement_.Length();
  if (orderBy_) {
    if (RestStripped(text, orderBy + 10, &orderByColumn_) != S_OK) return E_OUTOFMEMORY;
    end = orderBy;
  } else {
    orderByColumn_.Empty();
  }
  int32_t where = FindFrom(text, from, "where ");
  if (where >= 0 && where + 6 <= end) {
    if (SliceStripped(text, from + 5, where - 1, &fromTable_) != S_OK ||
        SliceStripped(text, where + 6, end, &where_) != S_OK) {
      return E_OUTOFMEMORY;
    }
  } else {
    if (SliceStripped(text, from + 5, end, &fromTable_) != S_OK || where_.Assign("1") != S_OK) {
      return E_OUTOFMEMORY;
    }
    matchAll_ = true;
  }
  return columns_.IsNullOrEmpty() ? E_FAIL : S_OK;
}

HRESULT tSqlQueryEngine::parseUpdateStatement() {
  const char* text = statementText();
  if (tString::CompareNoCaseN(text, "update ", 7) != 0 &&
      tString::CompareNoCaseN(text, "updat2 ", 7) != 0 &&
      tString::CompareNoCaseN(text, "updat3 ", 7) != 0) {
    DebugOut("tSqlQueryEngine: Illegal update statement, missing 'update' clause (%s)\n", text);
    return E_FAIL;
  }
  const int32_t set = FindFrom(text, 7, "set ");
  if (set < 0) {
    DebugOut("tSqlQueryEngine: Illegal update statement, missing 'set' clause (%s)\n", text);
    return E_FAIL;
  }
  // The last "where " is the clause, so a set value may itself hold "where ".
  const int32_t where = FindLast(text, "where ");
  if (SliceStripped(text, 7, set - 1, &updateTable_) != S_OK) return E_OUTOFMEMORY;
  suggestedRowId_.Empty();
  if (where > set) {
    if (SliceStripped(text, set + 4, where - 1, &setText_) != S_OK ||
        RestStripped(text, where + 6, &where_) != S_OK) {
      return E_OUTOFMEMORY;
    }
    if (!cutSuggestedRowId(&where_)) return E_OUTOFMEMORY;
    where_.Trim();
    return S_OK;
  }
  // Without a where clause the statement inserts: the where text "0".
  if (where_.Assign("0") != S_OK || setText_.Assign(text + set + 4) != S_OK) return E_OUTOFMEMORY;
  return cutSuggestedRowId(&setText_) ? S_OK : E_OUTOFMEMORY;
}

bool tSqlQueryEngine::cutSuggestedRowId(tString* clause) {
  const int32_t suggested = FindFrom(clause->Text(), 0, " suggestedRowId ");
  if (suggested < 0) return true;
  if (RestStripped(clause->Text(), suggested + 16, &suggestedRowId_) != S_OK) return false;
  clause->Buffer()[suggested] = '\0';
  return true;
}

HRESULT tSqlQueryEngine::parseDeleteStatement() {
  const char* text = statementText();
  const int32_t deleteAt = FindFrom(text, 0, "delete ");
  if (deleteAt < 0) {
    DebugOut("tSqlQueryEngine: Illegal delete statement, missing delete clause (%s)\n", text);
    return E_FAIL;
  }
  const int32_t from = FindFrom(text, 0, "from ");
  if (from < 0) {
    DebugOut("tSqlQueryEngine: Illegal delete statement, missing 'from' clause (%s)\n", text);
    return E_FAIL;
  }
  // The column list of a delete is read and then thrown away.
  columns_.Empty();
  const int32_t where = FindFrom(text, 0, "where ");
  if (where > from) {
    matchAll_ = false;
    if (SliceStripped(text, from + 5, where - 1, &fromTable_) != S_OK ||
        RestStripped(text, where + 6, &where_) != S_OK) {
      return E_OUTOFMEMORY;
    }
  } else {
    if (RestStripped(text, from + 5, &fromTable_) != S_OK || where_.Assign("1") != S_OK) {
      return E_OUTOFMEMORY;
    }
    matchAll_ = true;
  }
  return S_OK;
}

HRESULT tSqlQueryEngine::setDatabaseTable(const char* tableName, bool useCache) {
  if (boundRoot_ == nullptr) {
    boundRoot_ = source_ != nullptr ? source_->Root() : nullptr;
    if (boundRoot_ == nullptr) return E_FAIL;
  }
  if (source_->treeChanged != 0) {
    source_->treeChanged = 0;
    forgetTable();
  } else if (useCache && table_.table != nullptr && table_.contents != nullptr &&
             table_.table->value.CompareNoCase(tableName) == 0) {
    return S_OK;
  }
  tTableNodes nodes;
  if (source_->FindTable(tableName, &nodes) != S_OK) {
    forgetTable();
    source_->treeChanged = 1;
    return E_FAIL;
  }
  table_ = nodes;
  return S_OK;
}

HRESULT tSqlQueryEngine::getColumnValue(const tAttribute* row, const char* rowText,
                                        const char* column, tString* value) {
  if (row == nullptr || value == nullptr) return E_POINTER;
  if (tString::CompareNoCase(column, "System.RowNumber") == 0) return value->Assign(row->name);
  if (table_.definition == nullptr) return E_FAIL;
  const int32_t position = query::FieldPosition(table_.definition->value.Text(), column);
  const char* start;
  int32_t length;
  if (position < 0 || !query::FieldSpan(rowText, position, &start, &length)) return E_FAIL;
  return value->AssignN(start, length);
}

HRESULT tSqlQueryEngine::getNextRowId(tString* rowId) {
  if (!suggestedRowId_.IsNullOrEmpty()) {
    HRESULT hr = rowId->Assign(suggestedRowId_);
    suggestedRowId_.Empty();
    return hr;
  }
  return schema::GetUniqueId(rowId);
}
