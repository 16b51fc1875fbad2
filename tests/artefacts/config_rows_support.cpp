#include "config_rows_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

#include "artefacts/ConfigFileBuilder.h"
#include "artefacts/schema/DefaultConfigText.h"
#include "packet/ParmTable.h"
#include "query/tSqlQueryEngine.h"
#include "support/ChildProcess.h"
#include "templatelib/tConfigSource.h"

namespace artefactstest {
namespace {

// A save through the temporary ring writes "<temp folder>zarnYEB.tmp0" and
// copies it over the target: a fixed name, which test processes running at
// the same time would share. Each test program gets a temp folder of its own.
class PrivateTempFolder : public ::testing::Environment {
 public:
  void SetUp() override {
    if (const char* old = std::getenv("TMPDIR")) saved_ = old;
    folder_ = std::make_unique<testsupport::TempDir>();
    setenv("TMPDIR", folder_->path().c_str(), 1);
  }
  void TearDown() override {
    if (saved_.empty()) {
      unsetenv("TMPDIR");
    } else {
      setenv("TMPDIR", saved_.c_str(), 1);
    }
    folder_.reset();
  }

 private:
  std::string saved_;
  std::unique_ptr<testsupport::TempDir> folder_;
};

[[maybe_unused]] ::testing::Environment* const kPrivateTempFolder =
    ::testing::AddGlobalTestEnvironment(new PrivateTempFolder);

}  // namespace

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
