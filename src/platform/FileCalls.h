// The few file system calls the portable file writers are built on, one
// implementation per system (posix/FileCalls.cpp, win32/FileCalls.cpp).
// FileEnv::Default() (FileEnv.cpp) forwards to them; everything above the
// env (buffering, the order of sync, close and rename, the clean-up after a
// failure) is written once, in AtomicFile.cpp.
//
// A handle is a descriptor on POSIX and a HANDLE on Windows, -1 for none.
// A failing call leaves its reason in LastSystemError() (Status.h).
// Interrupted calls are retried by each system's one policy (see
// posix/Interrupted.h); Windows has no interrupted calls.
//
// Internal to the platform layer. Thread safety: as the system calls.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform::detail {

inline constexpr intptr_t kNoFile = -1;

// Creates `path`, which must not exist (a link there counts as existing),
// for writing only, readable by nobody but its owner until its mode is set.
intptr_t CreateExclusive(const std::string& path);
// Creates a new file, exclusively, whose name is `prefix` with a unique
// ending; `path` receives the whole name. kNoFile when it cannot.
intptr_t CreateUniqueSibling(const std::string& prefix, std::string& path);
// Opens an existing file for reading, sharing it as the platform's readers do.
intptr_t OpenForReading(const std::string& path);
// True when the open `handle` is a regular file.
bool IsRegular(intptr_t handle);

// Writes every byte, or fails.
bool WriteAll(intptr_t handle, const char* data, std::size_t size);
// One read of at most `size` bytes: the count, 0 at the end, -1 on failure.
int64_t ReadSome(intptr_t handle, char* data, std::size_t size);
// Pushes what was written down to the disk.
bool Sync(intptr_t handle);
bool CloseFile(intptr_t handle);

// Gives the open `handle` the permission bits `mode` (negative: the usual
// default, 0666 less the umask). Windows files have no bits: nothing to do.
bool SetModeWhileOpen(intptr_t handle, int mode);
// What of `mode` can only be applied once the file is closed: on Windows a
// mode without the owner's write bit makes the file read-only. Best effort.
void SetModeWhenClosed(const std::string& path, int mode);

// Renames `from` over `to`, so that a reader finds the old file or the new
// one and never none. On Windows a target that another program holds open
// without sharing its deletion is tried again for a while first.
bool RenameOver(const std::string& from, const std::string& to);

// The part of `path` up to and including its last separator; empty when
// there is none.
std::string FolderOf(const std::string& path);

}  // namespace platform::detail
