// Saving: the exact bytes written, round trips of random trees, the
// temporary-file ring, append, and saves that fail halfway.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "platform/AtomicFile.h"
#include "platform/Status.h"
#include "platform/System.h"
#include "support/ChildProcess.h"
#include "support/DebugCapture.h"
#include "support/FaultyFileEnv.h"
#include "templatelib/ConfigFileWriter.h"
#include "templatelib/configfile_support.h"
#include "templatelib/tConfigSource.h"

namespace {

using configtest::Flatten;
using configtest::LoadText;

class ConfigSave : public ::testing::Test {
 protected:
  testsupport::TempDir dir;
  tConfigSource source;
};

TEST_F(ConfigSave, WritesIndentedLinesWithCarriageReturns) {
  ASSERT_NE(LoadText(source, dir,
                     "Root VersionFourPointZero\n{\n  Table Colors\n  {\n    TableDefinition "
                     "Color|PropertyBag\n    TableContents\n    {\n    }\n  }\n  Lone\n}\n"),
            nullptr);
  ASSERT_EQ(source.Save(dir.file("out.config").c_str(), 0, 2, 0), S_OK);
  EXPECT_EQ(testsupport::ReadWholeFile(dir.file("out.config")),
            "Root VersionFourPointZero\r\n"
            "{\r\n"
            "   Table Colors\r\n"
            "   {\r\n"
            "      TableDefinition Color|PropertyBag\r\n"
            "      TableContents \r\n"
            "   }\r\n"
            "   Lone \r\n"
            "}\r\n");
}

TEST_F(ConfigSave, NothingToSaveOrNowhereToSaveFails) {
  EXPECT_EQ(source.Save(dir.file("x.config").c_str(), 0, 2, 0), E_FAIL);
  EXPECT_EQ(source.LoadAttributesFromFile(dir.file("absent.config").c_str()), nullptr);
  EXPECT_EQ(source.Save(nullptr, 0, 2, 0), E_FAIL);
  ASSERT_NE(LoadText(source, dir, "Root V1\n"), nullptr);
  EXPECT_EQ(source.Save("", 0, 2, 0), E_FAIL);
}

// A random tree of the shapes the format must carry: values with blanks,
// braces, bars and quotes, empty values, and deep chains.
tAttribute* RandomTree(std::mt19937& random) {
  const char* const kValues[] = {"",        "plain",      "two words",   "{ brace", "} close",
                                 "a|b||c|", "'q' \"dq\"", "tab\tinside", "x{y}z",   "VersionFour"};
  tAttribute* root = tAttribute::CreateChild(nullptr, "Root", "V1", kRowUnchanged);
  std::vector<tAttribute*> nodes{root};
  const int count = 1 + static_cast<int>(random() % 300);
  for (int i = 0; i < count; ++i) {
    // Bias toward the newest node now and then, so deep chains appear.
    tAttribute* parent = random() % 4 == 0 ? nodes.back() : nodes[random() % nodes.size()];
    std::string name = "N" + std::to_string(i) + (random() % 3 == 0 ? "{" : "");
    if (random() % 5 == 0) name = "x|" + name + "}";
    std::string value = kValues[random() % std::size(kValues)];
    if (random() % 4 == 0) value = "inner   blanks " + value;
    while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.pop_back();
    nodes.push_back(tAttribute::CreateChild(parent, name.c_str(), value.c_str(), kRowUnchanged));
  }
  return root;
}

TEST(ConfigRoundTrip, RandomTreesComeBackUnchanged) {
  testsupport::TempDir dir;
  std::mt19937 random(20261208);
  for (int round = 0; round < 40; ++round) {
    tAttribute* tree = RandomTree(random);
    StringTextSink text;
    ASSERT_TRUE(WriteConfigTree(tree, text));
    const std::string path = dir.file("round.config");
    testsupport::WriteWholeFile(path, text.text);
    tConfigSource source;
    ASSERT_NE(source.LoadAttributesFromFile(path.c_str()), nullptr) << text.text;
    EXPECT_EQ(Flatten(source.Root()), Flatten(tree)) << "round " << round;
    // And a second save writes the same bytes again.
    ASSERT_EQ(source.Save(dir.file("again.config").c_str(), 0, 2, 0), S_OK);
    EXPECT_EQ(testsupport::ReadWholeFile(dir.file("again.config")), text.text);
    delete tree;
  }
}

TEST_F(ConfigSave, TheRingAlternatesPassesOverTakenNamesAndLeavesNothingBehind) {
#ifdef _WIN32
  GTEST_SKIP() << "POSIX only: symbolic links";
#else
  ASSERT_NE(LoadText(source, dir, "Root V1\nA 1\n", "ring.config"), nullptr);
  const std::string temp = platform::TempFolder();
  const std::string names[] = {temp + "ring.tmp0", temp + "ring.tmp1", temp + "ring.tmp2"};
  for (const auto& name : names) std::remove(name.c_str());
  // Names held by someone else: an old file, and a link planted to make the
  // save write through it. Neither is touched; the save takes the next free
  // counter instead.
  testsupport::WriteWholeFile(names[0], "someone else's");
  const std::string victim = dir.file("victim");
  testsupport::WriteWholeFile(victim, "keep me");
  ASSERT_EQ(symlink(victim.c_str(), names[1].c_str()), 0);
  std::vector<int32_t> counters;
  for (int i = 0; i < 3; ++i) {
    counters.push_back(source.TempCounter());
    ASSERT_EQ(source.Save(nullptr, 1, 2, 0), S_OK);
  }
  EXPECT_EQ(counters, (std::vector<int32_t>{0, 1, 0}));
  EXPECT_EQ(testsupport::ReadWholeFile(dir.file("ring.config")), "Root V1\r\n{\r\n   A 1\r\n}\r\n");
  EXPECT_EQ(testsupport::ReadWholeFile(names[0]), "someone else's");
  EXPECT_EQ(testsupport::ReadWholeFile(victim), "keep me");
  struct stat st;
  EXPECT_NE(lstat(names[2].c_str(), &st), 0) << "the ring file was left behind";
  for (const auto& name : names) std::remove(name.c_str());
#endif
}

TEST_F(ConfigSave, ALinkIsSavedThroughAndStaysALink) {
#ifdef _WIN32
  GTEST_SKIP() << "POSIX only: symbolic links";
#else
  ASSERT_NE(LoadText(source, dir, "Root V2\n", "real.config"), nullptr);
  ASSERT_EQ(chmod(dir.file("real.config").c_str(), 0600), 0);
  // An absolute link to a relative one to the real file.
  ASSERT_EQ(symlink("real.config", dir.file("near.config").c_str()), 0);
  ASSERT_EQ(symlink(dir.file("near.config").c_str(), dir.file("far.config").c_str()), 0);
  for (int useTemp : {0, 1}) {
    testsupport::WriteWholeFile(dir.file("real.config"), "Root OLD\r\n");
    ASSERT_EQ(source.Save(dir.file("far.config").c_str(), useTemp, 2, 0), S_OK);
    EXPECT_EQ(testsupport::ReadWholeFile(dir.file("real.config")), "Root V2\r\n") << useTemp;
    struct stat st;
    ASSERT_EQ(lstat(dir.file("far.config").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    ASSERT_EQ(lstat(dir.file("near.config").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    ASSERT_EQ(stat(dir.file("real.config").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
  }
  // A link that loops is refused, and nothing is written.
  ASSERT_EQ(symlink("loop.config", dir.file("loop.config").c_str()), 0);
  EXPECT_EQ(source.Save(dir.file("loop.config").c_str(), 0, 2, 0), E_FAIL);
#endif
}

TEST_F(ConfigSave, AppendAddsToTheExistingFile) {
  ASSERT_NE(LoadText(source, dir, "Root V1\n"), nullptr);
  testsupport::WriteWholeFile(dir.file("log.config"), "before\n");
  ASSERT_EQ(source.Save(dir.file("log.config").c_str(), 0, 2, 1), S_OK);
  EXPECT_EQ(testsupport::ReadWholeFile(dir.file("log.config")), "before\nRoot V1\r\n");
}

// A disk that fails anywhere in a save: the save fails (a plain one says
// why, naming the target), the old file stays as it was, and no temporary
// file is left beside it or in the ring.
TEST_F(ConfigSave, AFailingDiskFailsTheSaveAndLeavesTheOldFileWhole) {
  ASSERT_NE(LoadText(source, dir, "Root V2\n{\nA " + std::string(100000, 'a') + "\n}\n"), nullptr);
  const std::string target = dir.file("keep.config");
  testsupport::FaultyFileEnv disk;
  source.SetFileEnv(disk);
  using platform::SystemFailure;
  struct Case {
    const char* what;
    int useTemp;
    int failWrite;  // 0: none
    int64_t room;   // negative: no limit
    bool refuseRenames;
    SystemFailure reason;
  };
  // The text is two writes (a full block, then the rest); a ring save
  // writes it into its staging file, then copies that over the target.
  const Case cases[] = {
      {"first write", 0, 1, -1, false, SystemFailure::kIoFailure},
      {"last write", 0, 2, -1, false, SystemFailure::kIoFailure},
      {"disk full at once", 0, 0, 0, false, SystemFailure::kDiskFull},
      {"disk full after 5 bytes", 0, 0, 5, false, SystemFailure::kDiskFull},
      {"disk full mid-file", 0, 0, 50000, false, SystemFailure::kDiskFull},
      {"rename refused", 0, 0, -1, true, SystemFailure::kAccessDenied},
      {"staging write", 1, 1, -1, false, SystemFailure::kIoFailure},
      {"copy's first write", 1, 3, -1, false, SystemFailure::kIoFailure},
      {"disk full in staging", 1, 0, 5, false, SystemFailure::kDiskFull},
      {"disk full in the copy", 1, 0, 150000, false, SystemFailure::kDiskFull},
      {"rename refused", 1, 0, -1, true, SystemFailure::kAccessDenied},
  };
  const std::string temp = platform::TempFolder();
  for (const Case& c : cases) {
    testsupport::WriteWholeFile(target, "Root OLD\r\n");
    disk.FailWrite(c.failWrite);
    disk.FillDiskAfter(c.room);
    disk.RefuseRenames(c.refuseRenames);
    testsupport::DebugCapture capture;
    EXPECT_EQ(source.Save(target.c_str(), c.useTemp, 2, 0), E_FAIL) << c.what;
    if (c.useTemp == 0) {
      const int number = platform::SystemErrorNumber(c.reason);
      EXPECT_EQ(capture.messages(),
                std::vector<std::string>{"tConfigSource::Save, " +
                                         platform::SystemError(target, number).message() + "\n"})
          << c.what;
    }
    EXPECT_EQ(testsupport::ReadWholeFile(target), "Root OLD\r\n") << c.what;
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
      names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"keep.config", "test.config"})) << c.what;
    for (const char* left : {"keep.tmp0", "keep.tmp1"}) {
      EXPECT_FALSE(platform::IsReadableFile(temp + left)) << c.what << " " << left;
    }
  }
  disk.FailWrite(0);
  disk.FillDiskAfter(-1);
  disk.RefuseRenames(false);
  ASSERT_EQ(source.Save(target.c_str(), 0, 2, 0), S_OK);
  EXPECT_EQ(testsupport::ReadWholeFile(target).substr(0, 9), "Root V2\r\n");
}

TEST_F(ConfigSave, AReadOnlyFolderRefusesTheSaveAndKeepsTheFile) {
#ifdef _WIN32
  GTEST_SKIP() << "POSIX only: folder permission bits";
#else
  if (geteuid() == 0) GTEST_SKIP() << "the superuser writes into read-only folders";
  ASSERT_NE(LoadText(source, dir, "Root V2\n"), nullptr);
  const std::string target = dir.file("locked.config");
  testsupport::WriteWholeFile(target, "Root OLD\r\n");
  ASSERT_EQ(chmod(dir.path().c_str(), 0555), 0);
  EXPECT_EQ(source.Save(target.c_str(), 0, 2, 0), E_FAIL);
  chmod(dir.path().c_str(), 0755);
  EXPECT_EQ(testsupport::ReadWholeFile(target), "Root OLD\r\n");
#endif
}

TEST_F(ConfigSave, TheTargetKeepsItsPermissions) {
#ifdef _WIN32
  GTEST_SKIP() << "POSIX only: permission bits";
#else
  ASSERT_NE(LoadText(source, dir, "Root V2\n"), nullptr);
  const std::string target = dir.file("mode.config");
  testsupport::WriteWholeFile(target, "Root OLD\r\n");
  ASSERT_EQ(chmod(target.c_str(), 0640), 0);
  ASSERT_EQ(source.Save(target.c_str(), 0, 2, 0), S_OK);
  ASSERT_EQ(source.Save(target.c_str(), 1, 2, 0), S_OK);
  struct stat st;
  ASSERT_EQ(stat(target.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  std::remove((platform::TempFolder() + "mode.tmp0").c_str());
#endif
}

TEST_F(ConfigSave, SavingLeavesTheTreeAndRememberedNameAlone) {
  ASSERT_NE(LoadText(source, dir, "Root V1\nA 1\n", "orig.config"), nullptr);
  source.Root()->Children().Next()->rowState = kRowEdited;
  const auto before = Flatten(source.Root());
  ASSERT_EQ(source.Save(dir.file("elsewhere.config").c_str(), 0, 2, 0), S_OK);
  EXPECT_EQ(Flatten(source.Root()), before);
  EXPECT_EQ(source.Root()->Children().Next()->rowState, kRowEdited);
  EXPECT_EQ(std::string(source.FileName().Text()), dir.file("orig.config"));
}

}  // namespace
