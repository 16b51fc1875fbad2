// tConfigSource::LoadAttributesFromFile: plain text read line by line, or
// the configuration entry of an archive read into memory in one go.
#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <new>
#include <string>
#include <system_error>
#include <vector>

#include "platform/Clock.h"
#include "platform/File.h"
#include "platform/Termination.h"
#include "templatelib/ConfigFileReader.h"
#include "templatelib/ConfigPath.h"
#include "templatelib/DebugOut.h"
#include "templatelib/ZipComponent.h"
#include "templatelib/tConfigSource.h"
#include "templatelib/tZBall.h"

namespace {

constexpr wchar_t kLoadCloseComment[] = L"Zarn Config File";
constexpr int32_t kFirstLineLimit = 128;
// The entry is read in pieces of this size at most, so memory follows the
// bytes that actually arrive, not what the entry claims.
constexpr int64_t kReadPiece = int64_t{1} << 24;

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

double SecondsSince(int64_t startTicks) {
  return static_cast<double>(platform::CounterNow() - startTicks) / 1e9;  // counts nanoseconds
}

// A root node from a parsed root line.
tAttribute* MakeRoot(const configtext::LineParts& parts) {
  tAttribute* root = AttributePool().Take();
  if (root == nullptr) return nullptr;
  root->rowState = kRowUnchanged;
  if (root->name.AssignN(parts.word.data(), static_cast<int32_t>(parts.word.size())) != S_OK ||
      root->value.AssignN(parts.second.data(), static_cast<int32_t>(parts.second.size())) != S_OK) {
    delete root;
    return nullptr;
  }
  return root;
}

void ReportLongLine(long long line) {
  DebugOut(
      "tConfigSource::LoadAttributesFromFile, line %lld is longer than %lld bytes. Illegal "
      "config file?\n",
      line, static_cast<long long>(kMaxLineBytes));
}

// The root line's own oddity: carriage returns inside it (a file with old
// Mac line ends reads as one line, so the whole configuration hides there).
bool ReportInnerCarriageReturns(std::string_view line) {
  size_t end = line.size();
  while (end > 0 && configtext::IsBlank(line[end - 1])) --end;
  if (line.substr(0, end).find('\r') == std::string_view::npos) return false;
  DebugOut(
      "tConfigSource::LoadAttributesFromFile, line 1 (the root line) holds carriage "
      "returns inside it; everything after its second word is ignored\n");
  return true;
}

// The first line must be "Root NAME ..."; anything else is no configuration,
// and the message shows what the line began with.
bool ReadRootLine(std::string_view line, configtext::LineParts* parts) {
  if (configtext::ParseRootLine(line, parts)) return true;
  constexpr size_t kShown = 60;
  std::string shown(line.substr(0, kShown));
  for (char& c : shown) {
    if (static_cast<unsigned char>(c) < 0x20) c = ' ';
  }
  DebugOut(
      "tConfigSource::LoadAttributesFromFile, line 1 is not a root line (\"Root NAME\"): "
      "\"%s%s\". Illegal config file?\n",
      shown.c_str(), line.size() > kShown ? "..." : "");
  return false;
}

// The size of the file at `path`, or -1 when it cannot be learnt.
int64_t InputBytes(const char* path) {
  std::error_code error;
  const std::uintmax_t size = std::filesystem::file_size(path, error);
  return error ? -1 : static_cast<int64_t>(size);
}

// Parses everything after the root line; on failure reports it, destroys
// the partial tree and returns null. `ignoredLine` gets the first line of
// text after the root block, which the format ignores.
tAttribute* ParseBody(tAttribute* root, ConfigLineSource& source, int64_t* ignoredLine,
                      int64_t maxNodes) {
  std::unique_ptr<tAttribute> guard(root);
  const configtext::BlockOutcome outcome = configtext::ParseBlocks(root, source, maxNodes);
  const long long line = outcome.line;
  switch (outcome.result) {
    case configtext::BlockResult::kComplete:
      if (outcome.ignoredFrom != 0) {
        if (*ignoredLine == 0) *ignoredLine = outcome.ignoredFrom;
        DebugOut(
            "tConfigSource::LoadAttributesFromFile, the root block ends before line %lld; "
            "the text from there on is ignored\n",
            static_cast<long long>(outcome.ignoredFrom));
      }
      root->name.Trim();
      root->value.Trim();
      return guard.release();
    case configtext::BlockResult::kUnclosed:
      DebugOut(
          "tConfigSource::LoadAttributesFromFile, config file ended inside an open block "
          "at line %lld. Truncated config file?\n",
          line);
      break;
    case configtext::BlockResult::kReadError:
      DebugOut(
          "tConfigSource::LoadAttributesFromFile, failed reading config file after line "
          "%lld\n",
          line);
      break;
    case configtext::BlockResult::kOutOfMemory:
      DebugOut("tConfigSource::LoadAttributesFromFile, out of memory at line %lld\n", line);
      break;
    case configtext::BlockResult::kLineTooLong:
      ReportLongLine(line);
      break;
    case configtext::BlockResult::kTooDeep:
      DebugOut(
          "tConfigSource::LoadAttributesFromFile, line %lld opens a block deeper than %lld "
          "levels. Illegal config file?\n",
          line, static_cast<long long>(kMaxDepth));
      break;
    case configtext::BlockResult::kTooManyNodes:
      DebugOut(
          "tConfigSource::LoadAttributesFromFile, line %lld passes the limit of %lld nodes. "
          "Illegal config file?\n",
          line, static_cast<long long>(maxNodes));
      DebugOut(
          "the limit keeps the memory a file may take to 64 times its size and 64 MiB, at "
          "most 1.5 GiB\n");
      break;
    case configtext::BlockResult::kInterrupted:
      DebugOut(
          "tConfigSource::LoadAttributesFromFile, stopped at line %lld: the process is "
          "ending\n",
          line);
      break;
  }
  return nullptr;
}

}  // namespace

tAttribute* tConfigSource::LoadAttributesFromFile(const char* path, int32_t depth,
                                                  const char* nameFilter, const char* valueFilter) {
  ReleaseTree();
  treeChanged = 1;
  ignoredTextLine_ = 0;
  if (path == nullptr || path[0] == '\0') return nullptr;
  if (fileName_.Assign(path) != S_OK) return nullptr;
  if (depth != 0 || nameFilter != nullptr || valueFilter != nullptr) {
    DebugOut(
        "tConfigSource::LoadAttributesFromFile, partial loads are not supported (depth %d, "
        "name filter %s, value filter %s); only depth 0 without filters\n",
        depth, nameFilter != nullptr ? nameFilter : "(null)",
        valueFilter != nullptr ? valueFilter : "(null)");
    return nullptr;
  }
  try {
    root_ = configpath::IsArchiveForLoad(path) ? LoadArchive(path) : LoadPlain(path);
  } catch (const std::bad_alloc&) {
    // Whatever was built is gone with the stack; the source has no tree.
    DebugOut("tConfigSource::LoadAttributesFromFile, out of memory loading %s\n", path);
    root_ = nullptr;
  }
  return root_;
}

tAttribute* tConfigSource::LoadPlain(const char* path) {
  std::unique_ptr<std::FILE, FileCloser> file(platform::OpenStreamForReading(path, "r"));
  if (!file) return nullptr;
  // A device, a pipe or a folder is no configuration: /dev/zero would be
  // read for ever.
  if (!platform::IsRegularFile(file.get())) {
    DebugOut("tConfigSource::LoadAttributesFromFile, %s is not a regular file\n", path);
    return nullptr;
  }
  const int64_t budget = LoadBudgetBytes(InputBytes(path));
  FileLineSource source(file.get());
  std::string_view line;
  if (!source.NextLine(&line)) {
    if (source.LineTooLong()) {
      ReportLongLine(1);
      return nullptr;
    }
    DebugOut(
        "tConfigSource::LoadAttributesFromFile, failed in config file FGets.. Illegal "
        "config file?\n");
    return nullptr;
  }
  configtext::LineParts parts;
  if (!ReadRootLine(line, &parts)) return nullptr;
  if (ReportInnerCarriageReturns(line)) ignoredTextLine_ = 1;
  tAttribute* root = MakeRoot(parts);
  if (root == nullptr) return nullptr;
  // The text is read a chunk at a time: only the tree takes room.
  return ParseBody(root, source, &ignoredTextLine_, NodeLimit(budget, 0));
}

tAttribute* tConfigSource::LoadArchive(const char* path) {
  ZlibObjPtr component = zlibFactory_ ? zlibFactory_(kZlibProgId, *fileEnv_) : nullptr;
  if (!component) {
    DebugOut("tConfigSource::LoadAttributesFromFile, failed to create ZarnZLibInterface.ZlibObj\n");
    return nullptr;
  }
  const std::wstring widePath = WidenBytes(path);
  if (component->OpenArchive(widePath.c_str(), 1, 0) != 0) {
    DebugOut("tConfigSource::LoadAttributesFromFile, failed in ZarnZLibInterface OpenArchive\n");
    return nullptr;
  }
  // From here on every way out closes the archive first.
  struct ArchiveCloser {
    ZlibObj& component;
    ~ArchiveCloser() { component.CloseArchive(kLoadCloseComment); }
  } closer{*component};

  const std::wstring entry = WidenBytes(kConfigEntryName);
  if (component->OpenFile(entry.c_str(), 0) != 0) {
    DebugOut("tConfigSource::LoadAttributesFromFile, failed in ZarnZLibInterface OpenFile\n");
    return nullptr;
  }
  std::wstring wideLine;
  std::string firstLine;
  if (component->Zgets(&wideLine, kFirstLineLimit, 0) != 0 || !NarrowBytes(wideLine, &firstLine)) {
    DebugOut(
        "tConfigSource::LoadAttributesFromFile, failed in ZarnZLibInterface Zgets. Illegal "
        "config file?\n");
    return nullptr;
  }
  configtext::LineParts parts;
  if (!ReadRootLine(firstLine, &parts)) return nullptr;

  // A small archive can unpack to far more than it holds: the text it may
  // unpack to, and the tree beside it, are bounded by the archive's size.
  const int64_t budget = LoadBudgetBytes(InputBytes(path));
  const int64_t accepted = std::min(kMaxArchiveConfigBytes, budget - kLoadBaselineBytes);
  int64_t declared = 0;
  if (component->EntrySize(&declared) != 0 || declared < 0 || declared > accepted) {
    DebugOut("tConfigSource::LoadAttributesFromFile, ZarnZLibInterface entry %s declares %" PRId64
             " bytes (at most %" PRId64 " accepted). Illegal config file?\n",
             kConfigEntryName, declared, accepted);
    DebugOut("an archive may unpack to at most 64 times its size and 32 MiB, at most 1 GiB\n");
    return nullptr;
  }

  int64_t start = platform::CounterNow();
  component->CloseFile();
  if (component->OpenFile(entry.c_str(), 0) != 0) {
    DebugOut("tConfigSource::LoadAttributesFromFile, failed in ZarnZLibInterface OpenFile\n");
    return nullptr;
  }
  DebugOut("ZarnTemplateLib::CreateAttributeBuffer() - Open/close took %f seconds\n",
           SecondsSince(start));

  start = platform::CounterNow();
  std::vector<char> text;
  int64_t total = 0;
  bool readOk = true;
  while (readOk && total < declared) {
    if (platform::TerminationRequested()) {
      DebugOut(
          "tConfigSource::LoadAttributesFromFile, stopped reading %s: the process is "
          "ending\n",
          kConfigEntryName);
      return nullptr;
    }
    int64_t piece = std::min(kReadPiece, declared - total);
    if (static_cast<int64_t>(text.size()) < total + piece) {
      int64_t grown = std::max<int64_t>(total + piece, static_cast<int64_t>(text.size()) * 2);
      grown = std::min(grown, declared);
      try {
        text.resize(static_cast<size_t>(grown));
      } catch (const std::bad_alloc&) {
        readOk = false;
        break;
      }
    }
    int32_t count = 0;
    if (component->ReadBlock(text.data() + total, static_cast<int32_t>(piece), &count) != 0 ||
        count <= 0) {
      readOk = false;
      break;
    }
    total += count;
  }
  // The entry must end exactly where it said it would: one more byte, or a
  // failed check at its end, means the archive lies about this entry.
  char probe = 0;
  int32_t extra = 0;
  if (readOk && (component->ReadBlock(&probe, 1, &extra) != 0 || extra != 0)) readOk = false;
  DebugOut(
      "ZarnTemplateLib::CreateAttributesBuffer() - Config file load took %f seconds with a "
      "buffer size of %d bytes\n",
      SecondsSince(start), static_cast<int32_t>(declared));
  if (!readOk) {
    DebugOut(
        "tConfigSource::LoadAttributesFromFile, failed in ZarnZLibInterface reading %s "
        "(%" PRId64 " of %" PRId64 " bytes). Illegal config file?\n",
        kConfigEntryName, total, declared);
    return nullptr;
  }

  return LoadBuffer(std::string_view(text.data(), static_cast<size_t>(total)), budget);
}

tAttribute* tConfigSource::LoadAttributesFromText(std::string_view text) {
  ReleaseTree();
  treeChanged = 1;
  ignoredTextLine_ = 0;
  fileName_.Assign("");
  try {
    root_ = LoadBuffer(text, LoadBudgetBytes(static_cast<int64_t>(text.size())));
  } catch (const std::bad_alloc&) {
    DebugOut("tConfigSource::LoadAttributesFromText, out of memory\n");
    root_ = nullptr;
  }
  return root_;
}

tAttribute* tConfigSource::LoadBuffer(std::string_view text, int64_t budgetBytes) {
  BufferLineSource source(text);
  std::string_view line;
  if (!source.NextLine(&line)) {
    if (source.LineTooLong()) ReportLongLine(1);
    return nullptr;
  }
  configtext::LineParts parts;
  if (!ReadRootLine(line, &parts)) return nullptr;
  if (ReportInnerCarriageReturns(line)) ignoredTextLine_ = 1;
  tAttribute* root = MakeRoot(parts);
  if (root == nullptr) return nullptr;
  return ParseBody(root, source, &ignoredTextLine_,
                   NodeLimit(budgetBytes, static_cast<int64_t>(text.size())));
}
