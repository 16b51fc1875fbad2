#include "UniformRun.h"

#include <cstring>
#include <numeric>

namespace yebverify {
namespace {

// Past this many samples a period is not built: a record that takes that
// many samples is already checked fast by the per-record loops.
constexpr size_t kMaxPeriodSlots = 4096;
// A period is stretched to at least this many bytes, so that the test for
// a difference after each one is a small share of the work.
constexpr size_t kMinPeriodBytes = 256;

void Store16(uint8_t* at, uint32_t value) {
  const uint16_t v = static_cast<uint16_t>(value);
  std::memcpy(at, &v, sizeof v);
}

void Store32(uint8_t* at, uint32_t value) { std::memcpy(at, &value, sizeof value); }

}  // namespace

bool UniformRunMatcher::Prepare(uint32_t samples, const uint32_t* values, uint32_t skip) {
  // The lanes are added to as numbers, which reads the bytes as the
  // packet's little-endian words only on a little-endian host.
  if constexpr (__BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__) return false;
  if (samples == 0 || skip >= samples) return false;
  const bool nep = layout_ == SampleLayout::kNepEntries;
  // Whole records, whole Custom pairs and whole 16-byte blocks: 8 Custom
  // slots are 48 bytes, 2 NEP slots 16.
  size_t slots = std::lcm<size_t>(nep ? 2 : 8, samples);
  if (slots > kMaxPeriodSlots) return false;
  while (SlotBytes(slots) < kMinPeriodBytes) slots *= 2;
  samples_ = samples;
  skip_ = skip;
  periodSlots_ = slots;

  const size_t bytes = SlotBytes(slots);
  std::vector<uint8_t> image(bytes, 0), unit(bytes, 0);
  // Slot s holds the sample s + skip counted from the first record's first;
  // a period later the same sample of a record `periodRecords` further on.
  for (size_t s = 0; s < slots; ++s) {
    const uint32_t record = static_cast<uint32_t>((s + skip) / samples);
    const uint32_t value = values[(s + skip) % samples];
    if (nep) {
      Store32(&image[8 * s], record);
      Store32(&image[8 * s + 4], value);
      Store32(&unit[8 * s], 1);
    } else {
      const size_t pair = 12 * (s / 2), half = s % 2;
      Store16(&image[pair + 2 * half], record);
      Store32(&image[pair + 4 + 4 * half], value);
      Store16(&unit[pair + 2 * half], 1);
    }
  }
  const size_t vectors = bytes / sizeof(Lanes);
  base_.resize(vectors);
  tagUnit_.resize(vectors);
  step_.resize(vectors);
  period_.resize(vectors);
  std::memcpy(base_.data(), image.data(), bytes);
  std::memcpy(tagUnit_.data(), unit.data(), bytes);
  const uint32_t records = static_cast<uint32_t>(periodRecords());
  for (size_t v = 0; v < vectors; ++v) step_[v] = tagUnit_[v] * records;
  return true;
}

size_t UniformRunMatcher::Match(const uint8_t* bytes, size_t records, uint32_t firstTag) {
  const size_t vectors = base_.size();
  for (size_t v = 0; v < vectors; ++v) period_[v] = base_[v] + tagUnit_[v] * firstTag;
  const uint8_t* expected = reinterpret_cast<const uint8_t*>(period_.data());
  const size_t slots = records * samples_ - skip_;
  const size_t periodBytes = SlotBytes(periodSlots_);
  size_t matched = 0;
  const uint8_t* at = bytes;
  while (slots - matched >= periodSlots_) {
    Lanes diff = {0, 0, 0, 0};
    for (size_t v = 0; v < vectors; ++v) {
      Lanes found;
      std::memcpy(&found, at + sizeof(Lanes) * v, sizeof found);
      diff |= found ^ period_[v];
      period_[v] += step_[v];
    }
    if ((diff[0] | diff[1] | diff[2] | diff[3]) != 0) {
      for (size_t v = 0; v < vectors; ++v) period_[v] -= step_[v];
      return (matched + FirstDifference(at, expected, periodSlots_) + skip_) / samples_;
    }
    matched += periodSlots_;
    at += periodBytes;
  }
  return (matched + FirstDifference(at, expected, slots - matched) + skip_) / samples_;
}

size_t UniformRunMatcher::FirstDifference(const uint8_t* bytes, const uint8_t* expected,
                                          size_t slots) const {
  for (size_t s = 0; s < slots; ++s) {
    size_t tag, tagBytes, value;
    if (layout_ == SampleLayout::kNepEntries) {
      tag = 8 * s;
      tagBytes = 4;
      value = tag + 4;
    } else {
      tag = 12 * (s / 2) + 2 * (s % 2);
      tagBytes = 2;
      value = 12 * (s / 2) + 4 + 4 * (s % 2);
    }
    if (std::memcmp(bytes + tag, expected + tag, tagBytes) != 0 ||
        std::memcmp(bytes + value, expected + value, 4) != 0) {
      return s;
    }
  }
  return slots;
}

}  // namespace yebverify
