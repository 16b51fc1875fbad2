// Configuration archives: what is written, what outside tools make of it,
// what they write that we must read, extraction into the temporary folder,
// and archives that lie or cannot be opened.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/AtomicFile.h"
#include "platform/System.h"
#include "support/ChildProcess.h"
#include "support/DebugCapture.h"
#include "support/FaultyFileEnv.h"
#include "support/OutsideTools.h"
#include "templatelib/ZipComponent.h"
#include "templatelib/configfile_support.h"
#include "templatelib/tConfigSource.h"
#include "templatelib/tZBall.h"

namespace {

using configtest::Flatten;
using configtest::LoadText;

// Runs a shell command line; its exit status.
int Shell(const std::string& command) { return std::system(command.c_str()); }

// The names in the test's folder, sorted.
std::vector<std::string> FolderNames(const testsupport::TempDir& dir) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

std::string Python(const std::string& script, const std::string& outFile) {
  return "python3 -c '" + script + "' > " + outFile + " 2>&1";
}

class Archive : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(LoadText(source, dir,
                       "Root V1\n{\nTable T\n{\nTableDefinition A|B\nTableContents\n{"
                       "\nr1 one two|x\n}\n}\n}\n"),
              nullptr);
  }
  std::string Expected() const {
    return "Root V1\r\n{\r\n   Table T\r\n   {\r\n      TableDefinition A|B\r\n      TableContents "
           "\r\n      {\r\n         r1 one two|x\r\n      }\r\n   }\r\n}\r\n";
  }

  testsupport::TempDir dir;
  tConfigSource source;
};

TEST_F(Archive, ANewArchiveHoldsTheFoldersAndTheConfigurationAndPassesOutsideTools) {
  SKIP_WITHOUT_OUTSIDE_TOOLS();
  const std::string zip = dir.file("new.zip");
  ASSERT_EQ(source.Save(zip.c_str(), 0, 2, 0), S_OK);
  EXPECT_EQ(Shell("unzip -tq " + zip + " > /dev/null"), 0);
  const std::string listing = dir.file("listing.txt");
  ASSERT_EQ(Shell(Python("import zipfile,sys; z=zipfile.ZipFile(\"" + zip +
                             "\"); print(\",\".join(z.namelist())); "
                             "sys.stdout.write(z.read(\"ZARN/pfConfig\").decode())",
                         listing)),
            0);
  EXPECT_EQ(testsupport::ReadWholeFile(listing),
            "ZARN/,ZARN/COM/,ZARN/MISC/,ZARN/USER/,ZARN/pfConfig\n" + Expected());

  tConfigSource again;
  ASSERT_NE(again.LoadAttributesFromFile(zip.c_str()), nullptr);
  EXPECT_EQ(Flatten(again.Root()), Flatten(source.Root()));
}

TEST_F(Archive, ArchivesWrittenByPythonLoad) {
  SKIP_WITHOUT_OUTSIDE_TOOLS();
  const std::string zip = dir.file("py.zip");
  const std::string text = "Root V9\\r\\n{\\r\\n   Deflated value with blanks\\r\\n}\\r\\n";
  ASSERT_EQ(Shell(Python("import zipfile; z=zipfile.ZipFile(\"" + zip +
                             "\",\"w\",zipfile.ZIP_DEFLATED); z.writestr(\"ZARN/USER/u\",\"u\"); "
                             "z.writestr(\"ZARN/pfConfig\",\"" +
                             text + "\"); z.close()",
                         dir.file("py.log"))),
            0);
  ASSERT_NE(source.LoadAttributesFromFile(zip.c_str()), nullptr);
  const std::vector<configtest::FlatNode> expected = {{0, "Root", "V9"},
                                                      {1, "Deflated", "value with blanks"}};
  EXPECT_EQ(Flatten(source.Root()), expected);
  // ".bak" copies of archives are read as archives.
  ASSERT_EQ(Shell("cp " + zip + " " + zip + ".bak"), 0);
  ASSERT_NE(source.LoadAttributesFromFile((zip + ".bak").c_str()), nullptr);
}

TEST_F(Archive, SavingIntoAnExistingArchiveKeepsItsOtherEntries) {
  SKIP_WITHOUT_OUTSIDE_TOOLS();
  const std::string zip = dir.file("keep.zip");
  ASSERT_EQ(
      Shell(Python("import zipfile; z=zipfile.ZipFile(\"" + zip +
                       "\",\"w\",zipfile.ZIP_DEFLATED); z.writestr(\"ZARN/MISC/notes.txt\","
                       "\"misc \" * 500); z.writestr(\"ZARN/pfConfig\",\"Root OLD\\r\\n\"); "
                       "z.writestr(\"other/stored.bin\",bytes(range(256)),zipfile.ZIP_STORED);"
                       " z.close()",
                   dir.file("py.log"))),
      0);
  const std::string rawEntries =
      "import zipfile; z=zipfile.ZipFile(\"" + zip +
      "\"); "
      "print([(i.filename,i.compress_type,i.CRC,i.compress_size) for i in z.infolist() "
      "if i.filename != \"ZARN/pfConfig\"])";
  ASSERT_EQ(Shell(Python(rawEntries, dir.file("before.txt"))), 0);
  for (int useTemp : {1, 0}) {
    ASSERT_EQ(source.Save(zip.c_str(), useTemp, 2, 0), S_OK);
    ASSERT_EQ(Shell(Python(rawEntries, dir.file("after.txt"))), 0);
    EXPECT_EQ(testsupport::ReadWholeFile(dir.file("after.txt")),
              testsupport::ReadWholeFile(dir.file("before.txt")));
    EXPECT_EQ(Shell("unzip -tq " + zip + " > /dev/null"), 0);
    tConfigSource again;
    ASSERT_NE(again.LoadAttributesFromFile(zip.c_str()), nullptr);
    EXPECT_EQ(Flatten(again.Root()), Flatten(source.Root()));
  }
  std::remove((platform::TempFolder() + "keep.tmp0.zip").c_str());
}

TEST_F(Archive, AFailedArchiveSaveLeavesTheOldArchiveWholeAndNoTemporary) {
  const std::string zip = dir.file("old.zip");
  ASSERT_EQ(source.Save(zip.c_str(), 0, 2, 0), S_OK);
  const std::string before = testsupport::ReadWholeFile(zip);
  source.Root()->Children().Next()->value.Assign("Changed");
  testsupport::FaultyFileEnv disk;
  source.SetFileEnv(disk);
  struct Case {
    const char* what;
    int failWrite;  // 0: none
    int64_t room;   // negative: no limit
    bool refuseRenames;
  };
  // A save first copies the old archive into its staging file (one write);
  // only then does the component write the new archive over that copy.
  const Case cases[] = {
      {"the staging copy fills the disk", 0, 20, false},
      {"the component's write fails once", 2, -1, false},
      {"the component's archive fills the disk", 0, static_cast<int64_t>(before.size()) + 20,
       false},
      {"the component's rename is refused", 0, -1, true},
  };
  const std::string temp = platform::TempFolder();
  for (const Case& c : cases) {
    for (int useTemp : {0, 1}) {
      disk.FailWrite(c.failWrite);
      disk.FillDiskAfter(c.room);
      disk.RefuseRenames(c.refuseRenames);
      EXPECT_EQ(source.Save(zip.c_str(), useTemp, 2, 0), E_FAIL) << c.what << useTemp;
      EXPECT_EQ(testsupport::ReadWholeFile(zip), before) << c.what << useTemp;
      EXPECT_EQ(FolderNames(dir), (std::vector<std::string>{"old.zip", "test.config"}))
          << c.what << useTemp;
      for (const char* left : {"old.tmp0.zip", "old.tmp1.zip"}) {
        EXPECT_FALSE(platform::IsReadableFile(temp + left)) << left;
      }
    }
  }
}

TEST_F(Archive, ANewArchiveThatFailsLeavesNoFileAndNoStagingCopy) {
  const std::string zip = dir.file("fresh.zip");
  testsupport::FaultyFileEnv disk;
  source.SetFileEnv(disk);
  for (int useTemp : {0, 1}) {
    disk.FillDiskAfter(20);
    EXPECT_EQ(source.Save(zip.c_str(), useTemp, 2, 0), E_FAIL);
    EXPECT_FALSE(platform::IsReadableFile(zip)) << useTemp;
  }
  const std::string temp = platform::TempFolder();
  for (const char* left : {"fresh.tmp0.zip", "fresh.tmp1.zip"}) {
    EXPECT_FALSE(platform::IsReadableFile(temp + left)) << left;
  }
  // Only the test's own files are in the folder: no hidden sibling.
  EXPECT_EQ(FolderNames(dir), std::vector<std::string>{"test.config"});
}

TEST_F(Archive, AnArchiveLoadedUnderABakNameIsSavedAsAnArchive) {
  SKIP_WITHOUT_OUTSIDE_TOOLS();
  const std::string zip = dir.file("s.zip");
  ASSERT_EQ(Shell(Python("import zipfile; z=zipfile.ZipFile(\"" + zip +
                             "\",\"w\"); z.writestr(\"ZARN/MISC/m.txt\",\"misc\"); "
                             "z.writestr(\"ZARN/pfConfig\",\"Root OLD\\r\\nA 1\\r\\n\"); z.close()",
                         dir.file("py.log"))),
            0);
  for (const std::string& name : {zip + ".bak", zip + " "}) {
    ASSERT_EQ(Shell("cp '" + zip + "' '" + name + "'"), 0);
    tConfigSource loaded;
    ASSERT_NE(loaded.LoadAttributesFromFile(name.c_str()), nullptr) << name;
    loaded.Root()->value.Assign("NEW");
    ASSERT_EQ(loaded.Save(nullptr, 1, 2, 0), S_OK) << name;
    const std::string listing = dir.file("listing.txt");
    ASSERT_EQ(Shell(Python("import zipfile; z=zipfile.ZipFile(\"" + name +
                               "\"); print(sorted(z.namelist()), z.read(\"ZARN/MISC/m.txt\"))",
                           listing)),
              0)
        << testsupport::ReadWholeFile(listing);
    EXPECT_EQ(testsupport::ReadWholeFile(listing),
              "['ZARN/MISC/m.txt', 'ZARN/pfConfig'] b'misc'\n");
    tConfigSource again;
    ASSERT_NE(again.LoadAttributesFromFile(name.c_str()), nullptr) << name;
    EXPECT_EQ(Flatten(again.Root()), Flatten(loaded.Root()));
  }
}

TEST_F(Archive, LoadFailuresReportTheStepThatFailed) {
  SKIP_WITHOUT_OUTSIDE_TOOLS();
  testsupport::WriteWholeFile(dir.file("notzip.zip"), "Root V1\n");
  ASSERT_EQ(Shell(Python("import zipfile; z=zipfile.ZipFile(\"" + dir.file("noconfig.zip") +
                             "\",\"w\"); z.writestr(\"ZARN/other\",\"x\"); z.close()",
                         dir.file("py.log"))),
            0);
  ASSERT_EQ(
      Shell(Python("import zipfile; z=zipfile.ZipFile(\"" + dir.file("noroot.zip") +
                       "\",\"w\"); z.writestr(\"ZARN/pfConfig\",\"Table X\\r\\n\"); z.close()",
                   dir.file("py.log"))),
      0);
  ASSERT_EQ(Shell(Python("import zipfile; z=zipfile.ZipFile(\"" + dir.file("empty.zip") +
                             "\",\"w\"); z.writestr(\"ZARN/pfConfig\",\"\"); z.close()",
                         dir.file("py.log"))),
            0);
  struct Case {
    const char* file;
    const char* message;  // null: none
  };
  const Case cases[] = {
      {"absent.zip",
       "tConfigSource::LoadAttributesFromFile, failed in ZarnZLibInterface OpenArchive\n"},
      {"notzip.zip",
       "tConfigSource::LoadAttributesFromFile, failed in ZarnZLibInterface OpenArchive\n"},
      {"noconfig.zip",
       "tConfigSource::LoadAttributesFromFile, failed in ZarnZLibInterface OpenFile\n"},
      {"empty.zip",
       "tConfigSource::LoadAttributesFromFile, failed in ZarnZLibInterface Zgets. "
       "Illegal config file?\n"},
      {"noroot.zip",
       "tConfigSource::LoadAttributesFromFile, line 1 is not a root line (\"Root "
       "NAME\"): \"Table X  \". Illegal config file?\n"},
  };
  for (const Case& c : cases) {
    testsupport::DebugCapture capture;
    EXPECT_EQ(source.LoadAttributesFromFile(dir.file(c.file).c_str()), nullptr) << c.file;
    std::vector<std::string> expected;
    if (c.message != nullptr) expected.push_back(c.message);
    EXPECT_EQ(capture.messages(), expected) << c.file;
  }
}

TEST_F(Archive, ALoadReportsItsTimings) {
  const std::string zip = dir.file("timed.zip");
  ASSERT_EQ(source.Save(zip.c_str(), 0, 2, 0), S_OK);
  testsupport::DebugCapture capture;
  ASSERT_NE(source.LoadAttributesFromFile(zip.c_str()), nullptr);
  const auto messages = capture.messages();
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0].rfind("ZarnTemplateLib::CreateAttributeBuffer() - Open/close took ", 0),
            0u);
  EXPECT_NE(messages[1].find("seconds with a buffer size of " + std::to_string(Expected().size()) +
                             " bytes\n"),
            std::string::npos);
}

// A component that stands in for the real one where a test needs an
// archive to misbehave; everything else goes to the real component.
class ScriptedZlib final : public ZlibObj {
 public:
  ScriptedZlib(int64_t declaredSize, std::string content)
      : declared_(declaredSize), content_(std::move(content)) {}
  void Release() override { delete this; }
  int32_t OpenArchive(const wchar_t*, int32_t, int32_t) override { return 0; }
  int32_t CloseArchive(const wchar_t*) override {
    ++closes;
    return 0;
  }
  int32_t OpenFile(const wchar_t*, int32_t) override {
    position_ = 0;
    return 0;
  }
  int32_t CloseFile() override { return 0; }
  int32_t ReadBlock(char* buffer, int32_t size, int32_t* count) override {
    int32_t n = static_cast<int32_t>(
        std::min<size_t>(static_cast<size_t>(size), content_.size() - position_));
    content_.copy(buffer, static_cast<size_t>(n), position_);
    position_ += static_cast<size_t>(n);
    *count = n;
    return 0;
  }
  int32_t Zgets(std::wstring* line, int32_t, int32_t) override {
    *line = WidenBytes(content_.substr(0, content_.find('\n') + 1));
    return 0;
  }
  int32_t AddFolder(const wchar_t*) override { return 1; }
  int32_t UnzipFile(const wchar_t*, const wchar_t*, int32_t) override { return 1; }
  int32_t WriteText(const char*, int32_t*) override { return 1; }
  int32_t EntrySize(int64_t* size) override {
    *size = declared_;
    return 0;
  }
  static inline int closes = 0;

 private:
  ~ScriptedZlib() override = default;
  int64_t declared_;
  std::string content_;
  size_t position_ = 0;
};

TEST_F(Archive, EntriesThatLieAboutTheirSizeAreRefused) {
  const std::string text = "Root V1\r\nA 1\r\n";
  struct Case {
    int64_t declared;
    bool loads;
  };
  const Case cases[] = {
      {static_cast<int64_t>(text.size()), true},
      {static_cast<int64_t>(text.size()) - 3, false},  // more bytes than declared
      {static_cast<int64_t>(text.size()) + 3, false},  // fewer bytes than declared
      {kMaxArchiveConfigBytes + 1, false},             // absurd
      {int64_t{1} << 40, false},
      {-1, false},
  };
  testsupport::WriteWholeFile(dir.file("any.zip"), "");
  for (const Case& c : cases) {
    source.SetZlibFactory([&](std::string_view, platform::FileEnv&) {
      return ZlibObjPtr(new ScriptedZlib(c.declared, text));
    });
    ScriptedZlib::closes = 0;
    testsupport::DebugCapture capture;
    EXPECT_EQ(source.LoadAttributesFromFile(dir.file("any.zip").c_str()) != nullptr, c.loads)
        << c.declared;
    EXPECT_EQ(ScriptedZlib::closes, 1) << "the archive is closed on every way out";
  }
}

TEST_F(Archive, AComponentThatCannotBeCreatedFailsEveryArchiveOperation) {
  const ZlibFactory none = [](std::string_view, platform::FileEnv&) { return ZlibObjPtr(); };
  source.SetZlibFactory(none);
  testsupport::DebugCapture capture;
  testsupport::WriteWholeFile(dir.file("x.zip"), "");
  EXPECT_EQ(source.LoadAttributesFromFile(dir.file("x.zip").c_str()), nullptr);
  EXPECT_EQ(capture.messages(),
            std::vector<std::string>{"tConfigSource::LoadAttributesFromFile, failed to create "
                                     "ZarnZLibInterface.ZlibObj\n"});
  ASSERT_NE(LoadText(source, dir, "Root V1\n"), nullptr);
  EXPECT_EQ(source.Save(dir.file("y.zip").c_str(), 0, 2, 0), E_FAIL);
  tZBall ball(dir.file("z.zip").c_str(), platform::FileEnv::Default(), none);
  EXPECT_FALSE(ball.HasComponent());
  EXPECT_EQ(ball.CreateNewArchive(), E_FAIL);
  EXPECT_EQ(ball.WriteConfiguration(source.Root()), E_FAIL);
  tString out;
  EXPECT_EQ(ball.UnzipMiscToTemp("a.txt", &out), E_FAIL);
}

TEST(ZlibFactory, OnlyTheKnownProgIdCreatesTheComponent) {
  EXPECT_TRUE(CreateZlibObject("ZarnZLibInterface.ZlibObj"));
  EXPECT_FALSE(CreateZlibObject("Other.Object"));
}

class MiscExtraction : public ::testing::Test {
 protected:
  void SetUp() override {
    SKIP_WITHOUT_OUTSIDE_TOOLS();
    ASSERT_EQ(Shell(Python("import zipfile; z=zipfile.ZipFile(\"" + zip +
                               "\",\"w\",zipfile.ZIP_DEFLATED); "
                               "z.writestr(\"ZARN/MISC/plot.cfg\",\"plot data\"); "
                               "z.writestr(\"ZARN/MISC/sub/deep.cfg\",\"deep data\"); "
                               "z.writestr(\"ZARN/MISC/..\",\"dots\"); z.close()",
                           dir.file("py.log"))),
              0);
  }
  void TearDown() override {
    for (const char* name : {"plot.cfg", "deep.cfg"}) std::remove((temp + name).c_str());
  }

  testsupport::TempDir dir;
  const std::string zip = dir.file("misc.zip");
  const std::string temp = platform::TempFolder();
};

TEST_F(MiscExtraction, AFileIsWrittenToTheTemporaryFolderUnderItsLastName) {
  tZBall ball(zip.c_str());
  tString out;
  ASSERT_EQ(ball.UnzipMiscToTemp("plot.cfg", &out), S_OK);
  EXPECT_EQ(std::string(out.Text()), temp + "plot.cfg");
  EXPECT_EQ(testsupport::ReadWholeFile(temp + "plot.cfg"), "plot data");
  // Again: the earlier copy is replaced.
  ASSERT_EQ(ball.UnzipMiscToTemp("plot.cfg", &out), S_OK);
  ASSERT_EQ(ball.UnzipMiscToTemp("sub/deep.cfg", &out), S_OK);
  EXPECT_EQ(std::string(out.Text()), temp + "deep.cfg");
  EXPECT_EQ(testsupport::ReadWholeFile(temp + "deep.cfg"), "deep data");
}

TEST_F(MiscExtraction, MissingEntriesAndUnsafeNamesAreRefusedWithTheMessage) {
  tZBall ball(zip.c_str());
  for (const char* name : {"absent.cfg", "..", "sub/", "a\\..", "."}) {
    testsupport::DebugCapture capture;
    tString out;
    out.Assign("unchanged");
    EXPECT_EQ(ball.UnzipMiscToTemp(name, &out), E_FAIL) << name;
    EXPECT_STREQ(out.Text(), "unchanged");
    ASSERT_EQ(capture.messages().size(), 1u) << name;
    EXPECT_EQ(capture.messages()[0].rfind("tZBall::UnzipMiscToTemp - Error unzipping file "
                                          "ZARN/MISC/" +
                                              std::string(name) + " from archive " + zip +
                                              " to location ",
                                          0),
              0u)
        << capture.messages()[0];
  }
  tZBall missing(dir.file("missing.zip").c_str());
  tString out;
  EXPECT_EQ(missing.UnzipMiscToTemp("plot.cfg", &out), E_FAIL);
}

TEST_F(MiscExtraction, ALinkPlantedAtTheDestinationIsNotFollowed) {
#ifdef _WIN32
  GTEST_SKIP() << "POSIX only: symbolic links";
#else
  const std::string victim = dir.file("victim.txt");
  testsupport::WriteWholeFile(victim, "precious");
  ASSERT_EQ(symlink(victim.c_str(), (temp + "plot.cfg").c_str()), 0);
  tZBall ball(zip.c_str());
  tString out;
  ASSERT_EQ(ball.UnzipMiscToTemp("plot.cfg", &out), S_OK);
  EXPECT_EQ(testsupport::ReadWholeFile(victim), "precious");
  struct stat st;
  ASSERT_EQ(lstat((temp + "plot.cfg").c_str(), &st), 0);
  EXPECT_TRUE(S_ISREG(st.st_mode));
#endif
}

}  // namespace
