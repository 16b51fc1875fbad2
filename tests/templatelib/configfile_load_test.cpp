// Loading the configuration text format: the first line, node lines,
// blocks, truncated and hostile files, and the choice of plain or archive.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/ChildProcess.h"
#include "support/DebugCapture.h"
#include "templatelib/ConfigPath.h"
#include "templatelib/configfile_support.h"
#include "templatelib/tConfigSource.h"

namespace {

using configtest::FlatNode;
using configtest::Flatten;
using configtest::LoadText;

class ConfigLoad : public ::testing::Test {
 protected:
  testsupport::TempDir dir;
  tConfigSource source;
};

TEST_F(ConfigLoad, FirstLineMustBeRootWithAVersionWord) {
  struct Case {
    const char* text;
    bool loads;
    const char* rootName;
    const char* version;
  };
  const Case cases[] = {
      {"Root VersionFourPointZero\n", true, "Root", "VersionFourPointZero"},
      {"rOOT V5 trailing words ignored\r\n", true, "rOOT", "V5"},
      {"  Root\tV1  \n", true, "Root", "V1"},
      {"Root\n", false, nullptr, nullptr},
      {"Rooted V1\n", false, nullptr, nullptr},
      {"Table Colors\n", false, nullptr, nullptr},
      {"\nRoot V1\n", false, nullptr, nullptr},
  };
  for (const Case& c : cases) {
    tAttribute* root = LoadText(source, dir, c.text);
    EXPECT_EQ(root != nullptr, c.loads) << c.text;
    EXPECT_EQ(source.Root(), root);
    if (root != nullptr) {
      EXPECT_STREQ(root->name.Text(), c.rootName);
      EXPECT_STREQ(root->value.Text(), c.version);
    }
  }
}

TEST_F(ConfigLoad, AnEmptyFileFailsWithTheReadMessage) {
  testsupport::DebugCapture capture;
  EXPECT_EQ(LoadText(source, dir, ""), nullptr);
  EXPECT_EQ(capture.messages(),
            std::vector<std::string>{"tConfigSource::LoadAttributesFromFile, failed in config file "
                                     "FGets.. Illegal config file?\n"});
}

TEST_F(ConfigLoad, MissingFileOrEmptyPathFailsSilently) {
  testsupport::DebugCapture capture;
  EXPECT_EQ(source.LoadAttributesFromFile(dir.file("absent.config").c_str()), nullptr);
  EXPECT_EQ(source.LoadAttributesFromFile(""), nullptr);
  EXPECT_EQ(source.LoadAttributesFromFile(nullptr), nullptr);
  EXPECT_TRUE(capture.messages().empty());
}

TEST_F(ConfigLoad, NodeLinesSplitIntoNameAndWholeValue) {
  const std::string text =
      "Root V1\n"
      "{\n"
      "   Plain value\n"
      "   Blanks   a value  with  inner blanks   \r\n"
      "   OnlyName\n"
      "   OnlyNameBlanks   \t \r\n"
      "   Marks a|b||c {x} \"q\" 'r'\n"
      "\n"
      "   \t  \r\n"
      "   Last\tTabbed\tvalue\n"
      "}\n";
  ASSERT_NE(LoadText(source, dir, text), nullptr);
  const std::vector<FlatNode> expected = {
      {0, "Root", "V1"},
      {1, "Plain", "value"},
      {1, "Blanks", "a value  with  inner blanks"},
      {1, "OnlyName", ""},
      {1, "OnlyNameBlanks", ""},
      {1, "Marks", "a|b||c {x} \"q\" 'r'"},
      {1, "Last", "Tabbed\tvalue"},
  };
  EXPECT_EQ(Flatten(source.Root()), expected);
  for (auto it = source.Root()->Children(); tAttribute* node = it.Next();) {
    EXPECT_EQ(node->rowState, kRowUnchanged);
    EXPECT_EQ(node->parent, source.Root());
  }
}

TEST_F(ConfigLoad, BracesWithTrailingTextActAsBareBraces) {
  const std::string text =
      "Root V1\n"
      "{ ignored\n"
      "Table T\n"
      "{garbage here\n"
      "TableDefinition A|B\n"
      "}} more\n"
      "Table U\n"
      "}\n";
  ASSERT_NE(LoadText(source, dir, text), nullptr);
  const std::vector<FlatNode> expected = {
      {0, "Root", "V1"}, {1, "Table", "T"}, {2, "TableDefinition", "A|B"}, {1, "Table", "U"}};
  EXPECT_EQ(Flatten(source.Root()), expected);
}

TEST_F(ConfigLoad, ChildrenInABlockOrAtTheOutermostLevelLoadAlike) {
  ASSERT_NE(LoadText(source, dir, "Root V1\n{\nA 1\nB 2\n{\nC 3\n}\n}\n"), nullptr);
  const std::vector<FlatNode> blocked = Flatten(source.Root());
  ASSERT_NE(LoadText(source, dir, "Root V1\nA 1\nB 2\n{\nC 3\n}\n"), nullptr);
  EXPECT_EQ(Flatten(source.Root()), blocked);
  const std::vector<FlatNode> expected = {
      {0, "Root", "V1"}, {1, "A", "1"}, {1, "B", "2"}, {2, "C", "3"}};
  EXPECT_EQ(blocked, expected);
}

TEST_F(ConfigLoad, ABlockBeforeAnyNodeAttachesToTheEnclosingParent) {
  ASSERT_NE(LoadText(source, dir, "Root V1\n{\nA 1\n{\n{\nB 2\n}\nC 3\n}\n}\n"), nullptr);
  const std::vector<FlatNode> expected = {
      {0, "Root", "V1"}, {1, "A", "1"}, {2, "B", "2"}, {2, "C", "3"}};
  EXPECT_EQ(Flatten(source.Root()), expected);
}

TEST_F(ConfigLoad, TheOutermostClosingBraceEndsTheReading) {
  ASSERT_NE(LoadText(source, dir, "Root V1\n{\nA 1\n}\n}\nB 2\n{\n"), nullptr);
  const std::vector<FlatNode> expected = {{0, "Root", "V1"}, {1, "A", "1"}};
  EXPECT_EQ(Flatten(source.Root()), expected);
}

// A file cut off inside a block must never pass for a whole configuration.
TEST_F(ConfigLoad, AFileEndingInsideAnOpenBlockFailsNamingTheLine) {
  testsupport::DebugCapture capture;
  const std::string whole = "Root V1\n{\nTable T\n{\nTableDefinition A\n}\nTable U\n}\n";
  ASSERT_NE(LoadText(source, dir, whole), nullptr);
  // Every cut that drops a closing brace fails.
  for (const char* cut : {"Root V1\n{\nTable T\n{\nTableDefinition A\n",
                          "Root V1\n{\nTable T\n{\nTableDefinition A\n}\nTable U\n",
                          "Root V1\n{\nTable T\n{\nTableDef"}) {
    EXPECT_EQ(LoadText(source, dir, cut), nullptr) << cut;
    EXPECT_EQ(source.Root(), nullptr);
  }
  const auto messages = capture.messages();
  ASSERT_EQ(messages.size(), 3u);
  EXPECT_EQ(messages[0],
            "tConfigSource::LoadAttributesFromFile, config file ended inside an open block at "
            "line 5. Truncated config file?\n");
}

TEST_F(ConfigLoad, NestingIsBoundedAt256Levels) {
  testsupport::DebugCapture capture;
  // 256 levels load, save and load again; one more is refused, naming the
  // line of the brace that went too deep. A million braces stop there too.
  for (int levels : {256, 257, 1'000'000}) {
    std::string text = "Root V1\n";
    text.reserve(text.size() + 2 * static_cast<size_t>(levels) + 16);
    for (int i = 0; i < levels; ++i) text += "{\n";
    text += "Leaf x\n";
    for (int i = 0; i < levels; ++i) text += "}\n";
    if (levels == 256) {
      ASSERT_NE(LoadText(source, dir, text), nullptr);
      ASSERT_EQ(source.Save(dir.file("deep.config").c_str(), 0, 2, 0), S_OK);
      tConfigSource again;
      ASSERT_NE(again.LoadAttributesFromFile(dir.file("deep.config").c_str()), nullptr);
      EXPECT_EQ(Flatten(again.Root()), Flatten(source.Root()));
      EXPECT_TRUE(capture.messages().empty());
      continue;
    }
    EXPECT_EQ(LoadText(source, dir, text), nullptr) << levels;
    ASSERT_FALSE(capture.messages().empty());
    EXPECT_EQ(capture.messages().back(),
              "tConfigSource::LoadAttributesFromFile, line 258 opens a block deeper than 256 "
              "levels. Illegal config file?\n");
  }
}

TEST_F(ConfigLoad, LongLinesLoadWhole) {
  const std::string longValue(3'000'000, 'v');
  ASSERT_NE(LoadText(source, dir, "Root V1\nA " + longValue + "\n"), nullptr);
  EXPECT_EQ(source.Root()->Children().Next()->value.Length(), 3'000'000);
}

TEST_F(ConfigLoad, ALastLineWithoutLineFeedLoads) {
  ASSERT_NE(LoadText(source, dir, "Root V1\nA 1\nB two words"), nullptr);
  const std::vector<FlatNode> expected = {{0, "Root", "V1"}, {1, "A", "1"}, {1, "B", "two words"}};
  EXPECT_EQ(Flatten(source.Root()), expected);
}

TEST_F(ConfigLoad, PartialLoadsAreRefusedWithAMessage) {
  testsupport::WriteWholeFile(dir.file("a.config"), "Root V1\nA 1\n");
  testsupport::DebugCapture capture;
  EXPECT_EQ(source.LoadAttributesFromFile(dir.file("a.config").c_str(), 1, nullptr, nullptr),
            nullptr);
  EXPECT_EQ(source.LoadAttributesFromFile(dir.file("a.config").c_str(), 0, "Table", nullptr),
            nullptr);
  EXPECT_EQ(source.LoadAttributesFromFile(dir.file("a.config").c_str(), 0, nullptr, "x"), nullptr);
  EXPECT_EQ(capture.messages().size(), 3u);
  EXPECT_NE(source.LoadAttributesFromFile(dir.file("a.config").c_str(), 0, nullptr, nullptr),
            nullptr);
}

TEST_F(ConfigLoad, LoadingAgainReplacesTheTreeAndRemembersThePath) {
  ASSERT_NE(LoadText(source, dir, "Root V1\nA 1\n", "one.config"), nullptr);
  source.treeChanged = 0;
  ASSERT_NE(LoadText(source, dir, "Root V2\nB 2\n", "two.config"), nullptr);
  EXPECT_EQ(source.treeChanged, 1);
  EXPECT_EQ(std::string(source.FileName().Text()), dir.file("two.config"));
  const std::vector<FlatNode> expected = {{0, "Root", "V2"}, {1, "B", "2"}};
  EXPECT_EQ(Flatten(source.Root()), expected);
  // A failed load leaves no tree, but remembers the path it tried.
  EXPECT_EQ(LoadText(source, dir, "nonsense\n", "three.config"), nullptr);
  EXPECT_EQ(source.Root(), nullptr);
  EXPECT_EQ(std::string(source.FileName().Text()), dir.file("three.config"));
}

TEST(ConfigPath, ArchiveOrPlainIsDecidedByTheExtension) {
  struct Case {
    const char* path;
    bool archiveForLoad;
    bool archiveForSave;
  };
  const Case cases[] = {
      {"a.zip", true, true},
      {"dir/A.ZIP", true, true},
      {"a.zip.bak", true, false},
      {"a.ZIP.BAK", true, false},
      {"a.config.bak", false, false},
      {"a.bak", false, false},
      {"a.zip.bak.bak", false, false},
      {"x.zip\\name", false, false},
      {"folder.zip/name", false, false},
      {"a.config", false, false},
      {"zip", false, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(configpath::IsArchiveForLoad(c.path), c.archiveForLoad) << c.path;
    EXPECT_EQ(configpath::IsArchiveForSave(c.path), c.archiveForSave) << c.path;
  }
}

TEST(ConfigPath, BothSeparatorsSplitFolders) {
  struct Case {
    const char* path;
    const char* folder;
    const char* base;
    const char* extension;
  };
  const Case cases[] = {
      {"/a/b/zarnYEB.config", "/a/b/", "zarnYEB", ".config"},
      {".\\YEBFiles\\zarnYEB.config", ".\\YEBFiles\\", "zarnYEB", ".config"},
      {"c:\\x.y/name", "c:\\x.y/", "name", ""},
      {"archive.tar.zip", "", "archive.tar", ".zip"},
      {"plain", "", "plain", ""},
  };
  for (const Case& c : cases) {
    configpath::PathParts parts = configpath::Split(c.path);
    EXPECT_EQ(parts.folder, c.folder) << c.path;
    EXPECT_EQ(parts.base, c.base) << c.path;
    EXPECT_EQ(parts.extension, c.extension) << c.path;
  }
}

}  // namespace

namespace {

TEST_F(ConfigLoad, ANulByteEndsTheTextOfItsLine) {
  const std::string text = std::string("Root V1\n{\n   \0\0junk x\nA b\0c d\n}\n", 32);
  ASSERT_NE(LoadText(source, dir, text), nullptr);
  const std::vector<FlatNode> expected = {{0, "Root", "V1"}, {1, "A", "b"}};
  EXPECT_EQ(Flatten(source.Root()), expected);
}

}  // namespace
