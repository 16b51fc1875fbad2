// The select executor.
//
//   select [top N] [distinct ] ITEMS from T [where W] [ order by C]
//
// One result line per matching row: the items' values joined by the result
// delimiter. Items are column names, "*" (the whole row, '|'-joined),
// System.RowNumber / System.RowState / System.ErrorState, and any of these
// after "$" for the row's value before its last edit. System.TableDefinition
// or System.TableType anywhere in the list give the table's column or type
// list as the one line. Where texts naming System.RowNumber, System.RowState
// or System.ErrorState (outside quotes) select by row id, state or error
// state instead of evaluating a clause.
//
// The item list is resolved once per statement; each row then costs one
// pass over its fields, into one line buffer that serves all rows. A list
// of plain columns skips the buffer: each row's fields go straight into the
// result set, which holds the lines of one select side by side.
#include <bit>
#include <cstdio>
#include <cstring>

#include "platform/NumberText.h"
#include "query/QueryText.h"
#include "query/StatementExecutors.h"
#include "templatelib/DebugOut.h"
#include "templatelib/tZBall.h"

namespace query {

namespace {

// The line buffer is kept between rows, but not at any size.
constexpr int32_t kLineShrinkAbove = 5000;
constexpr int32_t kLineShrunkCapacity = 2000;

// Builds a line in place in a kept buffer, its length kept here.
class LineWriter {
 public:
  explicit LineWriter(tString* line) : line_(line) {}
  int32_t length() const { return length_; }
  bool Put(const char* text, int32_t count) {
    if (length_ + count + 2 > line_->Capacity()) {
      int64_t capacity = line_->Capacity() > 0 ? line_->Capacity() : 256;
      while (capacity < int64_t{length_} + count + 2) capacity *= 2;
      if (capacity > INT32_MAX || line_->Reserve(int32_t(capacity)) != S_OK) return false;
    }
    std::memcpy(line_->Buffer() + length_, text, size_t(count));
    length_ += count;
    line_->Buffer()[length_] = '\0';
    return true;
  }
  bool PutText(const char* text) {
    return Put(text != nullptr ? text : "", text != nullptr ? int32_t(std::strlen(text)) : 0);
  }
  // Drops the last character (the delimiter after the last item).
  void DropLast() { line_->Buffer()[--length_] = '\0'; }

 private:
  tString* line_;
  int32_t length_ = 0;
};

// The high bit of each byte of `word` that is '|' or the terminator,
// exactly (no carries between bytes).
uint64_t DelimiterMarks(uint64_t word) {
  constexpr uint64_t kLow7 = 0x7F7F7F7F7F7F7F7FULL;
  auto zeroBytes = [](uint64_t v) { return ~(((v & kLow7) + kLow7) | v | kLow7); };
  return zeroBytes(word) | zeroBytes(word ^ 0x7C7C7C7C7C7C7C7CULL);
}

}  // namespace

HRESULT SelectExecutor::Run(TableSession& session, const SelectStatement& select) {
  session_ = &session;
  select_ = &select;
  const bool archiveForm = select.table.CompareTrimmed("zBall") == 0 &&
                           select.columns.CompareTrimmed("FullFileName") == 0;
  if (session.BindTable(select.table.Text(), true) != S_OK) {
    // "zBall" names the archive, not a table: the form works without one.
    if (archiveForm) return SelectFromArchive();
    DebugOut("tSqlQueryEngine: Query (%s) failed, unknown 'From' table (%s)\n", session.statement(),
             select.table.Text() != nullptr ? select.table.Text() : "");
    return E_FAIL;
  }
  bool answered = false;
  HRESULT hr = SelectTableMetadata(&answered);
  if (answered) return hr;
  if (ResolveItems() != S_OK) return E_OUTOFMEMORY;
  const char* where = select.where.Text();
  if (ContainsOutsideQuotes(where, "System.RowNumber")) return SelectByRowId();
  if (ContainsOutsideQuotes(where, "System.RowState")) return SelectByRowState();
  if (ContainsOutsideQuotes(where, "System.ErrorState")) return SelectByErrorState();
  if (archiveForm) return SelectFromArchive();
  if (select.where.Compare("0") == 0) {
    session.results().Clear();
    return S_OK;
  }
  return SelectMatchingRows();
}

HRESULT SelectExecutor::SelectTableMetadata(bool* answered) {
  const tTableNodes& table = session_->table();
  for (tAttribute* node : {table.definition, table.type}) {
    const char* item = node == table.definition ? "System.TableDefinition" : "System.TableType";
    if (!ContainsOutsideQuotes(select_->columns.Text(), item)) continue;
    *answered = true;
    if (node == nullptr) return E_FAIL;
    const char* value = node->value.Text();
    return session_->results().Append(value != nullptr ? value : "") != S_OK ? E_OUTOFMEMORY : S_OK;
  }
  return S_OK;
}

HRESULT SelectExecutor::SelectMatchingRows() {
  if (session_->LoadWhere(select_->where.Text(), select_->matchAll) != S_OK) return E_FAIL;
  const bool includeDeleted = FindFrom(select_->columns.Text(), 0, "System.RowState") >= 0;
  error_ = false;
  RowCursor cursor;
  session_->StartWalk(&cursor, includeDeleted);
  const bool plain = IsPlainProjection();
  bool stop = false;
  while (!stop) {
    tAttribute* row = session_->NextMatch(&cursor, includeDeleted);
    if (row == nullptr) break;
    // A row that fails simply gives no line.
    if (plain) {
      AddPlainRow(row, &stop);
    } else {
      AddRow(row, &stop);
    }
  }
  tQueryString& results = session_->results();
  results.ResetCursor();
  if (select_->orderBy) {
    if (SortResults() != S_OK) return E_OUTOFMEMORY;
    results.ResetCursor();
  }
  if (error_) return E_FAIL;
  return results.lineCount == 0 ? S_FALSE : S_OK;
}

HRESULT SelectExecutor::ResolveItems() {
  const char* list = select_->columns.Text();
  items_.resize(size_t(tString::FieldCount(list, ',')));
  maxColumn_ = -1;
  const char* definition = session_->table().definition->value.Text();
  for (Item& item : items_) {
    if (tString::GetField(list, int32_t(&item - items_.data()), ',', &item.text) != S_OK) {
      return E_OUTOFMEMORY;
    }
    const char* name = item.text.Text();
    item.fromPrevious = *name == '$';
    if (item.fromPrevious) ++name;
    item.column = -1;
    if (std::strcmp(name, "*") == 0) {
      item.kind = Item::kWholeRow;
    } else if (tString::CompareNoCase(name, "System.RowNumber") == 0) {
      item.kind = Item::kRowNumber;
    } else if (tString::CompareNoCase(name, "System.RowState") == 0) {
      item.kind = Item::kRowState;
    } else if (tString::CompareNoCase(name, "System.ErrorState") == 0) {
      item.kind = Item::kErrorState;
    } else {
      item.column = FieldPosition(definition, name);
      item.kind = item.column >= 0 ? Item::kColumn : Item::kUnknown;
    }
    if (item.kind == Item::kColumn && item.column > maxColumn_) maxColumn_ = item.column;
  }
  if (size_t(maxColumn_ + 1) > fieldSpans_.size()) fieldSpans_.resize(size_t(maxColumn_ + 1));
  return S_OK;
}

HRESULT SelectExecutor::AddRow(tAttribute* row, bool* stop) {
  if (row == nullptr || items_.empty()) return E_FAIL;
  error_ = false;
  HRESULT hr;
  const int32_t length = BuildLine(row, &hr);
  if (length < 0) return hr;
  tQueryString& results = session_->results();
  if (select_->distinct && results.ContainsEquivalent(line_.Text())) return S_OK;
  tQueryOrderingCallback ordering = session_->ordering();
  hr = !select_->orderBy && ordering != nullptr
           ? results.InsertOrdered(line_.Text(), ordering, nullptr)
           : results.Append(line_.Text(), length);
  if (Failed(hr)) return hr;
  if (select_->top > 0 && stop != nullptr && results.lineCount >= select_->top) *stop = true;
  return S_OK;
}

bool SelectExecutor::IsPlainProjection() const {
  if (select_->distinct || (!select_->orderBy && session_->ordering() != nullptr)) return false;
  for (const Item& item : items_) {
    if (item.kind != Item::kColumn || item.fromPrevious) return false;
  }
  return !items_.empty();
}

HRESULT SelectExecutor::AddPlainRow(tAttribute* row, bool* stop) {
  const int32_t fields = FindFieldSpans(row->value);
  const char* text = row->value.Text();
  pieces_.resize(items_.size());
  for (size_t i = 0; i < items_.size(); ++i) {
    // A row with fewer fields gives the missing ones empty.
    const int32_t column = items_[i].column;
    pieces_[i] = column < fields ? tQueryString::Piece{text + fieldSpans_[column].start,
                                                       fieldSpans_[column].length}
                                 : tQueryString::Piece{"", 0};
  }
  tQueryString& results = session_->results();
  const HRESULT hr =
      results.AppendJoined(pieces_.data(), int32_t(pieces_.size()), session_->delimiter());
  if (Failed(hr)) return hr;
  if (select_->top > 0 && results.lineCount >= select_->top) *stop = true;
  return S_OK;
}

int32_t SelectExecutor::BuildLine(tAttribute* row, HRESULT* hr) {
  *hr = E_OUTOFMEMORY;
  if (line_.Capacity() > kLineShrinkAbove) {
    line_.Release();
    if (line_.Reserve(kLineShrunkCapacity) != S_OK) return -1;
  }
  // The row's fields are found in one walk over the row, not one per item.
  LineWriter line(&line_);
  if (!line.Put("", 0)) return -1;
  const int32_t fields = FindFieldSpans(row->value);
  const char delimiter = session_->delimiter();
  for (const Item& item : items_) {
    if (item.fromPrevious && row->rowState != kRowEdited) {
      *hr = E_FAIL;
      return -1;
    }
    const char* source = item.fromPrevious ? row->previousValue.Text() : row->value.Text();
    bool ok = true;
    switch (item.kind) {
      case Item::kWholeRow:
        ok = line.PutText(source);
        break;
      case Item::kColumn:
        if (!item.fromPrevious) {
          if (item.column < fields) {
            ok = line.Put(source + fieldSpans_[item.column].start, fieldSpans_[item.column].length);
          }
        } else {
          const char* start;
          int32_t count;
          if (FieldSpan(source, item.column, &start, &count)) ok = line.Put(start, count);
        }
        break;
      case Item::kRowNumber:
        ok = line.PutText(row->name.Text());
        break;
      case Item::kRowState:
        ok = line.PutText(RowStateWord(row->rowState));
        break;
      case Item::kErrorState: {
        char number[16];
        ok = line.Put(number,
                      std::snprintf(number, sizeof number, "%d", row->errorStateOrFieldCount));
        break;
      }
      case Item::kUnknown:
        DebugOut("tSqlQueryEngine: Query (%s) failed, unknown column token (%s) in query\n",
                 session_->statement(), item.text.Text());
        error_ = true;
        *hr = E_FAIL;
        return -1;
    }
    if (!ok || !line.Put(&delimiter, 1)) return -1;
  }
  line.DropLast();
  *hr = S_OK;
  return line.length();
}

int32_t SelectExecutor::FindFieldSpans(const tString& row) {
  static_assert(std::endian::native == std::endian::little, "the byte marks are read low first");
  const char* text = row.Text();
  const int32_t wanted = maxColumn_ + 1;
  if (text == nullptr || wanted <= 0) return 0;
  // Eight bytes at a time: tString's spare bytes past its capacity make
  // the word that holds the terminator whole to read (the bytes after the
  // terminator are read, never used).
  int32_t found = 0;
  int32_t start = 0;
  for (int32_t at = 0;; at += 8) {
    uint64_t word;
    std::memcpy(&word, text + at, sizeof word);
    for (uint64_t marks = DelimiterMarks(word); marks != 0; marks &= marks - 1) {
      const int32_t i = at + std::countr_zero(marks) / 8;
      fieldSpans_[found++] = {start, i - start};
      if (found == wanted || text[i] == '\0') return found;
      start = i + 1;
    }
  }
}

HRESULT SelectExecutor::SelectByRowId() {
  tString rowId;
  tAttribute* row;
  if (HRESULT hr = session_->RowNamedByWhere(select_->where.Text(), &rowId, &row); hr != S_OK) {
    return hr;
  }
  if (row == nullptr) {
    DebugOut(
        "tSqlQueryEngine::handleSelectStatement, select statement using System.RowNumber failed "
        "to find the row, possible problem???\n");
    return E_FAIL;
  }
  if (AddRow(row, nullptr) != S_OK) {
    DebugOut(
        "tSqlQueryEngine::handleSelectStatement, select statement failed to add row to "
        "results!!\n");
    return E_FAIL;
  }
  return S_OK;
}

int32_t RowStateOfLetter(const char* where) {
  const int32_t equals = FindFrom(where, 0, "=");
  if (equals < 0) return -1;
  const char* letter = where + equals + 1;
  while (IsStripSpace(*letter)) ++letter;
  switch (*letter) {
    case 'D':
    case 'd':
      return kRowDeleted;
    case 'E':
    case 'e':
      return kRowEdited;
    case 'U':
    case 'u':
      return kRowUnchanged;
    case 'N':
    case 'n':
      return kRowNew;
    case 'A':
    case 'a':
      return kRowAny;
    default:
      return -1;
  }
}

HRESULT SelectExecutor::SelectByRowState() {
  const int32_t state = RowStateOfLetter(select_->where.Text());
  if (state < 0) return E_FAIL;
  for (auto rows = session_->table().contents->Children(); tAttribute* row = rows.Next();) {
    // "A" selects every row, as it purges every row in a delete.
    if (state != kRowAny && row->rowState != state) continue;
    if (AddRow(row, nullptr) != S_OK) return E_FAIL;
  }
  return S_OK;
}

HRESULT SelectExecutor::SelectByErrorState() {
  const char* where = select_->where.Text();
  const int32_t notEqual = FindFrom(where, 0, "!=");
  const int32_t equals = notEqual >= 0 ? notEqual + 1 : FindFrom(where, 0, "=");
  if (equals < 0) return E_FAIL;
  const int32_t number = platform::ReadInt32(where + equals + 1);
  for (auto rows = session_->table().contents->Children(); tAttribute* row = rows.Next();) {
    if ((row->errorStateOrFieldCount == number) == (notEqual >= 0)) continue;
    if (AddRow(row, nullptr) != S_OK) return E_FAIL;
  }
  return S_OK;
}

HRESULT SelectExecutor::SelectFromArchive() {
  const char* where = select_->where.Text();
  const int32_t equals = FindFrom(where, 0, "=");
  const int32_t open = equals < 0 ? -1 : FindFrom(where, equals, "'");
  if (open < 0) return E_FAIL;
  int32_t close = FindFrom(where, open + 1, "'");
  if (close < 0) close = int32_t(std::strlen(where));
  tString fileName;
  if (SliceStripped(where, open + 1, close, &fileName) != S_OK) return E_OUTOFMEMORY;
  // The archive this engine's own source was loaded from.
  const tConfigSource& source = session_->source();
  const tString& archiveName = source.FileName();
  if (archiveName.IsNullOrEmpty()) return E_FAIL;
  tZBall archive(archiveName.Text(), source.fileEnv(), source.zlibFactory());
  tString extracted;
  if (archive.UnzipMiscToTemp(fileName.Text(), &extracted) != S_OK) return E_FAIL;
  if (session_->results().Append(extracted.Text()) != S_OK) return E_OUTOFMEMORY;
  return S_OK;
}

HRESULT SelectExecutor::SortResults() {
  const tTableNodes& table = session_->table();
  const char* definition = table.definition->value.Text();
  const char* column = select_->orderByColumn.Text();
  int32_t place;
  if (select_->columns.Compare("*") == 0) {
    place = FieldPosition(definition, column);
    if (place < 0) place = tString::FieldCount(definition, '|');
  } else {
    place = -1;
    for (size_t i = 0; i < items_.size() && place < 0; ++i) {
      if (items_[i].text.CompareNoCase(column) == 0) place = int32_t(i);
    }
    if (place < 0) place = int32_t(items_.size());
  }
  // Types beginning with "St" sort as text, all others as numbers; a
  // column the table does not hold sorts as text.
  bool asText = true;
  const int32_t position = FieldPosition(definition, column);
  const char* typeStart;
  int32_t typeLength;
  if (position >= 0 && FieldSpan(table.type->value.Text(), position, &typeStart, &typeLength)) {
    asText = typeLength >= 2 && tString::CompareNoCaseN(typeStart, "St", 2) == 0;
  }
  return session_->results().SortByColumn(place, asText);
}

}  // namespace query
