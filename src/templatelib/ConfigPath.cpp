#include "templatelib/ConfigPath.h"

#include "templatelib/ConfigFileReader.h"
#include "templatelib/tString.h"

namespace configpath {

namespace {

size_t LastSeparator(std::string_view path) { return path.find_last_of("/\\"); }

}  // namespace

std::string_view FileName(std::string_view path) {
  size_t separator = LastSeparator(path);
  return separator == std::string_view::npos ? path : path.substr(separator + 1);
}

std::string_view Extension(std::string_view path) {
  std::string_view name = FileName(path);
  size_t dot = name.rfind('.');
  return dot == std::string_view::npos ? std::string_view{} : name.substr(dot);
}

PathParts Split(std::string_view path) {
  std::string_view name = FileName(path);
  std::string_view extension = Extension(path);
  PathParts parts;
  parts.folder = std::string(path.substr(0, path.size() - name.size()));
  parts.base = std::string(name.substr(0, name.size() - extension.size()));
  parts.extension = std::string(extension);
  return parts;
}

bool HasExtension(std::string_view path, std::string_view extension) {
  return tString::CompareNoCase(std::string(Extension(path)).c_str(),
                                std::string(extension).c_str()) == 0;
}

bool IsArchiveForLoad(std::string_view path) {
  std::string_view decided = path;
  // Trimmed like the rest of the path's handling: a trailing blank does not
  // hide the ".bak".
  while (!decided.empty() && configtext::IsBlank(decided.back())) decided.remove_suffix(1);
  if (HasExtension(decided, ".bak")) decided.remove_suffix(4);
  return HasExtension(decided, ".zip");
}

bool IsArchiveForSave(std::string_view path) { return HasExtension(path, ".zip"); }

}  // namespace configpath
