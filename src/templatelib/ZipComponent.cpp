// The compression component over libzip, and the factory that stands where
// the component system's class lookup would.
#include "templatelib/ZipComponent.h"

#include <zip.h>

#include <string>
#include <utility>

#include "platform/AtomicFile.h"

namespace {

constexpr int32_t kOk = 0;
constexpr int32_t kFailed = 1;
// Fast deflate: configuration text is repetitive, so level 1 already
// shrinks it several times, at a fraction of the default level's time.
constexpr zip_uint32_t kCompressionLevel = 1;

class LibzipObj final : public ZlibObj {
 public:
  explicit LibzipObj(platform::FileEnv& env) : env_(env) {}
  void Release() override { delete this; }

  int32_t OpenArchive(const wchar_t* path, int32_t readFlag, int32_t mode) override {
    std::string narrowPath;
    if (archive_ != nullptr || path == nullptr || !NarrowBytes(path, &narrowPath)) return kFailed;
    if (readFlag == 1) {
      int error = 0;
      archive_ = zip_open(narrowPath.c_str(), ZIP_RDONLY, &error);
      if (archive_ == nullptr) return kFailed;
      writing_ = false;
      return kOk;
    }
    if (mode != 0 && mode != 2) return kFailed;
    // An archive being written is built in memory and written through the
    // env when it is closed, so that every byte of a save passes the env.
    // A new archive starts empty; an existing one is read in first.
    archiveBytes_.clear();
    if (mode == 2 && !platform::ReadFileInto(narrowPath, archiveBytes_, env_)) return kFailed;
    zip_error_t error;
    zip_error_init(&error);
    memory_ = zip_source_buffer_create(archiveBytes_.data(), archiveBytes_.size(), 0, &error);
    if (memory_ != nullptr) {
      archive_ = zip_open_from_source(memory_, mode == 0 ? ZIP_CREATE | ZIP_TRUNCATE : 0, &error);
      // The archive holds the memory while open; this object keeps it past
      // the close, to read what the close wrote.
      if (archive_ != nullptr) zip_source_keep(memory_);
    }
    zip_error_fini(&error);
    if (archive_ == nullptr) {
      ReleaseMemory();
      return kFailed;
    }
    writing_ = true;
    writePath_ = narrowPath;
    return kOk;
  }

  int32_t CloseArchive(const wchar_t* comment) override {
    if (archive_ == nullptr) return kFailed;
    CloseCurrentEntry();
    if (!writing_) {
      zip_discard(archive_);
      archive_ = nullptr;
      return kOk;
    }
    bool ok = AddPendingEntry();
    std::string narrowComment;
    if (ok && comment != nullptr && NarrowBytes(comment, &narrowComment)) {
      zip_set_archive_comment(archive_, narrowComment.c_str(),
                              static_cast<zip_uint16_t>(narrowComment.size()));
    }
    if (ok && zip_close(archive_) == 0) {
      archive_ = nullptr;
      ok = WriteArchiveFile();
    } else {
      ok = false;
      zip_discard(archive_);
      archive_ = nullptr;
    }
    ReleaseMemory();
    pendingName_.clear();
    pendingText_.clear();
    pendingText_.shrink_to_fit();
    hasPending_ = false;
    return ok ? kOk : kFailed;
  }

  int32_t OpenFile(const wchar_t* entryName, int32_t /*flags*/) override {
    std::string name;
    if (archive_ == nullptr || entryName == nullptr || !NarrowBytes(entryName, &name)) {
      return kFailed;
    }
    if (writing_) {
      if (!AddPendingEntry()) return kFailed;
      pendingName_ = name;
      pendingText_.clear();
      hasPending_ = true;
      return kOk;
    }
    CloseCurrentEntry();
    file_ = zip_fopen(archive_, name.c_str(), 0);
    if (file_ == nullptr) return kFailed;
    currentName_ = name;
    return kOk;
  }

  int32_t CloseFile() override {
    if (file_ == nullptr) return kFailed;
    CloseCurrentEntry();
    return kOk;
  }

  int32_t ReadBlock(char* buffer, int32_t size, int32_t* count) override {
    if (file_ == nullptr || buffer == nullptr || count == nullptr || size < 0) return kFailed;
    int64_t total = 0;
    while (total < size) {
      zip_int64_t n = zip_fread(file_, buffer + total, static_cast<zip_uint64_t>(size - total));
      if (n < 0) return kFailed;
      if (n == 0) break;
      total += n;
    }
    *count = static_cast<int32_t>(total);
    return kOk;
  }

  int32_t Zgets(std::wstring* line, int32_t maxLength, int32_t /*flags*/) override {
    if (file_ == nullptr || line == nullptr || maxLength < 2) return kFailed;
    line->clear();
    // One byte at a time: only the first line of an entry is read this way.
    while (static_cast<int32_t>(line->size()) < maxLength - 1) {
      unsigned char byte = 0;
      zip_int64_t n = zip_fread(file_, &byte, 1);
      if (n < 0) return kFailed;
      if (n == 0) break;
      line->push_back(static_cast<wchar_t>(byte));
      if (byte == '\n') break;
    }
    return line->empty() ? kFailed : kOk;
  }

  int32_t AddFolder(const wchar_t* name) override {
    std::string folder;
    if (archive_ == nullptr || !writing_ || name == nullptr || !NarrowBytes(name, &folder)) {
      return kFailed;
    }
    return zip_dir_add(archive_, folder.c_str(), ZIP_FL_ENC_GUESS) < 0 ? kFailed : kOk;
  }

  int32_t UnzipFile(const wchar_t* entryName, const wchar_t* destination,
                    int32_t /*flags*/) override {
    std::string name;
    std::string path;
    if (archive_ == nullptr || entryName == nullptr || destination == nullptr ||
        !NarrowBytes(entryName, &name) || !NarrowBytes(destination, &path)) {
      return kFailed;
    }
    zip_file_t* entry = zip_fopen(archive_, name.c_str(), 0);
    if (entry == nullptr) return kFailed;
    platform::ExclusiveFileWriter out(env_);
    bool ok = out.Create(path);
    char chunk[1 << 14];
    while (ok) {
      zip_int64_t n = zip_fread(entry, chunk, sizeof chunk);
      if (n < 0) ok = false;
      if (n <= 0) break;
      ok = out.Write(chunk, static_cast<std::size_t>(n));
    }
    zip_fclose(entry);
    ok = ok && out.Close();
    return ok ? kOk : kFailed;
  }

  int32_t WriteText(const char* text, int32_t* count) override {
    if (!hasPending_ || text == nullptr) return kFailed;
    std::size_t length = std::char_traits<char>::length(text);
    pendingText_.append(text, length);
    if (count != nullptr) *count = static_cast<int32_t>(length);
    return kOk;
  }

  int32_t EntrySize(int64_t* size) override {
    if (file_ == nullptr || size == nullptr) return kFailed;
    zip_stat_t st;
    zip_stat_init(&st);
    if (zip_stat(archive_, currentName_.c_str(), 0, &st) != 0 || (st.valid & ZIP_STAT_SIZE) == 0) {
      return kFailed;
    }
    *size = static_cast<int64_t>(st.size);
    return kOk;
  }

 private:
  ~LibzipObj() override {
    CloseCurrentEntry();
    if (archive_ != nullptr) zip_discard(archive_);
    ReleaseMemory();
  }

  void ReleaseMemory() {
    if (memory_ != nullptr) zip_source_free(memory_);
    memory_ = nullptr;
    archiveBytes_.clear();
    archiveBytes_.shrink_to_fit();
  }

  // Puts what the close left in memory into the file, replacing it in one
  // rename as libzip's own file writing would: an archive the close emptied
  // is removed, an unchanged one is left alone.
  bool WriteArchiveFile() {
    if (zip_source_is_deleted(memory_)) {
      env_.Remove(writePath_);
      return true;
    }
    std::string bytes;
    if (zip_source_open(memory_) < 0) return false;
    char chunk[1 << 16];
    zip_int64_t n;
    while ((n = zip_source_read(memory_, chunk, sizeof chunk)) > 0) {
      bytes.append(chunk, static_cast<std::size_t>(n));
    }
    zip_source_close(memory_);
    if (n < 0) return false;
    if (bytes == archiveBytes_ && !archiveBytes_.empty()) return true;
    platform::AtomicFileWriter file(env_);
    return file.Open(writePath_) && file.Write(bytes.data(), bytes.size()) && file.Commit();
  }

  void CloseCurrentEntry() {
    if (file_ != nullptr) {
      zip_fclose(file_);
      file_ = nullptr;
    }
  }

  // libzip reads a buffer source only when the archive is closed, so the
  // text of the entry being written stays here until then.
  bool AddPendingEntry() {
    if (!hasPending_) return true;
    hasPending_ = false;
    zip_source_t* source = zip_source_buffer(archive_, pendingText_.data(), pendingText_.size(), 0);
    if (source == nullptr) return false;
    zip_int64_t index =
        zip_file_add(archive_, pendingName_.c_str(), source, ZIP_FL_OVERWRITE | ZIP_FL_ENC_GUESS);
    if (index < 0) {
      zip_source_free(source);
      return false;
    }
    zip_set_file_compression(archive_, static_cast<zip_uint64_t>(index), ZIP_CM_DEFLATE,
                             kCompressionLevel);
    return true;
  }

  platform::FileEnv& env_;
  zip_t* archive_ = nullptr;
  bool writing_ = false;
  // While writing: the archive in memory, the bytes it started from, and
  // the file it goes to.
  zip_source_t* memory_ = nullptr;
  std::string archiveBytes_;
  std::string writePath_;
  zip_file_t* file_ = nullptr;
  std::string currentName_;
  bool hasPending_ = false;
  std::string pendingName_;
  std::string pendingText_;
};

}  // namespace

ZlibObjPtr CreateLibzipObject(platform::FileEnv& env) { return ZlibObjPtr(new LibzipObj(env)); }

ZlibObjPtr CreateZlibObject(std::string_view progId, platform::FileEnv& env) {
  if (progId != kZlibProgId) return nullptr;
  return CreateLibzipObject(env);
}

std::wstring WidenBytes(std::string_view bytes) {
  std::wstring wide;
  wide.reserve(bytes.size());
  for (char c : bytes) wide.push_back(static_cast<wchar_t>(static_cast<unsigned char>(c)));
  return wide;
}

bool NarrowBytes(std::wstring_view wide, std::string* bytes) {
  bytes->clear();
  bytes->reserve(wide.size());
  for (wchar_t c : wide) {
    // As unsigned: wchar_t is signed on Linux and 16-bit unsigned on Windows.
    if (static_cast<uint32_t>(c) > 255) return false;
    bytes->push_back(static_cast<char>(static_cast<unsigned char>(c)));
  }
  return true;
}
