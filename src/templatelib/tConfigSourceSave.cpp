// tConfigSource::Save: the temporary-file ring, plain and archive targets,
// and the atomic replacement of the target.
//
// Every save but a plain one without the ring is staged: the new content is
// written in full into a staging file that this save created exclusively
// (so two processes never share one, and an old file or a planted link at
// that name is never written through), with the target's permission bits
// (0600 for a new target), and only then copied over the target in one
// rename. The staging file is removed whether the save succeeds or fails,
// so a failed save leaves no new file behind and the target untouched.
#include <cstdio>
#include <new>
#include <string>

#include "platform/AtomicFile.h"
#include "platform/System.h"
#include "templatelib/ConfigFileWriter.h"
#include "templatelib/ConfigPath.h"
#include "templatelib/DebugOut.h"
#include "templatelib/tConfigSource.h"
#include "templatelib/tZBall.h"

namespace {

// How many staging names a save tries after the ring's own before it gives
// up: each one taken is another process's save in progress or an old file.
constexpr int32_t kStagingNameTries = 100;
constexpr unsigned kNewFileMode = 0600;

template <typename Writer>
class WriterSink final : public ConfigTextSink {
 public:
  explicit WriterSink(Writer& file) : file_(file) {}
  bool Write(const char* data, size_t size) override { return file_.Write(data, size); }

 private:
  Writer& file_;
};

bool EndsWithNoCase(const std::string& text, const char* suffix) {
  std::string tail(suffix);
  return text.size() >= tail.size() &&
         tString::CompareNoCase(text.c_str() + text.size() - tail.size(), suffix) == 0;
}

// The staging name for attempt `counter`: with the ring
// "<tempfolder><base>.tmp<n>", else a hidden sibling of the target; archives
// end in ".zip".
std::string StagingName(const std::string& named, const std::string& target, bool ring,
                        bool archive, int32_t counter) {
  char number[16];
  std::snprintf(number, sizeof number, "%d", counter);
  std::string name;
  if (ring) {
    name = platform::TempFolder() + configpath::Split(named).base + ".tmp" + number;
  } else {
    configpath::PathParts parts = configpath::Split(target);
    name = parts.folder + "." + parts.base + parts.extension + ".tmp" + number;
  }
  if (archive && !EndsWithNoCase(name, ".zip")) name += ".zip";
  return name;
}

// Removes the staging file on every way out of the save.
struct StageRemover {
  platform::FileEnv& env;
  std::string path;
  ~StageRemover() {
    if (!path.empty()) env.Remove(path);
  }
};

}  // namespace

HRESULT tConfigSource::Save(const char* path, int32_t useTempFile, int32_t tempRingSize,
                            int32_t append) {
  if (root_ == nullptr) return E_FAIL;
  const char* chosen = path != nullptr ? path : fileName_.Text();
  if (chosen == nullptr || chosen[0] == '\0') return E_FAIL;
  try {
    return SaveTo(chosen, useTempFile != 0, tempRingSize, append != 0);
  } catch (const std::bad_alloc&) {
    DebugOut("tConfigSource::Save, out of memory saving %s\n", chosen);
    return E_OUTOFMEMORY;
  }
}

HRESULT tConfigSource::SaveTo(const std::string& named, bool useTempFile, int32_t tempRingSize,
                              bool append) {
  // Through a symbolic link the file it points at is replaced, so the link
  // stays and keeps pointing at the new content.
  const std::string target = platform::FinalLinkTarget(named);
  if (target.empty()) {
    DebugOut("tConfigSource::Save, %s is a chain of too many links\n", named.c_str());
    return E_FAIL;
  }
  // Archive or plain by the rule the load uses, so that a file saved where
  // it was loaded from ("s.zip.bak") keeps its kind and its other entries.
  const bool archive = configpath::IsArchiveForLoad(named);
  const int32_t counter = tempCounter_;
  if (useTempFile && ++tempCounter_ >= tempRingSize) tempCounter_ = 0;
  if (!useTempFile && !archive) return SavePlain(target, append);

  const unsigned mode = platform::FileModeOr(target, kNewFileMode);
  platform::ExclusiveFileWriter stage(*fileEnv_);
  StageRemover remover{*fileEnv_, {}};
  for (int32_t attempt = 0; attempt <= kStagingNameTries && remover.path.empty(); ++attempt) {
    std::string name = StagingName(named, target, useTempFile, archive, counter + attempt);
    if (stage.Create(name, static_cast<int>(mode))) remover.path = name;
  }
  if (remover.path.empty()) {
    DebugOut("tConfigSource::Save, no staging file could be created for %s\n", named.c_str());
    return E_FAIL;
  }
  const bool targetExists = platform::IsReadableFile(target);
  bool ok = true;
  if ((archive || append) && targetExists) ok = platform::AppendFileTo(target, stage);
  if (ok && !archive) {
    WriterSink<platform::ExclusiveFileWriter> sink(stage);
    ok = WriteConfigTree(root_, sink);
  }
  ok = stage.Close() && ok;
  if (ok && archive) ok = SaveArchive(remover.path, targetExists) == S_OK;
  if (!ok) return E_FAIL;
  return platform::ReplaceFileWithCopy(remover.path, target, *fileEnv_) ? S_OK : E_FAIL;
}

HRESULT tConfigSource::SavePlain(const std::string& target, bool append) {
  platform::AtomicFileWriter file(*fileEnv_);
  // The writer knows why it failed (the folder, the disk); say so.
  auto failed = [&file] {
    if (!file.error().ok()) {
      DebugOut("tConfigSource::Save, %s\n", file.error().message().c_str());
    }
    return E_FAIL;
  };
  if (!file.Open(target)) return failed();
  // Appending: the old bytes first (when there are any), then the tree.
  if (append && platform::IsReadableFile(target) && !platform::AppendFileTo(target, file)) {
    return E_FAIL;
  }
  WriterSink<platform::AtomicFileWriter> sink(file);
  // An unwritten file is discarded by the writer; the target stays as it was.
  if (!WriteConfigTree(root_, sink) || !file.Commit()) return failed();
  return S_OK;
}

HRESULT tConfigSource::SaveArchive(const std::string& stagePath, bool holdsArchive) {
  tZBall archive(stagePath.c_str(), *fileEnv_, zlibFactory_);
  if (!archive.HasComponent()) return E_FAIL;
  // The stage holds a copy of the existing archive, so every other entry
  // survives; a new archive starts with its folders.
  if (!holdsArchive && archive.CreateNewArchive() != S_OK) return E_FAIL;
  return archive.WriteConfiguration(root_);
}
