// tZBall: a configuration archive, reached through the compression
// component.
//
// An archive holds the configuration text as the entry "ZARN/pfConfig" next
// to the folder entries "ZARN", "ZARN/COM/", "ZARN/MISC/" and "ZARN/USER/".
// tZBall creates such an archive, writes a tree into its configuration entry
// (every other entry is left as it was), and extracts files of the misc
// folder into the temporary folder.
//
// Construction creates the component by its ProgID through the factory
// given (the real component unless told otherwise), reaching files through
// `env`; when that fails every operation returns E_FAIL. Every failure after
// an archive was opened closes it again, so the component is never left
// holding an open archive.
//
// Thread safety: one object is used by the thread that created it.
#pragma once

#include <cstdint>
#include <string>

#include "templatelib/Result.h"
#include "templatelib/ZipComponent.h"
#include "templatelib/tAttribute.h"
#include "templatelib/tString.h"

inline constexpr char kConfigEntryName[] = "ZARN/pfConfig";
inline constexpr char kMiscFolderEntry[] = "ZARN/MISC/";

class tZBall {
 public:
  explicit tZBall(const char* archivePath, platform::FileEnv& env = platform::FileEnv::Default(),
                  ZlibFactory factory = CreateZlibObject);
  ~tZBall() = default;
  tZBall(const tZBall&) = delete;
  tZBall& operator=(const tZBall&) = delete;

  bool HasComponent() const { return component_ != nullptr; }

  // A new archive at the path (replacing any file there) holding the four
  // folder entries.
  HRESULT CreateNewArchive();

  // Writes `root` into "ZARN/pfConfig" of the existing archive.
  HRESULT WriteConfiguration(const tAttribute* root);

  // Extracts "ZARN/MISC/<fileName>" to the temporary folder, under the last
  // component of `fileName` only; `outPath` gets the file written. A name
  // that is empty, "." or ".." after cutting is refused. Never writes outside
  // the temporary folder and never follows a link there.
  HRESULT UnzipMiscToTemp(const char* fileName, tString* outPath);

 private:
  platform::FileEnv& env_;
  ZlibFactory factory_;
  ZlibObjPtr component_;
  std::wstring archivePath_;
};
