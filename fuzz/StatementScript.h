// One statement script against a small configuration, shared by the
// statement fuzz target and the test that replays its corpus.
//
// The script's lines run as statements, in order, on one engine (at most
// kMaxStatements of them). Whatever they do, nothing may fault, and the
// tree they leave must save and load back unchanged: the engine must never
// put into a table what a configuration file cannot hold.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "query/tSqlQueryEngine.h"
#include "templatelib/ConfigFileWriter.h"
#include "templatelib/tConfigSource.h"

namespace statementscript {

inline constexpr int kMaxStatements = 64;

inline const char kStartConfig[] =
    "Root VersionFivePointZero\n"
    "{\n"
    "   Table Params\n"
    "   {\n"
    "      TableDefinition Name|Rate|Gain|Count|Kind\n"
    "      TableType String|Int|Float|UnsignedInt|list(TPP,Derived)\n"
    "      TableContents \n"
    "      {\n"
    "         r1 Alpha|9|1.5|4000000000|TPP\n"
    "         r2 beta|10|2.5|7|Derived\n"
    "         r3 Gamma|-3|0.5|0|tpp\n"
    "         r4 O'Brien|100|x|1|TPP\n"
    "         r5 Short\n"
    "      }\n"
    "   }\n"
    "   Table Users\n"
    "   {\n"
    "      TableDefinition User|ActiveDesktop|PropertyBag\n"
    "      TableType String|String|String\n"
    "      TableContents \n"
    "   }\n"
    "}\n";

// False when the saved tree does not load back as it was. With a `folder`
// the start and the saved tree go through files there; without one they
// stay in memory, which lets a fuzzer run thousands of scripts a second.
inline bool Run(const std::string& folder, const uint8_t* data, size_t size) {
  const bool files = !folder.empty();
  const std::string start = folder + "/start.config";
  if (files) {
    if (std::FILE* file = std::fopen(start.c_str(), "wb")) {
      std::fputs(kStartConfig, file);
      std::fclose(file);
    }
  }
  tConfigSource source;
  if ((files ? source.LoadAttributesFromFile(start.c_str())
             : source.LoadAttributesFromText(kStartConfig)) == nullptr) {
    return true;
  }
  tSqlQueryEngine engine(&source);
  tQueryString results;
  const std::string script(reinterpret_cast<const char*>(data), size);
  size_t at = 0;
  for (int count = 0; at <= script.size() && count < kMaxStatements; ++count) {
    size_t end = script.find('\n', at);
    if (end == std::string::npos) end = script.size();
    const std::string statement = script.substr(at, end - at);
    engine.Query(statement.c_str(), &results, count % 2 ? ',' : '|', nullptr);
    at = end + 1;
  }
  source.CommitAllTables();
  StringTextSink before;
  WriteConfigTree(source.Root(), before);
  tConfigSource again;
  if (files) {
    const std::string saved = folder + "/saved.config";
    if (source.Save(saved.c_str(), 0, 2, 0) != S_OK) return false;
    if (again.LoadAttributesFromFile(saved.c_str()) == nullptr) return false;
  } else if (again.LoadAttributesFromText(before.text) == nullptr) {
    return false;
  }
  StringTextSink after;
  WriteConfigTree(again.Root(), after);
  return before.text == after.text;
}

}  // namespace statementscript
