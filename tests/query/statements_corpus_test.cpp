// Replays the statement fuzzer's corpus, so that every test run repeats
// what it found: no fault, and a tree that saves and loads back unchanged.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "../fuzz/StatementScript.h"
#include "support/ChildProcess.h"
#include "templatelib/DebugCapture.h"

namespace {

namespace fs = std::filesystem;

TEST(StatementCorpus, ScriptsLeaveALoadableTree) {
  const fs::path folder = fs::path(SOURCE_DIR) / "fuzz" / "corpus" / "statements";
  ASSERT_TRUE(fs::is_directory(folder)) << folder;
  testsupport::TempDir dir;
  testsupport::DebugCapture quiet;
  int files = 0;
  for (const auto& entry : fs::directory_iterator(folder)) {
    const std::string script = testsupport::ReadWholeFile(entry.path().string());
    ++files;
    EXPECT_TRUE(statementscript::Run(dir.path(), reinterpret_cast<const uint8_t*>(script.data()),
                                     script.size()))
        << entry.path();
  }
  EXPECT_GT(files, 0);
}

// Hostile shapes: deep nesting and very many operands run without recursion.
TEST(StatementCorpus, DeepAndLongClausesRun) {
  testsupport::TempDir dir;
  testsupport::DebugCapture quiet;
  std::string deep = "select Name from Params where " + std::string(100000, '(') + "Rate = 9" +
                     std::string(100000, ')');
  std::string wide = "update Params set Gain = 1 where Rate = 1";
  for (int i = 0; i < 20000; ++i) wide += " || Rate = " + std::to_string(i);
  for (const std::string& script : {deep, wide}) {
    EXPECT_TRUE(statementscript::Run(dir.path(), reinterpret_cast<const uint8_t*>(script.data()),
                                     script.size()));
  }
}

}  // namespace
