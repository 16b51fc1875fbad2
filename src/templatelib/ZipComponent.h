// The compression component: the outside object that reads and writes the
// zip archives configurations are kept in, reached through the ProgID
// "ZarnZLibInterface.ZlibObj".
//
// ZlibObj lists the operations the archive code calls, in the component's
// slot order, with the arguments it passes (see tZBall.h and the archive
// branch of tConfigSource). Every operation returns 0 on success and a
// non-zero status otherwise. Strings passed in are wide; archive paths and
// entry names carry one byte per wide character (WidenBytes/NarrowBytes),
// so any byte sequence a file system allows survives the round trip.
//
// CreateZlibObject looks the ProgID up and creates the object: here the
// component is built over libzip, and fails for any other ProgID. The code
// that creates components takes a ZlibFactory (CreateZlibObject unless told
// otherwise), so a test can put a fake component, or none, in its place.
//
// The component reads and writes archive files through the FileEnv it was
// created with: an archive being written is built in memory and written
// through the env's atomic writer when it is closed.
//
// Thread safety: one object is used by the thread that created it, one call
// at a time.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/FileEnv.h"

inline constexpr const char* kZlibProgId = "ZarnZLibInterface.ZlibObj";

class ZlibObj {
 public:
  // Gives the object back (the component's release slot).
  virtual void Release() = 0;

  // (path, 1, 0) opens an existing archive for reading; (path, 0, 0)
  // creates a new, empty one; (path, 0, 2) opens an existing archive for
  // writing an entry into it.
  virtual int32_t OpenArchive(const wchar_t* path, int32_t readFlag, int32_t mode) = 0;
  // Ends the work on the archive; writes what was changed.
  virtual int32_t CloseArchive(const wchar_t* comment) = 0;
  // Reading: positions on the entry's start. Writing: starts the entry
  // (replacing an entry of that name when the archive is closed).
  virtual int32_t OpenFile(const wchar_t* entryName, int32_t flags) = 0;
  virtual int32_t CloseFile() = 0;
  // Reads up to `size` bytes of the current entry; `*count` gets how many.
  virtual int32_t ReadBlock(char* buffer, int32_t size, int32_t* count) = 0;
  // The next line of the current entry (at most maxLength - 1 characters,
  // the line feed included when it fits).
  virtual int32_t Zgets(std::wstring* line, int32_t maxLength, int32_t flags) = 0;
  virtual int32_t AddFolder(const wchar_t* name) = 0;
  // Writes the entry's content to a new file at `destination`, which must
  // not exist yet.
  virtual int32_t UnzipFile(const wchar_t* entryName, const wchar_t* destination,
                            int32_t flags) = 0;
  // Appends `text` to the entry being written; `*count` gets its length.
  virtual int32_t WriteText(const char* text, int32_t* count) = 0;
  // The declared size in bytes of the current entry's content.
  virtual int32_t EntrySize(int64_t* size) = 0;

 protected:
  virtual ~ZlibObj() = default;
};

struct ZlibObjRelease {
  void operator()(ZlibObj* object) const {
    if (object != nullptr) object->Release();
  }
};
using ZlibObjPtr = std::unique_ptr<ZlibObj, ZlibObjRelease>;

// Null when the ProgID is unknown or creation fails.
ZlibObjPtr CreateZlibObject(std::string_view progId,
                            platform::FileEnv& env = platform::FileEnv::Default());

// Creates the component for a ProgID, with the files it works on reached
// through `env`. Null: creation failed.
using ZlibFactory = std::function<ZlibObjPtr(std::string_view progId, platform::FileEnv& env)>;

// The libzip-backed component itself.
ZlibObjPtr CreateLibzipObject(platform::FileEnv& env = platform::FileEnv::Default());

// One byte per wide character, both ways. NarrowBytes refuses (returns
// false) a character above 255.
std::wstring WidenBytes(std::string_view bytes);
bool NarrowBytes(std::wstring_view wide, std::string* bytes);
