// tSqlQueryEngine: the front. Query reads the statement into a value and
// hands it to the executor of its kind.
#include <variant>

#include "query/Statement.h"
#include "query/StatementExecutors.h"
#include "query/tSqlQueryEngine.h"
#include "templatelib/DebugOut.h"

struct tSqlQueryEngine::Parsed {
  query::Statement statement;
  query::ParseFailure failure;
};

tSqlQueryEngine::tSqlQueryEngine(tConfigSource* source, RowIdSource rowIds)
    : parsed_(std::make_unique<Parsed>()),
      session_(std::make_unique<query::TableSession>(
          source != nullptr ? source : tConfigSource::DefaultSource(), rowIds)),
      select_(std::make_unique<query::SelectExecutor>()) {}

tSqlQueryEngine::~tSqlQueryEngine() = default;

HRESULT tSqlQueryEngine::attachConfigSource(tConfigSource* source) {
  session_->Attach(source != nullptr ? source : tConfigSource::DefaultSource());
  return S_OK;
}

HRESULT tSqlQueryEngine::Query(const char* statement, tQueryString* results, char delimiter,
                               tQueryOrderingCallback ordering) {
  if (statement == nullptr) return E_POINTER;
  if (*statement == '\0') return E_INVALIDARG;
  if (!session_->BindRoot()) {
    DebugOut("tSqlQueryEngine: Query (%s) failed, database not loaded properly\n", statement);
    return E_FAIL;
  }
  tQueryString* output = results != nullptr ? results : &ownResults_;
  output->Clear();
  session_->Begin(statement, output, delimiter, ordering);
  query::ParseFailure& failure = parsed_->failure;
  if (!query::ParseStatement(statement, &parsed_->statement, &failure)) {
    if (!failure.report.empty()) DebugOut("%s", failure.report.c_str());
    return E_FAIL;
  }
  query::TableSession& session = *session_;
  return std::visit(
      [&](const auto& value) -> HRESULT {
        using Kind = std::decay_t<decltype(value)>;
        if constexpr (std::is_same_v<Kind, query::SelectStatement>) {
          return select_->Run(session, value);
        } else if constexpr (std::is_same_v<Kind, query::UpdateStatement>) {
          return query::RunUpdate(session, value);
        } else if constexpr (std::is_same_v<Kind, query::DeleteStatement>) {
          return query::RunDelete(session, value);
        } else if constexpr (std::is_same_v<Kind, query::CreateStatement>) {
          return query::RunCreate(session, value);
        } else if constexpr (std::is_same_v<Kind, query::DropStatement>) {
          return query::RunDrop(session, value);
        } else if constexpr (std::is_same_v<Kind, query::SortStatement>) {
          return query::RunSort(session, value);
        } else {
          return S_OK;  // a comment
        }
      },
      parsed_->statement);
}
