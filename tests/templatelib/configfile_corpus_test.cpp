// Replays the inputs the fuzzers found through the loaders, so that every
// test run repeats them: nothing may fault, and what loads must save and
// load again to the same tree.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/DebugOutput.h"
#include "support/ChildProcess.h"
#include "templatelib/DebugCapture.h"
#include "templatelib/configfile_support.h"
#include "templatelib/tConfigSource.h"

namespace {

namespace fs = std::filesystem;

void Replay(const char* corpus, const char* extension) {
  const fs::path folder = fs::path(SOURCE_DIR) / "fuzz" / "corpus" / corpus;
  ASSERT_TRUE(fs::is_directory(folder)) << folder;
  testsupport::TempDir dir;
  testsupport::DebugCapture quiet;
  int files = 0;
  for (const auto& entry : fs::directory_iterator(folder)) {
    const std::string input = dir.file(std::string("input") + extension);
    fs::copy_file(entry.path(), input, fs::copy_options::overwrite_existing);
    tConfigSource source;
    ++files;
    if (source.LoadAttributesFromFile(input.c_str()) == nullptr) continue;
    const std::string saved = dir.file(std::string("saved") + extension);
    ASSERT_EQ(source.Save(saved.c_str(), 0, 2, 0), S_OK) << entry.path();
    tConfigSource again;
    ASSERT_NE(again.LoadAttributesFromFile(saved.c_str()), nullptr) << entry.path();
    EXPECT_EQ(configtest::Flatten(again.Root()), configtest::Flatten(source.Root()))
        << entry.path();
  }
  EXPECT_GT(files, 0);
}

TEST(FuzzCorpus, PlainTextInputsLoadOrFailCleanly) { Replay("configtext", ".config"); }
TEST(FuzzCorpus, ArchiveInputsLoadOrFailCleanly) { Replay("configarchive", ".zip"); }

}  // namespace
