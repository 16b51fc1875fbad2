// The run manifest: what it supplies, what the command line overrides, and
// every reason it is refused.
#include "Manifest.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <nlohmann/json.hpp>

#include "support/ChildProcess.h"

namespace yebverify {
namespace {

namespace fs = std::filesystem;

class ManifestTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(dir_.file("YEBFiles"));
    testsupport::WriteWholeFile(dir_.file("YEBFiles/NEP.xml"), "<FullList/>");
    manifest_ = {{"program", "yebstress"},
                 {"version", "1.0.0 (fe30c3a)"},
                 {"run_id", std::string(32, 'a')},
                 {"written", "2026-12-10T04:00:00.123Z"},
                 {"source", "nep"},
                 {"packet_rate", 200},
                 {"super_stress", true},
                 {"time_jump", false},
                 {"time_gap", true},
                 {"tag_offset", 1000},
                 {"data_source", 0},
                 {"parm_prefix", "S01_"},
                 {"list", "YEBFiles/NEP.xml"},
                 {"address", "0.0.0.0"},
                 {"port", 49123},
                 {"parameters", 21},
                 {"packet_bytes", 1234},
                 {"fault_script", "faults.txt"},
                 {"signals", nullptr},
                 {"working_dir", dir_.path()}};
  }
  // Writes the manifest after the list, as the tool does.
  std::string Write(const std::string& text) {
    const std::string path = dir_.file("YEBFiles/run.json");
    testsupport::WriteWholeFile(path, text);
    fs::last_write_time(
        path, fs::last_write_time(dir_.file("YEBFiles/NEP.xml")) + std::chrono::seconds(1));
    return path;
  }

  testsupport::TempDir dir_;
  nlohmann::json manifest_;
};

TEST_F(ManifestTest, SuppliesEverySettingAndGivenOptionsWinWithAWarning) {
  RunManifest m;
  ASSERT_TRUE(LoadManifest(Write(manifest_.dump()), m, true).ok());
  VerifyOptions options;
  EXPECT_TRUE(ApplyManifest(m, options).empty());
  EXPECT_EQ(options.host, "127.0.0.1");  // every interface is reached on this host
  EXPECT_EQ(options.port, 49123);
  EXPECT_EQ(options.source, SourceKind::kNep);
  EXPECT_EQ(options.packetRate, 200);
  EXPECT_TRUE(options.superStress);
  EXPECT_FALSE(options.timeJump);
  EXPECT_TRUE(options.timeGap);
  EXPECT_EQ(options.tagOffset, 1000);
  // Relative paths are the tool's, from its working folder.
  EXPECT_EQ(fs::path(options.listPath), fs::path(dir_.path()) / "YEBFiles/NEP.xml");
  EXPECT_EQ(fs::path(options.expectFaultsPath), fs::path(dir_.path()) / "faults.txt");

  ASSERT_TRUE(ParseOptions({"--port", "50000", "--packet-rate", "200", "--expect-faults", "x.txt",
                            "--manifest", "run.json"},
                           options)
                  .ok());
  const std::vector<std::string> warnings = ApplyManifest(m, options);
  EXPECT_EQ(options.port, 50000);
  EXPECT_EQ(options.expectFaultsPath, "x.txt");
  ASSERT_EQ(warnings.size(), 2u);  // the same packet rate given is no news
  EXPECT_EQ(warnings[0], "--port 50000 differs from the manifest's 49123; using 50000");
  EXPECT_EQ(warnings[1].rfind("--expect-faults x.txt differs from the manifest's ", 0), 0u)
      << warnings[1];

  // No fault script in the run: none is expected.
  manifest_["fault_script"] = nullptr;
  ASSERT_TRUE(ParseManifest(manifest_.dump(), m).ok());
  options = VerifyOptions();
  ApplyManifest(m, options);
  EXPECT_TRUE(options.expectFaultsPath.empty());
}

TEST_F(ManifestTest, RefusedWithTheReason) {
  struct Case {
    const char* name;
    void (*edit)(nlohmann::json& m);
    const char* says;
  } cases[] = {
      {"missing field", [](nlohmann::json& m) { m.erase("packet_rate"); },
       "the field \"packet_rate\" is missing"},
      {"missing null field", [](nlohmann::json& m) { m.erase("fault_script"); },
       "the field \"fault_script\" is missing"},
      {"wrong type", [](nlohmann::json& m) { m["super_stress"] = "yes"; },
       "the field \"super_stress\" must be true or false, not \"yes\""},
      {"bad rate", [](nlohmann::json& m) { m["packet_rate"] = 60; },
       "the field \"packet_rate\" must be 50, 100 or 200, not 60"},
      {"bad port", [](nlohmann::json& m) { m["port"] = 0; },
       "the field \"port\" must be a whole number 1 to 65535, not 0"},
      {"bad source", [](nlohmann::json& m) { m["source"] = "kest"; },
       "the field \"source\" must be \"custom\" or \"nep\", not \"kest\""},
      {"other program", [](nlohmann::json& m) { m["program"] = "other"; },
       "written by \"other\", not by yebstress"},
      {"relative working folder", [](nlohmann::json& m) { m["working_dir"] = "here"; },
       "the field \"working_dir\" must be an absolute path"},
      {"list missing", [](nlohmann::json& m) { m["list"] = "YEBFiles/zarnYEB.prn"; },
       "its parameter list"},
  };
  for (const Case& c : cases) {
    nlohmann::json edited = manifest_;
    c.edit(edited);
    RunManifest m;
    const platform::Status s = LoadManifest(Write(edited.dump()), m, true);
    EXPECT_FALSE(s.ok()) << c.name;
    EXPECT_NE(s.message().find(c.says), std::string::npos) << c.name << ": " << s.message();
    EXPECT_NE(s.message().find("run.json"), std::string::npos) << c.name << ": " << s.message();
  }

  RunManifest m;
  platform::Status s = LoadManifest(Write("{\"program\": \"yebstress\",,}"), m, true);
  EXPECT_NE(s.message().find("not valid JSON: parse error at line 1, column 25"), std::string::npos)
      << s.message();
  s = LoadManifest(dir_.file("YEBFiles/none.json"), m, true);
  EXPECT_NE(s.message().find("none.json: does not exist"), std::string::npos) << s.message();

  // A list written after the manifest belongs to a later run.
  const std::string path = Write(manifest_.dump());
  fs::last_write_time(dir_.file("YEBFiles/NEP.xml"),
                      fs::last_write_time(path) + std::chrono::seconds(5));
  s = LoadManifest(path, m, true);
  EXPECT_NE(s.message().find("was modified at "), std::string::npos) << s.message();
  EXPECT_NE(s.message().find("after the manifest was written"), std::string::npos);
  // ... unless the list to check was given apart.
  EXPECT_TRUE(LoadManifest(path, m, false).ok());
}

}  // namespace
}  // namespace yebverify
