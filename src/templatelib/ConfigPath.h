// Splitting configuration paths, and deciding from a path whether a
// configuration is plain text or a zip archive.
//
// Both "/" and "\" separate folders, so paths written on either kind of
// system split the same way. Extensions are compared without regard to
// letter case; whole paths are compared exactly elsewhere (file names are
// case-sensitive here).
//
// Thread safety: pure functions.
#pragma once

#include <string>
#include <string_view>

namespace configpath {

struct PathParts {
  std::string folder;     // up to and including the last separator
  std::string base;       // the file name without its extension
  std::string extension;  // from the file name's last dot, dot included
};
PathParts Split(std::string_view path);

// The extension of the file name part ("" when it has none).
std::string_view Extension(std::string_view path);
// The file name part (after the last separator).
std::string_view FileName(std::string_view path);
bool HasExtension(std::string_view path, std::string_view extension);

// A path is read as an archive when its extension is ".zip", or when it is
// ".bak" and the name before it ends in ".zip".
bool IsArchiveForLoad(std::string_view path);
// A save goes to an archive only for a ".zip" extension (no ".bak" rule).
bool IsArchiveForSave(std::string_view path);

}  // namespace configpath
