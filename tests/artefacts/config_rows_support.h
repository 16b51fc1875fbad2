// Configurations with chosen ParameterDefaults rows, made the way the
// analysis system's own files are: the builder's empty configuration, rows
// added through update statements, saved plain or as a zip archive.
#pragma once

#include <string>
#include <vector>

namespace artefactstest {

struct ParameterRow {
  std::string parameter;
  std::string paramType;
  std::string updateRate;
  std::string dataSourceType;
};

// Writes the configuration at `path` (".zip": an archive); false when any
// step fails.
bool WriteConfigWithRows(const std::string& path, const std::vector<ParameterRow>& rows);

}  // namespace artefactstest
