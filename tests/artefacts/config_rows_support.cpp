#include "config_rows_support.h"

#include <gtest/gtest.h>

#include "artefacts/ConfigFileBuilder.h"
#include "artefacts/DefaultConfigText.h"
#include "packet/ParmTable.h"
#include "query/tSqlQueryEngine.h"
#include "support/PrivateTempFolder.h"
#include "templatelib/tConfigSource.h"

namespace artefactstest {

[[maybe_unused]] ::testing::Environment* const kPrivateTempFolder =
    ::testing::AddGlobalTestEnvironment(new testsupport::PrivateTempFolder);

bool WriteConfigWithRows(const std::string& path, const std::vector<ParameterRow>& rows) {
  const std::string base = path + ".base.config";
  packet::ParmTable none;
  if (!artefacts::BuildConfigFileAt(base, schema::GetDefaultConfigText(), none, 0)) return false;
  tConfigSource source;
  if (source.LoadAttributesFromFile(base.c_str()) == nullptr) return false;
  tSqlQueryEngine engine(&source);
  for (const ParameterRow& row : rows) {
    const std::string statement = "update ParameterDefaults set * = PS1|" + row.parameter + "|" +
                                  row.paramType + "|Group|SubGroup|" + row.parameter + "|" +
                                  row.parameter + "||||" + row.dataSourceType + "||" +
                                  row.updateRate + " where 0";
    if (engine.Query(statement.c_str(), nullptr, '|', nullptr) != S_OK) return false;
  }
  return source.CommitAllTables() == S_OK && source.Save(path.c_str(), 0, 2, 0) == S_OK;
}

}  // namespace artefactstest
