// The two writers, written once over the system's file calls (FileCalls.h).
#include "platform/AtomicFile.h"

#include "platform/FileCalls.h"
#include "platform/WriteBuffer.h"

namespace platform {

namespace {

constexpr std::size_t kBufferSize = detail::kWriteBlockBytes;

// Copies everything readable from `in` to `out`.
template <typename Writer>
bool CopyFileTo(intptr_t in, Writer& out) {
  std::vector<char> chunk(kBufferSize);
  for (;;) {
    const int64_t n = detail::ReadSome(in, chunk.data(), chunk.size());
    if (n < 0) return false;
    if (n == 0) return true;
    if (!out.Write(chunk.data(), static_cast<std::size_t>(n))) return false;
  }
}

}  // namespace

AtomicFileWriter::~AtomicFileWriter() { Discard(); }

bool AtomicFileWriter::Failed(const std::string& subject) {
  if (error_.ok()) error_ = SystemError(subject, LastSystemError());
  return false;
}

bool AtomicFileWriter::Open(const std::string& target) {
  Discard();
  failed_ = false;
  error_ = Status::Ok();
  target_ = target;
  // The temporary sits beside the target so that the rename never crosses
  // a file system, and is created exclusively so that it never follows a
  // link or takes over someone else's file.
  const std::string folder = detail::FolderOf(target);
  fd_ =
      detail::CreateUniqueSibling(folder + "." + target.substr(folder.size()) + ".save", tempPath_);
  if (fd_ < 0) {
    tempPath_.clear();
    // The folder is what refused: missing, read-only or full.
    return Failed(folder.empty() ? "." : folder);
  }
  buffer_.clear();
  buffer_.reserve(kBufferSize);
  return true;
}

bool AtomicFileWriter::Flush() {
  return detail::FlushBuffer(buffer_, failed_, fd_, detail::WriteAll) || Failed(target_);
}

bool AtomicFileWriter::Write(const void* data, std::size_t size) {
  return fd_ >= 0 && (detail::BufferedWrite(buffer_, failed_, fd_, detail::WriteAll, data, size) ||
                      Failed(target_));
}

bool AtomicFileWriter::Commit() {
  if (fd_ < 0) return false;
  bool ok = Flush();
  // The target keeps its permission bits; a new one gets the default.
  constexpr unsigned kNoTarget = ~0u;
  const unsigned targetMode = FileModeOr(target_, kNoTarget);
  const int mode = targetMode == kNoTarget ? -1 : static_cast<int>(targetMode);
  ok = ok && (detail::SetModeWhileOpen(fd_, mode) || Failed(target_));
  ok = ok && (detail::Sync(fd_) || Failed(target_));
  ok = (detail::CloseFile(fd_) || Failed(target_)) && ok;
  fd_ = -1;
  ok = ok && (detail::RenameOver(tempPath_, target_) || Failed(target_));
  if (!ok) RemoveFileName(tempPath_);
  tempPath_.clear();
  return ok;
}

void AtomicFileWriter::Discard() {
  if (fd_ >= 0) {
    detail::CloseFile(fd_);
    fd_ = -1;
  }
  if (!tempPath_.empty()) {
    RemoveFileName(tempPath_);
    tempPath_.clear();
  }
  buffer_.clear();
}

ExclusiveFileWriter::~ExclusiveFileWriter() {
  if (fd_ >= 0 || created_) Remove();
}

bool ExclusiveFileWriter::Create(const std::string& path, int mode) {
  if (fd_ >= 0 || created_) return false;
  // The file starts owner-only and gets its bits once it is ours, so it is
  // never readable by more people than asked, whatever the umask.
  fd_ = detail::CreateExclusive(path);
  if (fd_ < 0) return false;
  path_ = path;
  created_ = true;
  mode_ = mode;
  buffer_.clear();
  buffer_.reserve(kBufferSize);
  failed_ = !detail::SetModeWhileOpen(fd_, mode);
  if (failed_) Remove();
  return !failed_;
}

bool ExclusiveFileWriter::Flush() {
  return detail::FlushBuffer(buffer_, failed_, fd_, detail::WriteAll);
}

bool ExclusiveFileWriter::Write(const void* data, std::size_t size) {
  return fd_ >= 0 && detail::BufferedWrite(buffer_, failed_, fd_, detail::WriteAll, data, size);
}

bool ExclusiveFileWriter::Close() {
  if (fd_ < 0) return false;
  bool ok = Flush();
  ok = detail::CloseFile(fd_) && ok;
  fd_ = -1;
  if (!ok) {
    Remove();
    return false;
  }
  detail::SetModeWhenClosed(path_, mode_);
  created_ = false;  // the file is the caller's now
  return true;
}

void ExclusiveFileWriter::Remove() {
  if (fd_ >= 0) {
    detail::CloseFile(fd_);
    fd_ = -1;
  }
  if (created_ || !path_.empty()) RemoveFileName(path_);
  created_ = false;
  path_.clear();
  buffer_.clear();
}

bool ReplaceFileWithCopy(const std::string& source, const std::string& target) {
  const intptr_t in = detail::OpenForReading(source);
  if (in < 0) return false;
  AtomicFileWriter out;
  const bool ok = out.Open(target) && CopyFileTo(in, out);
  detail::CloseFile(in);
  return ok && out.Commit();
}

bool AppendFileTo(const std::string& source, ExclusiveFileWriter& out) {
  const intptr_t in = detail::OpenForReading(source);
  if (in < 0) return false;
  const bool ok = detail::IsRegular(in) && CopyFileTo(in, out);
  detail::CloseFile(in);
  return ok;
}

}  // namespace platform
