#include "templatelib/ConfigFileReader.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "platform/Termination.h"

namespace {

constexpr size_t kChunkSize = 1 << 20;

}  // namespace

FileLineSource::FileLineSource(std::FILE* stream) : stream_(stream), buffer_(kChunkSize) {}

bool FileLineSource::Refill() {
  // Keep the unread tail, then fill up behind it; a line longer than the
  // buffer doubles it.
  if (begin_ > 0) {
    std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
    end_ -= begin_;
    begin_ = 0;
  }
  if (end_ == buffer_.size()) buffer_.resize(buffer_.size() * 2);
  size_t n = std::fread(buffer_.data() + end_, 1, buffer_.size() - end_, stream_);
  end_ += n;
  if (n == 0) {
    atEof_ = true;
    failed_ = std::ferror(stream_) != 0;
  }
  return n > 0;
}

bool FileLineSource::NextLine(std::string_view* line) {
  size_t searchFrom = begin_;
  for (;;) {
    const char* start = buffer_.data() + begin_;
    const void* feed = std::memchr(buffer_.data() + searchFrom, '\n', end_ - searchFrom);
    if (feed != nullptr) {
      size_t length = static_cast<const char*>(feed) - start;
      if (length > kMaxLineBytes) {
        tooLong_ = true;
        ++lineNumber_;
        return false;
      }
      *line = std::string_view(start, length);
      begin_ += length + 1;
      ++lineNumber_;
      return true;
    }
    if (end_ - begin_ > kMaxLineBytes) {
      tooLong_ = true;
      lineNumber_ += 1;
      return false;
    }
    if (atEof_) {
      if (begin_ == end_ || failed_) return false;
      // A last line without a line feed.
      *line = std::string_view(start, end_ - begin_);
      begin_ = end_;
      ++lineNumber_;
      return true;
    }
    size_t scanned = end_ - begin_;
    Refill();
    searchFrom = begin_ + scanned;
  }
}

bool BufferLineSource::NextLine(std::string_view* line) {
  if (done_ || rest_.empty()) return false;
  size_t feed = rest_.find('\n');
  if ((feed == std::string_view::npos ? rest_.size() : feed) > kMaxLineBytes) {
    tooLong_ = true;
    done_ = true;
    ++lineNumber_;
    return false;
  }
  if (feed == std::string_view::npos) {
    *line = rest_;
    rest_ = {};
    done_ = true;
  } else {
    *line = rest_.substr(0, feed);
    rest_.remove_prefix(feed + 1);
  }
  ++lineNumber_;
  return true;
}

namespace configtext {

LineParts SplitLine(std::string_view line) {
  // Text ends at a NUL byte, as it always did for the line reader: what
  // follows on that line is not part of any name or value.
  if (const void* nul = std::memchr(line.data(), '\0', line.size())) {
    line = line.substr(0, static_cast<size_t>(static_cast<const char*>(nul) - line.data()));
  }
  LineParts parts;
  size_t i = 0;
  while (i < line.size() && IsBlank(line[i])) ++i;
  size_t wordStart = i;
  while (i < line.size() && !IsBlank(line[i])) ++i;
  parts.word = line.substr(wordStart, i - wordStart);
  while (i < line.size() && IsBlank(line[i])) ++i;
  size_t end = line.size();
  while (end > i && IsBlank(line[end - 1])) --end;
  parts.value = line.substr(i, end - i);
  return parts;
}

bool ParseRootLine(std::string_view line, LineParts* parts) {
  *parts = SplitLine(line);
  size_t secondEnd = 0;
  while (secondEnd < parts->value.size() && !IsBlank(parts->value[secondEnd])) ++secondEnd;
  parts->second = parts->value.substr(0, secondEnd);
  return parts->word.size() == 4 &&
         tString::CompareNoCase(std::string(parts->word).c_str(), "Root") == 0 &&
         !parts->second.empty();
}

namespace {

// Why the source stopped giving lines: its end, or one of its failures.
BlockResult EndOf(const ConfigLineSource& source, bool insideBlock) {
  if (source.LineTooLong()) return BlockResult::kLineTooLong;
  if (source.ReadFailed()) return BlockResult::kReadError;
  return insideBlock ? BlockResult::kUnclosed : BlockResult::kComplete;
}

bool TimeToStop(const ConfigLineSource& source) {
  return source.LineNumber() % kTerminationCheckLines == 0 && platform::TerminationRequested();
}

// After the outermost '}': the first line that still holds text, which
// the reading ignores (0 when there is none, or the source fails first).
int64_t FirstIgnoredLine(ConfigLineSource& source) {
  std::string_view line;
  while (source.NextLine(&line)) {
    if (!SplitLine(line).word.empty()) return source.LineNumber();
    if (TimeToStop(source)) return 0;
  }
  return 0;
}

}  // namespace

BlockOutcome ParseBlocks(tAttribute* root, ConfigLineSource& source, int64_t maxNodes) {
  // One frame per open block: the node its lines attach to, and the node
  // read last at its level (the parent of a block opened next).
  struct Frame {
    tAttribute* attachTo;
    tAttribute* lastRead;
  };
  std::vector<Frame> open;
  Frame current{root, root};
  int64_t nodes = 1;  // the root
  BlockOutcome outcome;
  auto fail = [&](BlockResult result) {
    outcome.result = result;
    outcome.line = source.LineNumber();
    return outcome;
  };
  std::string_view line;
  while (source.NextLine(&line)) {
    if (TimeToStop(source)) return fail(BlockResult::kInterrupted);
    LineParts parts = SplitLine(line);
    if (parts.word.empty()) continue;
    if (parts.word.front() == '{') {
      if (static_cast<int64_t>(open.size()) >= kMaxDepth) return fail(BlockResult::kTooDeep);
      open.push_back(current);
      current = Frame{current.lastRead, current.lastRead};
      continue;
    }
    if (parts.word.front() == '}') {
      if (open.empty()) {
        outcome.ignoredFrom = FirstIgnoredLine(source);
        return outcome;
      }
      current = open.back();
      open.pop_back();
      continue;
    }
    if (++nodes > maxNodes) return fail(BlockResult::kTooManyNodes);
    tAttribute* node = AttributePool().Take();
    if (node == nullptr) return fail(BlockResult::kOutOfMemory);
    node->rowState = kRowUnchanged;
    if (node->name.AssignN(parts.word.data(), static_cast<int32_t>(parts.word.size())) != S_OK ||
        node->value.AssignN(parts.value.data(), static_cast<int32_t>(parts.value.size())) != S_OK ||
        current.attachTo->AddChild(node) != S_OK) {
      tAttribute::ReleaseToPool(node, true);
      return fail(BlockResult::kOutOfMemory);
    }
    current.lastRead = node;
  }
  BlockResult end = EndOf(source, !open.empty());
  if (end != BlockResult::kComplete) return fail(end);
  return outcome;
}

}  // namespace configtext

int64_t LoadBudgetBytes(int64_t inputBytes) {
  if (inputBytes < 0 || inputBytes > kMemoryCeilingBytes / 64) return kMemoryCeilingBytes;
  return std::min(kMemoryCeilingBytes, 64 * inputBytes + (int64_t{64} << 20));
}

int64_t NodeLimit(int64_t budgetBytes, int64_t textBytes) {
  const int64_t room = budgetBytes - kLoadBaselineBytes - std::max<int64_t>(textBytes, 0);
  return std::clamp<int64_t>(room / kBytesPerNode, 1, kMaxNodes);
}
