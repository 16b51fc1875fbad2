// Reading the configuration text format into an attribute tree.
//
// The format: a first line "Root <version>" (the word Root in any letter
// case; anything after the second word is ignored), then one node per line:
// the first white-space-delimited word is the node's name and the rest of the
// line, after the white space that follows the name and without trailing
// white space, is its value, byte for byte. A word beginning with '{' opens a
// block whose nodes become children of the node read last at the enclosing
// level; a word beginning with '}' closes it (at the outermost level it ends
// the reading). Blank lines are skipped; the rest of a brace line is ignored.
// A NUL byte ends the text of its line.
//
// Blocks are tracked on a heap stack, not by recursion. A text that ends
// inside an open block is refused, so that a truncated file never loads as a
// complete configuration with tables missing.
//
// Hostile input is bounded: a line longer than kMaxLineBytes, blocks nested
// deeper than kMaxDepth and more than kMaxNodes nodes fail the read (real
// configurations are four levels deep, with about 270,000 nodes in lines of
// under 2 KB for the largest parameter set; a deep file would save in
// quadratic size, as every level adds three blanks to every line below it).
// Every kTerminationCheckLines lines the reader asks whether the process was
// asked to end, and stops if so.
//
// Line sources hand out lines without their line feed. FileLineSource reads
// a stream in large chunks; BufferLineSource splits a text already in memory.
//
// Thread safety: a reader and its source are used by one thread at a time.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string_view>
#include <vector>

#include "templatelib/Result.h"
#include "templatelib/tAttribute.h"

inline constexpr size_t kMaxLineBytes = size_t{64} << 20;
inline constexpr int64_t kMaxDepth = 256;

// Memory is bounded by what the input holds: loading a file of S bytes may
// use at most LoadBudgetBytes(S) = min(1.5 GiB, 64 x S + 64 MiB) before it is
// refused. The smallest node (a one-letter line) costs 208 bytes of resident
// memory measured on a million of them; kBytesPerNode leaves room for the
// allocator's rounding. kLoadBaselineBytes is the program and its libraries.
// The largest real configuration (262,144 parameters, ~262,500 nodes, 46 MB
// of text, 3 MB zipped) is far inside every limit.
inline constexpr int64_t kMemoryCeilingBytes = int64_t{1536} << 20;
inline constexpr int64_t kBytesPerNode = 256;
inline constexpr int64_t kLoadBaselineBytes = int64_t{32} << 20;
inline constexpr int64_t kMaxNodes = (kMemoryCeilingBytes - kLoadBaselineBytes) / kBytesPerNode;

// The memory a load of an input of `inputBytes` may use (a negative size,
// when it cannot be learnt, gives the ceiling).
int64_t LoadBudgetBytes(int64_t inputBytes);
// The nodes a tree may hold within `budgetBytes` once `textBytes` of text
// are held in memory beside it; at least 1 (the root), at most kMaxNodes.
int64_t NodeLimit(int64_t budgetBytes, int64_t textBytes);
inline constexpr int64_t kTerminationCheckLines = 4096;

class ConfigLineSource {
 public:
  virtual ~ConfigLineSource() = default;
  // The next line without its line feed; false at the end of the input, on
  // a read error (see ReadFailed) and at a line longer than kMaxLineBytes
  // (see LineTooLong; LineNumber then names that line). The view is valid
  // until the next call.
  virtual bool NextLine(std::string_view* line) = 0;
  virtual bool ReadFailed() const { return false; }
  bool LineTooLong() const { return tooLong_; }
  // Number of the line returned last (1 = the first line of the input).
  int64_t LineNumber() const { return lineNumber_; }

 protected:
  int64_t lineNumber_ = 0;
  bool tooLong_ = false;
};

class FileLineSource final : public ConfigLineSource {
 public:
  // Borrows `stream`; the caller closes it.
  explicit FileLineSource(std::FILE* stream);
  bool NextLine(std::string_view* line) override;
  bool ReadFailed() const override { return failed_; }

 private:
  bool Refill();

  std::FILE* stream_;
  std::vector<char> buffer_;
  size_t begin_ = 0;  // start of the unread bytes in buffer_
  size_t end_ = 0;    // end of the valid bytes in buffer_
  bool atEof_ = false;
  bool failed_ = false;
};

class BufferLineSource final : public ConfigLineSource {
 public:
  explicit BufferLineSource(std::string_view text) : rest_(text) {}
  bool NextLine(std::string_view* line) override;

 private:
  std::string_view rest_;
  bool done_ = false;
};

namespace configtext {

inline bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// One line split into its first word and the rest (the value).
struct LineParts {
  std::string_view word;    // empty for a blank line
  std::string_view value;   // after the word's following white space, trimmed
  std::string_view second;  // the second word: set by ParseRootLine only
};
LineParts SplitLine(std::string_view line);

// True when `line` is a root line: two words at least, the first "Root" in
// any letter case.
bool ParseRootLine(std::string_view line, LineParts* parts);

enum class BlockResult {
  kComplete,      // the outermost '}' was read, or the input ended at the top level
  kUnclosed,      // the input ended inside an open block
  kReadError,     // the source failed
  kOutOfMemory,   // a node could not be had
  kLineTooLong,   // a line passed kMaxLineBytes
  kTooDeep,       // a block opened below kMaxDepth levels
  kTooManyNodes,  // the tree would pass kMaxNodes nodes
  kInterrupted,   // the process was asked to end
};

struct BlockOutcome {
  BlockResult result = BlockResult::kComplete;
  // The line at fault (0 when none), for every result but kComplete.
  int64_t line = 0;
  // kComplete only: the first line after the outermost '}' that holds text,
  // which the format ignores; 0 when there is none.
  int64_t ignoredFrom = 0;
};

// Reads the nodes after the root line from `source` into `root`; the tree
// may hold at most `maxNodes` nodes, the root included.
BlockOutcome ParseBlocks(tAttribute* root, ConfigLineSource& source, int64_t maxNodes = kMaxNodes);

}  // namespace configtext
