#include "artefacts/ConfigFileBuilder.h"

#include <memory>

#include "artefacts/DefaultConfigText.h"
#include "artefacts/ListFileOutput.h"
#include "query/tQueryString.h"
#include "query/tSqlQueryEngine.h"
#include "templatelib/DebugOut.h"
#include "templatelib/tConfigSource.h"
#include "templatelib/tString.h"

namespace artefacts {
namespace {

constexpr char kAnalysisWindowsRow[] =
    "update AnalysisWindows set AnalysisWindowName = 'Window1', X = 0.0, Y = 0.0, "
    "Width = 0.857, Height = 0.938, Classification = 'This window has NOT been classified', "
    "WindowState = 'Normal' where 0";
constexpr char kDesktopsRow[] =
    "update Desktops set Group = 'Group', SubGroup = 'SubGroup', DesktopName = 'Desktop1', "
    "AnalysisWindowName = 'Window1' where 0";
constexpr char kUsersRow[] =
    "update Users set User = 'User1', ActiveDesktop = 'NewDesktop' where 0";
constexpr char kParameterDefaultsStateRow[] = "update ParameterDefaultsState set * = PS1||True";

// One field per column of ParameterDefaults: 13 named ones, then 56 empty.
constexpr char kParameterDefaultsRow[] =
    "update ParameterDefaults set * = PS1|Parm%d|float|Group|SubGroup|Parm%d|Parm%d||||TPP||%f"
    "||||||||||||||||||||||||||||||||||||||||||||||||||||||||"
    " where 0";

constexpr int CountSeparators(const char* text) {
  int count = 0;
  for (; *text != '\0'; ++text) count += *text == '|' ? 1 : 0;
  return count;
}
static_assert(CountSeparators(kParameterDefaultsRow) == 68, "ParameterDefaults has 69 columns");

// The working objects of one build, destroyed in reverse order of creation
// (the result set, the engine, then the source and its tree).
struct BuildObjects {
  tConfigSource source;
  tSqlQueryEngine engine{&source};
  tQueryString results;
};

bool RunStatement(BuildObjects& objects, const char* statement, bool withResults) {
  const HRESULT hr =
      objects.engine.Query(statement, withResults ? &objects.results : nullptr, '|', nullptr);
  if (hr == S_OK) return true;
  DebugOut("BuildConfigFile: statement (%s) failed (0x%08X)\n", statement,
           static_cast<unsigned>(hr));
  return false;
}

}  // namespace

bool BuildConfigFileAt(const std::string& path, const std::string& defaultText,
                       const packet::ParmTable& table, int32_t tagOffset) {
  // The objects are large (the engine keeps its scratch); keep them off the
  // stack.
  auto objects = std::make_unique<BuildObjects>();

  if (!WriteListFile(path, defaultText)) {
    DebugOut("BuildConfigFile: cannot write the default configuration to %s\n", path.c_str());
    return false;
  }
  if (objects->source.LoadAttributesFromFile(path.c_str(), 0, nullptr, nullptr) == nullptr) {
    DebugOut("BuildConfigFile: cannot load %s\n", path.c_str());
    return false;
  }
  if (objects->engine.attachConfigSource(&objects->source) != S_OK) return false;

  if (!RunStatement(*objects, kAnalysisWindowsRow, true) ||
      !RunStatement(*objects, kDesktopsRow, true) || !RunStatement(*objects, kUsersRow, false)) {
    return false;
  }
  tString statement;
  if (statement.Format("%s", kParameterDefaultsStateRow) != S_OK ||
      !RunStatement(*objects, statement.Text(), true)) {
    return false;
  }
  // Names count from the tag offset in modular arithmetic, as the PRN list
  // numbers them, so the two always agree.
  const uint32_t offset = static_cast<uint32_t>(tagOffset);
  for (int32_t i = 0; i < table.parmCount; ++i) {
    const int32_t n = static_cast<int32_t>(offset + static_cast<uint32_t>(i) + 1);
    const double rate = table.records[i].sampleRate;
    if (statement.Format(kParameterDefaultsRow, n, n, n, rate) != S_OK ||
        !RunStatement(*objects, statement.Text(), true)) {
      return false;
    }
  }

  if (objects->source.CommitAllTables() != S_OK) {
    DebugOut("BuildConfigFile: commit failed\n");
    return false;
  }
  if (objects->source.Save(nullptr, 1, 2, 0) != S_OK) {
    DebugOut("BuildConfigFile: cannot save %s\n", path.c_str());
    return false;
  }
  return true;
}

bool BuildConfigFile(const std::string& outputDir, const packet::ParmTable& table,
                     int32_t tagOffset) {
  return BuildConfigFileAt(OutputPath(outputDir, kConfigFileName), schema::GetDefaultConfigText(),
                           table, tagOffset);
}

}  // namespace artefacts
