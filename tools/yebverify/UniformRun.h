// Checks many alike parameters at once.
//
// In a large table most parameters share a rate, their counters (or
// signals) started together, and their tags count up one by one. A run of
// such parameters lays out as one periodic pattern: every parameter takes
// the same number of samples with the same values, so after a few pairs the
// bytes repeat with only the tags moved on by the parameters passed. The
// matcher builds one period of that pattern and compares the packet to it
// sixteen bytes at a time, with no branch per sample, moving the tags on
// after each period. It only answers how many leading parameters match; the
// per-sample check takes the first one that does not, and alone describes
// failures, so a fault reads the same whichever path met it.
//
// Thread safety: one matcher per checker, used from one thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace yebverify {

// How the samples lie in the packet. Custom: 12-byte pairs of two 16-bit
// tags and two values, sample k in half k % 2 of pair k / 2. NEP: 8-byte
// entries of a 32-bit tag and a value.
enum class SampleLayout { kCustomPairs, kNepEntries };

class UniformRunMatcher {
 public:
  explicit UniformRunMatcher(SampleLayout layout) : layout_(layout) {}
  UniformRunMatcher(const UniformRunMatcher&) = delete;
  UniformRunMatcher& operator=(const UniformRunMatcher&) = delete;

  // Sets the pattern: every record takes `samples` samples whose float bits
  // are `values[0..samples)`, the first `skip` samples of the first record
  // left out (checked elsewhere). False when one period would be too long
  // to be worth building (the per-sample check is as fast then).
  bool Prepare(uint32_t samples, const uint32_t* values, uint32_t skip);

  // The number of leading records of `records` whose samples all match,
  // record i tagged `firstTag + i` (no wrap: the caller's tags do not). The
  // first sample not skipped lies at `bytes` (for Custom, the first half of
  // a pair). REQUIRES: Prepare returned true.
  size_t Match(const uint8_t* bytes, size_t records, uint32_t firstTag);

  // Records in one period of the pattern.
  size_t periodRecords() const { return periodSlots_ / samples_; }

 private:
  // A 16-byte block as four 32-bit lanes; tags move on lane by lane.
  typedef uint32_t Lanes __attribute__((vector_size(16)));

  size_t SlotBytes(size_t slots) const {
    return slots * (layout_ == SampleLayout::kNepEntries ? 8 : 6);
  }
  // The first of `slots` slots whose tag or value differs from `expected`
  // (laid out like the packet), or `slots` when none does.
  size_t FirstDifference(const uint8_t* bytes, const uint8_t* expected, size_t slots) const;

  SampleLayout layout_;
  uint32_t samples_ = 0;
  uint32_t skip_ = 0;
  size_t periodSlots_ = 0;
  // One period with tags counted from 0; per lane, what a tag one higher
  // adds (0 in value lanes); what one period adds; the running period.
  std::vector<Lanes> base_, tagUnit_, step_, period_;
};

}  // namespace yebverify
