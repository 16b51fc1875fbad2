// tConfigSource::Save: the temporary-file ring, plain and archive targets,
// and the atomic replacement of the target.
#include <cstdio>
#include <string>

#include "platform/AtomicFile.h"
#include "platform/System.h"
#include "templatelib/ConfigFileWriter.h"
#include "templatelib/ConfigPath.h"
#include "templatelib/tConfigSource.h"
#include "templatelib/tZBall.h"

namespace {

class AtomicFileSink final : public ConfigTextSink {
 public:
  explicit AtomicFileSink(platform::AtomicFileWriter& file) : file_(file) {}
  bool Write(const char* data, size_t size) override { return file_.Write(data, size); }

 private:
  platform::AtomicFileWriter& file_;
};

// Copies an existing file's bytes into `out` (append mode keeps them).
bool CopyExistingInto(const std::string& path, platform::AtomicFileWriter& out) {
  if (!platform::IsReadableFile(path)) return true;
  std::FILE* in = std::fopen(path.c_str(), "rb");
  if (in == nullptr) return false;
  char chunk[1 << 16];
  bool ok = true;
  size_t n;
  while (ok && (n = std::fread(chunk, 1, sizeof chunk, in)) > 0) ok = out.Write(chunk, n);
  ok = ok && std::ferror(in) == 0;
  std::fclose(in);
  return ok;
}

bool EndsWithNoCase(const std::string& text, const char* suffix) {
  std::string tail(suffix);
  return text.size() >= tail.size() &&
         tString::CompareNoCase(text.c_str() + text.size() - tail.size(), suffix) == 0;
}

}  // namespace

HRESULT tConfigSource::Save(const char* path, int32_t useTempFile, int32_t tempRingSize,
                            int32_t append) {
  if (root_ == nullptr) return E_FAIL;
  const char* chosen = path != nullptr ? path : fileName_.Text();
  if (chosen == nullptr || chosen[0] == '\0') return E_FAIL;
  const std::string target = chosen;

  std::string tempName = target;
  if (useTempFile != 0) {
    configpath::PathParts parts = configpath::Split(target);
    char counter[16];
    std::snprintf(counter, sizeof counter, "%d", tempCounter_);
    tempName = platform::TempFolder() + parts.base + ".tmp" + counter;
    if (++tempCounter_ >= tempRingSize) tempCounter_ = 0;
  }

  HRESULT hr = configpath::IsArchiveForSave(target) ? SaveArchive(target, tempName)
                                                     : SavePlain(tempName, append != 0);
  if (hr != S_OK) return E_FAIL;
  if (useTempFile != 0) {
    const std::string written =
        configpath::IsArchiveForSave(target) && !EndsWithNoCase(tempName, ".zip")
            ? tempName + ".zip"
            : tempName;
    // The temporary file stays where it is, as the ring expects.
    if (!platform::ReplaceFileWithCopy(written, target)) return E_FAIL;
  }
  return S_OK;
}

HRESULT tConfigSource::SavePlain(const std::string& target, bool append) {
  platform::AtomicFileWriter file;
  if (!file.Open(target)) return E_FAIL;
  if (append && !CopyExistingInto(target, file)) return E_FAIL;
  AtomicFileSink sink(file);
  bool written;
  if (writeBudget_ >= 0) {
    FailingTextSink failing(sink, writeBudget_);
    written = WriteConfigTree(root_, failing);
  } else {
    written = WriteConfigTree(root_, sink);
  }
  // An unwritten file is discarded by the writer; the target stays as it was.
  return written && file.Commit() ? S_OK : E_FAIL;
}

HRESULT tConfigSource::SaveArchive(const std::string& target, const std::string& tempBase) {
  const std::string tempName = EndsWithNoCase(tempBase, ".zip") ? tempBase : tempBase + ".zip";
  tZBall archive(tempName.c_str());
  if (!archive.HasComponent()) return E_FAIL;
  const bool targetExists = platform::IsReadableFile(target);
  if (targetExists && tempName != target) {
    // Work on a copy, so that every other entry of the archive survives.
    if (!platform::ReplaceFileWithCopy(target, tempName)) return E_FAIL;
  } else if (!targetExists) {
    if (archive.CreateNewArchive() != S_OK) return E_FAIL;
  }
  return archive.WriteConfiguration(root_, writeBudget_);
}
