// Files written so that a crash, a full disk or a failed write never leaves
// a half-written file under the name that readers use.
//
// AtomicFileWriter writes the new content into a sibling temporary file in
// the target's folder (created exclusively, so it never follows a link or
// reuses someone else's file) and, on Commit, flushes it to the disk and
// renames it over the target. The target keeps its permission bits; a new
// target gets the usual default (0666 less the umask). A writer destroyed
// without a successful Commit removes its temporary file and leaves the
// target as it was.
//
// ExclusiveFileWriter creates a new file that must not exist yet, refusing
// an existing file and any link at that name, with exactly the permission
// bits asked for (the umask does not narrow them); a writer
// destroyed before a successful Close removes what it created.
//
// On Windows files have no permission bits: the rename is MoveFileEx, a
// mode without the owner's write bit makes the file read-only, and links are
// not followed. A target that another program holds open refuses the rename
// after a short while of retries (under wine even when the holder shares
// deletion).
//
// Both writers are written once over a FileEnv (FileEnv.h): the real file
// system unless the caller gives another.
//
// Every write is buffered and checked; a failure sticks, and Commit/Close
// then report it. Thread safety: an object is used by one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/FileEnv.h"
#include "platform/Status.h"

namespace platform {

class AtomicFileWriter {
 public:
  explicit AtomicFileWriter(FileEnv& env = FileEnv::Default()) : env_(&env) {}
  ~AtomicFileWriter();
  AtomicFileWriter(const AtomicFileWriter&) = delete;
  AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

  // Creates the sibling temporary file of `target`. False when it cannot.
  bool Open(const std::string& target);
  bool Write(const void* data, std::size_t size);
  // Flushes, syncs, applies the permissions and renames over the target.
  bool Commit();
  // Drops the temporary file; the target is untouched.
  void Discard();
  // Why the first failed call since Open failed, naming the file or folder
  // and the system's words; Ok while nothing failed.
  const Status& error() const { return error_; }
  FileEnv& env() const { return *env_; }

 private:
  bool Flush();
  // Keeps the first failure's reason (from the system's last error number).
  bool Failed(const std::string& subject);

  FileEnv* env_;
  intptr_t fd_ = -1;  // a descriptor, or a HANDLE on Windows
  bool failed_ = false;
  Status error_;
  std::string target_;
  std::string tempPath_;
  std::vector<char> buffer_;
};

class ExclusiveFileWriter {
 public:
  explicit ExclusiveFileWriter(FileEnv& env = FileEnv::Default()) : env_(&env) {}
  ~ExclusiveFileWriter();
  ExclusiveFileWriter(const ExclusiveFileWriter&) = delete;
  ExclusiveFileWriter& operator=(const ExclusiveFileWriter&) = delete;

  // False when `path` exists (file or link) or cannot be created. A
  // negative `mode` means the usual default, 0666 less the umask.
  bool Create(const std::string& path, int mode = -1);
  bool Write(const void* data, std::size_t size);
  // Flushes and closes; false when any write failed (the file is removed).
  bool Close();
  // Closes (if open) and removes the file created.
  void Remove();
  FileEnv& env() const { return *env_; }

 private:
  bool Flush();

  FileEnv* env_;
  intptr_t fd_ = -1;  // a descriptor, or a HANDLE on Windows
  bool failed_ = false;
  bool created_ = false;
  int mode_ = -1;  // as asked of Create
  std::string path_;
  std::vector<char> buffer_;
};

// Replaces `target` atomically with a copy of `source`; the target keeps
// its permissions. False on any failure, the target then unchanged.
bool ReplaceFileWithCopy(const std::string& source, const std::string& target,
                         FileEnv& env = FileEnv::Default());

// True when `path` names a regular file that can be opened for reading.
bool IsReadableFile(const std::string& path);

// Appends the bytes of the file at `source` to `out`, reading through the
// writer's env. False on a read or write failure, or when `source` is not a
// regular file.
bool AppendFileTo(const std::string& source, ExclusiveFileWriter& out);
bool AppendFileTo(const std::string& source, AtomicFileWriter& out);

// Replaces `out` with the bytes of the regular file at `path`. False (and
// `out` unspecified) when it cannot be opened, is no regular file or a read
// fails.
bool ReadFileInto(const std::string& path, std::string& out, FileEnv& env = FileEnv::Default());

// The name a write to `path` must replace so that a symbolic link there
// keeps pointing at the new content: the links of the last component are
// followed (relative ones from the link's folder) until a name that is not
// a link, which may not exist yet. `path` itself when it is no link; empty
// when the chain is longer than 40 links.
std::string FinalLinkTarget(const std::string& path);

// The permission bits of the file at `path`, or `fallback` when there is none.
unsigned FileModeOr(const std::string& path, unsigned fallback);

// Removes the name `path` (a link itself, never what it points to). False
// when there was nothing to remove or it could not be removed.
bool RemoveFileName(const std::string& path);

}  // namespace platform
