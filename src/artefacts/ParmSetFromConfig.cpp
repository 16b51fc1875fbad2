#include "artefacts/ParmSetFromConfig.h"

#include <cstdio>
#include <memory>
#include <new>
#include <string_view>
#include <unordered_map>

#include "artefacts/ListFileOutput.h"
#include "packet/PacketFormat.h"
#include "platform/File.h"
#include "platform/NumberText.h"
#include "platform/TextOut.h"
#include "query/tQueryString.h"
#include "query/tSqlQueryEngine.h"
#include "templatelib/DebugOut.h"
#include "templatelib/tConfigSource.h"
#include "templatelib/tGenericContainer.h"
#include "templatelib/tString.h"

namespace artefacts {
namespace {

constexpr char kPerfSelect[] = "select UpdateRate, DataSourceType from ParameterDefaults";
constexpr char kParmSelect[] =
    "select Parameter, ParamType, UpdateRate, DataSourceType from ParameterDefaults";
constexpr double kParmModeDefaultRate = 10.0;

// Field `index` of a result line ('|'-separated); empty when missing.
std::string_view Field(const char* line, int index) {
  std::string_view rest(line);
  for (int i = 0; i < index; ++i) {
    const size_t bar = rest.find('|');
    if (bar == std::string_view::npos) return {};
    rest.remove_prefix(bar + 1);
  }
  return rest.substr(0, rest.find('|'));
}

bool IsTpp(std::string_view dataSourceType) {
  return dataSourceType.size() == 3 &&
         tString::CompareNoCaseN(dataSourceType.data(), "TPP", 3) == 0;
}

bool EqualsNoCase(std::string_view text, const char* word) {
  const size_t length = std::char_traits<char>::length(word);
  return text.size() == length && tString::CompareNoCaseN(text.data(), word, length) == 0;
}

// Above 0 as the files will show it, with six decimals.
bool IsLegalRate(double rate) {
  if (!(rate > 0.0)) return false;
  if (rate >= 1.0) return true;
  char shown[32];
  std::snprintf(shown, sizeof shown, "%f", rate);
  return std::string_view(shown) != "0.000000";
}

// The type code of the PRN list for a ParamType text.
int TypeCode(std::string_view paramType) {
  if (EqualsNoCase(paramType, "discrete")) return 1;
  if (EqualsNoCase(paramType, "int")) return 0;
  return 2;  // float, double, long, ulong and anything else
}

// A configuration loaded and selected from, for the length of one call.
// Members go in reverse order of creation: result set, engine, source.
struct SelectedRows {
  tConfigSource source;
  tSqlQueryEngine engine{&source};
  tQueryString rows;
};

// Loads the configuration and runs `select`; null (with a debug message)
// when it cannot be loaded, the select fails or yields no row.
std::unique_ptr<SelectedRows> SelectRows(const char* operation, const std::string& configPath,
                                         const char* select) {
  auto selected = std::unique_ptr<SelectedRows>(new (std::nothrow) SelectedRows());
  if (selected == nullptr) return nullptr;
  if (selected->source.LoadAttributesFromFile(configPath.c_str(), 0, nullptr, nullptr) == nullptr) {
    // The loader says why only when it got as far as reading; a file that
    // cannot be opened at all is named here with the system's reason.
    platform::File probe;
    platform::Status reason;
    if (probe.OpenRegularForReading(configPath, &reason) != platform::File::OpenResult::kOpened) {
      DebugOut("%s: cannot load the configuration %s\n", operation, reason.message().c_str());
    } else {
      DebugOut("%s: cannot load the configuration %s\n", operation, configPath.c_str());
    }
    return nullptr;
  }
  if (selected->engine.attachConfigSource(&selected->source) != S_OK) return nullptr;
  // A select that finds no row answers S_FALSE.
  const HRESULT hr = selected->engine.Query(select, &selected->rows, '|', nullptr);
  if (hr != S_OK && hr != S_FALSE) {
    DebugOut("%s: (%s) failed in %s (0x%08X)\n", operation, select, configPath.c_str(),
             static_cast<unsigned>(hr));
    return nullptr;
  }
  if (selected->rows.lineCount <= 0) {
    DebugOut("%s: %s has no ParameterDefaults rows\n", operation, configPath.c_str());
    return nullptr;
  }
  selected->rows.ResetCursor();
  return selected;
}

bool WriteFile(const char* operation, const std::string& path, const std::string& text) {
  if (WriteListFile(path, text)) return true;
  DebugOut("%s: cannot write %s\n", operation, path.c_str());
  return false;
}

struct RateGroup {
  int32_t count = 0;
  double rate = 0.0;
};

}  // namespace

bool BuildParmSetPerfModeFrom(const std::string& configPath, const std::string& parmInfoPath) {
  constexpr char kOperation[] = "BuildParmSetPerfMode";
  std::unique_ptr<SelectedRows> selected = SelectRows(kOperation, configPath, kPerfSelect);
  if (selected == nullptr) return false;

  // The groups keep first-seen order in the list; the map finds a rate's
  // group without walking the list, so a configuration of all-distinct
  // rates costs linear time, not quadratic.
  tGenericContainer<RateGroup> groups(/*ownsItems=*/true);
  std::unordered_map<double, RateGroup*> byRate;
  int32_t rows = 0;
  int32_t tpp = 0;
  int32_t illegal = 0;
  double aggregate = 0.0;
  try {
    while (const char* line = selected->rows.NextLine()) {
      ++rows;
      if (IsTpp(Field(line, 1))) ++tpp;
      const double rate = platform::ReadFiniteDouble(Field(line, 0));
      if (!IsLegalRate(rate)) {
        ++illegal;
        continue;
      }
      aggregate += rate;
      auto [found, isNew] = byRate.try_emplace(rate, nullptr);
      if (isNew) {
        auto* group = new (std::nothrow) RateGroup{0, rate};
        if (group == nullptr || groups.Append(group) != S_OK) {
          delete group;
          DebugOut("%s: no memory for a rate group\n", kOperation);
          return false;
        }
        found->second = group;
      }
      ++found->second->count;
    }
  } catch (const std::bad_alloc&) {
    DebugOut("%s: no memory for a rate group\n", kOperation);
    return false;
  }

  std::string text;
  platform::AppendFormat(text,
                         "// Total Parameters:( %d ), Aggregate Rate:( %f ), TPP: ( %d ), "
                         "Derived: ( %d )\r\n\r\n",
                         rows, aggregate, tpp, rows - tpp);
  if (illegal > 0) {
    platform::AppendFormat(
        text, "// ** Note - Total Illegal Parameters: ( %d ) - Sample Rates <= 0.0\r\n", illegal);
  }
  groups.ResetCursor();
  while (const RateGroup* group = groups.Next()) {
    platform::AppendFormat(text, " %d,%f\r\n", group->count, group->rate);
  }
  return WriteFile(kOperation, parmInfoPath, text);
}

bool BuildParmSetParmModeFrom(const std::string& configPath, int32_t tagOffset,
                              const std::string& parmInfoPath, const std::string& prnPath) {
  constexpr char kOperation[] = "BuildParmSetParmMode";
  std::unique_ptr<SelectedRows> selected = SelectRows(kOperation, configPath, kParmSelect);
  if (selected == nullptr) return false;

  // Tags as the packets carry them: 16 bits above the offset.
  const uint32_t offset = static_cast<uint32_t>(tagOffset);
  std::string prn;
  platform::AppendFormat(prn, "%u TIME$_DAY %f 1\r\n", unsigned{uint16_t(offset + 1)},
                         packet::dayWordRate);
  platform::AppendFormat(prn, "%u TIME$_MILLISEC %f 1\r\n", unsigned{uint16_t(offset + 2)},
                         packet::timeWordRate);
  std::string parmInfo;
  double aggregate = packet::dayWordRate + packet::timeWordRate;
  int32_t rows = 0;
  int32_t tpp = 0;
  while (const char* line = selected->rows.NextLine()) {
    ++rows;
    if (!IsTpp(Field(line, 3))) continue;
    double rate = platform::ReadFiniteDouble(Field(line, 2));
    if (!IsLegalRate(rate)) rate = kParmModeDefaultRate;
    aggregate += rate;
    platform::AppendFormat(parmInfo, " %d,%f\r\n", 1, rate);
    const std::string_view name = Field(line, 0);
    const unsigned tag = uint16_t(offset + 3 + static_cast<uint32_t>(tpp));
    platform::AppendFormat(prn, "%u %.*s %f %d\r\n", tag, static_cast<int>(name.size()),
                           name.data(), rate, TypeCode(Field(line, 1)));
    ++tpp;
  }
  platform::AppendFormat(parmInfo,
                         "\r\n\r\n// Total Parameters:( %d ), Aggregate Rate:( %f ), "
                         "Total TPP Parms: ( %d )\r\n",
                         rows, aggregate, tpp);
  return WriteFile(kOperation, parmInfoPath, parmInfo) && WriteFile(kOperation, prnPath, prn);
}

}  // namespace artefacts
