#include "templatelib/ConfigFileReader.h"

#include <climits>
#include <cstring>

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
      *line = std::string_view(start, length);
      begin_ += length + 1;
      ++lineNumber_;
      return true;
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
  return parts->word.size() == 4 && tString::CompareNoCase(std::string(parts->word).c_str(), "Root") == 0 &&
         !parts->second.empty();
}

BlockResult ParseBlocks(tAttribute* root, ConfigLineSource& source) {
  // One frame per open block: the node its lines attach to, and the node
  // read last at its level (the parent of a block opened next).
  struct Frame {
    tAttribute* attachTo;
    tAttribute* lastRead;
  };
  std::vector<Frame> open;
  Frame current{root, root};
  std::string_view line;
  while (source.NextLine(&line)) {
    LineParts parts = SplitLine(line);
    if (parts.word.empty()) continue;
    if (parts.word.front() == '{') {
      open.push_back(current);
      current = Frame{current.lastRead, current.lastRead};
      continue;
    }
    if (parts.word.front() == '}') {
      if (open.empty()) return BlockResult::kComplete;
      current = open.back();
      open.pop_back();
      continue;
    }
    // A string holds at most 2 GiB; a longer line cannot become a node.
    if (parts.value.size() >= static_cast<size_t>(INT32_MAX) - tString::kSpareBytes) {
      return BlockResult::kOutOfMemory;
    }
    tAttribute* node = AttributePool().Take();
    if (node == nullptr) return BlockResult::kOutOfMemory;
    node->rowState = kRowUnchanged;
    if (node->name.AssignN(parts.word.data(), static_cast<int32_t>(parts.word.size())) != S_OK ||
        node->value.AssignN(parts.value.data(), static_cast<int32_t>(parts.value.size())) !=
            S_OK ||
        current.attachTo->AddChild(node) != S_OK) {
      tAttribute::ReleaseToPool(node, true);
      return BlockResult::kOutOfMemory;
    }
    current.lastRead = node;
  }
  if (source.ReadFailed()) return BlockResult::kReadError;
  return open.empty() ? BlockResult::kComplete : BlockResult::kUnclosed;
}

}  // namespace configtext
