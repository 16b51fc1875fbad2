// The two writers, written once over a FileEnv.
#include "platform/AtomicFile.h"

#include "platform/FileCalls.h"
#include "platform/FileEnv.h"
#include "platform/WriteBuffer.h"

namespace platform {

namespace {

constexpr std::size_t kBufferSize = detail::kWriteBlockBytes;

// Passes everything readable from `in` to `out(data, size)`.
template <typename Out>
bool CopyFileTo(FileEnv& env, intptr_t in, Out&& out) {
  std::vector<char> chunk(kBufferSize);
  for (;;) {
    const int64_t n = env.ReadSome(in, chunk.data(), chunk.size());
    if (n < 0) return false;
    if (n == 0) return true;
    if (!out(chunk.data(), static_cast<std::size_t>(n))) return false;
  }
}

// Appends the regular file at `source` to the writer `out`, reading through
// the writer's env.
template <typename Writer>
bool AppendWith(const std::string& source, Writer& out) {
  FileEnv& env = out.env();
  const intptr_t in = env.OpenForReading(source);
  if (in < 0) return false;
  const bool ok = env.IsRegular(in) && CopyFileTo(env, in, [&out](const char* data, std::size_t n) {
                    return out.Write(data, n);
                  });
  env.Close(in);
  return ok;
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
  fd_ = env_->CreateUniqueSibling(folder + "." + target.substr(folder.size()) + ".save", tempPath_);
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
  return detail::FlushBuffer(buffer_, failed_, *env_, fd_) || Failed(target_);
}

bool AtomicFileWriter::Write(const void* data, std::size_t size) {
  return fd_ >= 0 &&
         (detail::BufferedWrite(buffer_, failed_, *env_, fd_, data, size) || Failed(target_));
}

bool AtomicFileWriter::Commit() {
  if (fd_ < 0) return false;
  bool ok = Flush();
  // The target keeps its permission bits; a new one gets the default.
  constexpr unsigned kNoTarget = ~0u;
  const unsigned targetMode = FileModeOr(target_, kNoTarget);
  const int mode = targetMode == kNoTarget ? -1 : static_cast<int>(targetMode);
  ok = ok && (env_->SetModeWhileOpen(fd_, mode) || Failed(target_));
  ok = ok && (env_->Sync(fd_) || Failed(target_));
  ok = (env_->Close(fd_) || Failed(target_)) && ok;
  fd_ = -1;
  ok = ok && (env_->RenameOver(tempPath_, target_) || Failed(target_));
  if (!ok) env_->Remove(tempPath_);
  tempPath_.clear();
  return ok;
}

void AtomicFileWriter::Discard() {
  if (fd_ >= 0) {
    env_->Close(fd_);
    fd_ = -1;
  }
  if (!tempPath_.empty()) {
    env_->Remove(tempPath_);
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
  fd_ = env_->CreateExclusive(path);
  if (fd_ < 0) return false;
  path_ = path;
  created_ = true;
  mode_ = mode;
  buffer_.clear();
  buffer_.reserve(kBufferSize);
  failed_ = !env_->SetModeWhileOpen(fd_, mode);
  if (failed_) Remove();
  return !failed_;
}

bool ExclusiveFileWriter::Flush() { return detail::FlushBuffer(buffer_, failed_, *env_, fd_); }

bool ExclusiveFileWriter::Write(const void* data, std::size_t size) {
  return fd_ >= 0 && detail::BufferedWrite(buffer_, failed_, *env_, fd_, data, size);
}

bool ExclusiveFileWriter::Close() {
  if (fd_ < 0) return false;
  bool ok = Flush();
  ok = env_->Close(fd_) && ok;
  fd_ = -1;
  if (!ok) {
    Remove();
    return false;
  }
  env_->SetModeWhenClosed(path_, mode_);
  created_ = false;  // the file is the caller's now
  return true;
}

void ExclusiveFileWriter::Remove() {
  if (fd_ >= 0) {
    env_->Close(fd_);
    fd_ = -1;
  }
  if (created_ || !path_.empty()) env_->Remove(path_);
  created_ = false;
  path_.clear();
  buffer_.clear();
}

bool ReplaceFileWithCopy(const std::string& source, const std::string& target, FileEnv& env) {
  const intptr_t in = env.OpenForReading(source);
  if (in < 0) return false;
  AtomicFileWriter out(env);
  const bool ok = out.Open(target) && CopyFileTo(env, in, [&out](const char* data, std::size_t n) {
                    return out.Write(data, n);
                  });
  env.Close(in);
  return ok && out.Commit();
}

bool AppendFileTo(const std::string& source, ExclusiveFileWriter& out) {
  return AppendWith(source, out);
}

bool AppendFileTo(const std::string& source, AtomicFileWriter& out) {
  return AppendWith(source, out);
}

bool ReadFileInto(const std::string& path, std::string& out, FileEnv& env) {
  const intptr_t in = env.OpenForReading(path);
  if (in < 0) return false;
  out.clear();
  const bool ok = env.IsRegular(in) && CopyFileTo(env, in, [&out](const char* data, std::size_t n) {
                    out.append(data, n);
                    return true;
                  });
  env.Close(in);
  return ok;
}

}  // namespace platform
