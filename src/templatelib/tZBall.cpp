#include "templatelib/tZBall.h"

#include <string_view>
#include <utility>

#include "platform/AtomicFile.h"
#include "platform/System.h"
#include "templatelib/ConfigFileWriter.h"
#include "templatelib/DebugOut.h"

namespace {

constexpr wchar_t kCloseComment[] = L"ZARN Config File";
constexpr const wchar_t* kArchiveFolders[] = {L"ZARN", L"ZARN/COM/", L"ZARN/MISC/", L"ZARN/USER/"};

// Every line of the tree goes to the entry through the component's write
// text call, which takes terminated text.
class ComponentTextSink final : public ConfigTextSink {
 public:
  explicit ComponentTextSink(ZlibObj& component) : component_(component) {}
  bool Write(const char* data, size_t size) override {
    scratch_.assign(data, size);
    int32_t written = 0;
    return component_.WriteText(scratch_.c_str(), &written) == 0;
  }

 private:
  ZlibObj& component_;
  std::string scratch_;
};

}  // namespace

tZBall::tZBall(const char* archivePath, platform::FileEnv& env, ZlibFactory factory)
    : env_(env),
      factory_(std::move(factory)),
      component_(factory_ ? factory_(kZlibProgId, env_) : nullptr),
      archivePath_(WidenBytes(archivePath != nullptr ? archivePath : "")) {}

HRESULT tZBall::CreateNewArchive() {
  if (!component_) return E_FAIL;
  if (component_->OpenArchive(archivePath_.c_str(), 0, 0) != 0) return E_FAIL;
  for (const wchar_t* folder : kArchiveFolders) {
    if (component_->AddFolder(folder) != 0) {
      component_->CloseArchive(kCloseComment);
      return E_FAIL;
    }
  }
  return component_->CloseArchive(kCloseComment) == 0 ? S_OK : E_FAIL;
}

HRESULT tZBall::WriteConfiguration(const tAttribute* root) {
  if (!component_) return E_FAIL;
  std::string path;
  if (!NarrowBytes(archivePath_, &path) || !platform::IsReadableFile(path)) {
    return E_FAIL;
  }
  if (component_->OpenArchive(archivePath_.c_str(), 0, 2) != 0) return E_FAIL;
  if (component_->OpenFile(WidenBytes(kConfigEntryName).c_str(), 0) != 0) {
    component_->CloseArchive(kCloseComment);
    return E_FAIL;
  }
  ComponentTextSink sink(*component_);
  if (!WriteConfigTree(root, sink)) {
    // The half-written entry must not reach the archive: drop the component
    // (and with it the open archive) without closing.
    component_ = factory_(kZlibProgId, env_);
    return E_FAIL;
  }
  // Closing is where the component writes the archive; unlike the other
  // comments' closes, its failure is the save's failure.
  return component_->CloseArchive(kCloseComment) == 0 ? S_OK : E_FAIL;
}

HRESULT tZBall::UnzipMiscToTemp(const char* fileName, tString* outPath) {
  if (!component_ || fileName == nullptr || outPath == nullptr) return E_FAIL;
  std::string path;
  if (!NarrowBytes(archivePath_, &path) || !platform::IsReadableFile(path)) {
    return E_FAIL;
  }
  if (component_->OpenArchive(archivePath_.c_str(), 1, 0) != 0) return E_FAIL;
  std::string_view name = fileName;
  size_t separator = name.find_last_of("/\\");
  std::string_view lastPart =
      separator == std::string_view::npos ? name : name.substr(separator + 1);
  const std::wstring entry = WidenBytes(std::string(kMiscFolderEntry) + fileName);
  const std::string destination = platform::TempFolder() + std::string(lastPart);
  const std::wstring wideDestination = WidenBytes(destination);
  bool acceptable = !lastPart.empty() && lastPart != "." && lastPart != "..";
  if (acceptable) {
    // A file left by an earlier extraction is replaced; removing the name
    // removes a link itself, never its target, and the new file is then
    // created exclusively.
    platform::RemoveFileName(destination);
  }
  if (!acceptable || component_->UnzipFile(entry.c_str(), wideDestination.c_str(), -1) != 0) {
    DebugOutW(
        L"tZBall::UnzipMiscToTemp - Error unzipping file %ls from archive %ls to location "
        L"%ls\n",
        entry.c_str(), archivePath_.c_str(), wideDestination.c_str());
    component_->CloseArchive(kCloseComment);
    return E_FAIL;
  }
  if (outPath->Assign(destination.c_str()) != S_OK) {
    component_->CloseArchive(kCloseComment);
    return E_OUTOFMEMORY;
  }
  component_->CloseArchive(kCloseComment);
  return S_OK;
}
