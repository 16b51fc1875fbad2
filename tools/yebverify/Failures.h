// The failures the checker finds, counted by kind, with the first few
// described exactly: which packet, at which byte of it, what was expected
// and what was found.
//
// Descriptions are formed only for the first `kDescribed` failures, so a
// stream that is wrong in every sample costs a counter increment per fault,
// not a formatted text. An optional listener hears each described failure as
// it happens (the program prints it at once).
//
// Thread safety: one log per checker, used from one thread.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace yebverify {

enum class FailureKind {
  kGreeting,   // the Custom greeting is not 0x01 and a 32-bit zero
  kSize,       // the size word is not the size the list and the rules give
  kSequence,   // sequence numbers do not rise by one (or restart on reconnect)
  kHeader,     // the header's copy of the sequence number or its zero words
  kDay,        // the day pair
  kTime,       // the millisecond time words or their continuity
  kNepTime,    // the NEP time entries
  kTag,        // a tag not in the list, or out of list order
  kRate,       // a parameter sampled more or less often than its rate says
  kValue,      // a sample that does not follow its counter
  kPadding,    // nonzero bytes after the last pair
  kTruncated,  // the stream ended or broke in the middle of a packet
  // Faults a source or network makes (the stress tool's fault script):
  kDropped,       // packets missing inside a connection
  kDuplicated,    // a packet repeated byte for byte
  kCorrupted,     // a sample one bit away from its due value
  kDisconnected,  // the tool closed the connection at a packet boundary
  kTimeJump,      // the data time shifted inside a transfer
  kFaultNotSeen,  // a fault the script expected that did not come
  kCount,
};

const char* FailureKindName(FailureKind kind);

struct FailureRecord {
  FailureKind kind;
  uint64_t packet;  // packets received before this one + 1, over the whole run
  uint64_t offset;  // byte offset within that packet
  std::string text;
  // The value due and the value found, as the text names them; empty where
  // the failure is not one value against another (a missing fault, a lost
  // frame).
  std::string expected, found;
};

// What a check describes: the whole text, and apart the two values it
// compares, so that scripts read them without parsing the text.
struct FailureText {
  std::string text, expected, found;
};

class FailureLog {
 public:
  static constexpr size_t kDescribed = 10;
  using Listener = std::function<void(const FailureRecord&)>;

  void SetListener(Listener listener) { listener_ = std::move(listener); }

  // Counts a failure. `describe` is called (to form the text) only when the
  // failure is among the first described ones.
  template <typename Describe>
  void Record(FailureKind kind, uint64_t packet, uint64_t offset, Describe&& describe) {
    ++counts_[static_cast<size_t>(kind)];
    ++total_;
    if (described_.size() < kDescribed) Add(MakeRecord(kind, packet, offset, describe()));
  }

  uint64_t total() const { return total_; }
  uint64_t count(FailureKind kind) const { return counts_[static_cast<size_t>(kind)]; }
  const std::vector<FailureRecord>& described() const { return described_; }
  // "value 2, tag 1", or "none".
  std::string CountsText() const;

 private:
  static FailureRecord MakeRecord(FailureKind kind, uint64_t packet, uint64_t offset,
                                  std::string text) {
    return FailureRecord{kind, packet, offset, std::move(text), {}, {}};
  }
  static FailureRecord MakeRecord(FailureKind kind, uint64_t packet, uint64_t offset,
                                  FailureText text) {
    return FailureRecord{kind,
                         packet,
                         offset,
                         std::move(text.text),
                         std::move(text.expected),
                         std::move(text.found)};
  }
  void Add(FailureRecord record);

  std::array<uint64_t, static_cast<size_t>(FailureKind::kCount)> counts_{};
  uint64_t total_ = 0;
  std::vector<FailureRecord> described_;
  Listener listener_;
};

// "<prefix>expected <what><expected>, found <found>", with both values kept.
FailureText Mismatch(std::string_view prefix, std::string expected, std::string found,
                     std::string_view what = {});

// "packet 12, offset 1248: " and the record's text.
std::string FormatFailure(const FailureRecord& record);

}  // namespace yebverify
