#include "packet/PacketBuilder.h"

#include <algorithm>
#include <bit>
#include <cinttypes>
#include <cstring>
#include <vector>

#include "platform/TextOut.h"

namespace packet {
namespace {

// Above this a float no longer holds every integer, so runs of consecutive
// values can only be written in bulk below it.
constexpr double kExactFloatLimit = 16777216.0;

inline void StoreU32(uint8_t* at, uint32_t value) {
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(at, &value, 4);
  } else {
    at[0] = static_cast<uint8_t>(value);
    at[1] = static_cast<uint8_t>(value >> 8);
    at[2] = static_cast<uint8_t>(value >> 16);
    at[3] = static_cast<uint8_t>(value >> 24);
  }
}

inline void StoreF32(uint8_t* at, float value) { StoreU32(at, std::bit_cast<uint32_t>(value)); }

inline void StoreU64(uint8_t* at, uint64_t value) {
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(at, &value, 8);
  } else {
    StoreU32(at, static_cast<uint32_t>(value));
    StoreU32(at + 4, static_cast<uint32_t>(value >> 32));
  }
}

inline void StorePair(uint8_t* at, uint16_t firstTag, uint16_t secondTag, uint32_t first,
                      uint32_t second) {
  StoreU32(at, uint32_t{firstTag} | (uint32_t{secondTag} << 16));
  StoreU32(at + 4, first);
  StoreU32(at + 8, second);
}

inline double ValueLimit(const ParmRecord& record) {
  return record.packetsPerSample == 0 ? record.sampleRate : kSlowValueLimit;
}

// True when `count` samples from `value` are the consecutive values value,
// value + 1, ... with no wrap before the last step.
inline bool IsConsecutiveRun(float value, int32_t count, double limit) {
  return double{value} + count - 1 <= limit && double{value} + count < kExactFloatLimit;
}

// Ends a consecutive run: the value after the last sample, wrapped.
inline float ValueAfterRun(float value, int32_t count, double limit) {
  float next = value + static_cast<float>(count);
  return double{next} > limit ? 0.0f : next;
}

// Writes `pairCount` pairs of one tag word whose values run on from `*next`
// by 1.0, leaves in `*next` the value after the last, and returns the end.
// REQUIRES: every value stays below 2^24, where each addition is exact, so
// the bytes are those of adding 1.0 sample by sample. (Running additions
// cost less here than forming each value from its index, whose integer to
// float conversions dominated records of a few samples.)
inline uint8_t* WriteConsecutivePairs(uint8_t* at, uint32_t tags, float* next, int32_t pairCount) {
  float value = *next;
  for (int32_t k = 0; k < pairCount; ++k) {
    StoreU32(at, tags);
    StoreF32(at + 4, value);
    StoreF32(at + 8, value + 1.0f);
    value += 2.0f;
    at += 12;
  }
  *next = value;
  return at;
}

// Alike records in step: fast, tagged, with the same rate, count and value,
// whose samples run consecutively. They write the same value words and
// differ only in their tags, so a block of them takes its value words from
// one set made for it and only the tag words per record. A block is the
// fewest records that end on a whole pair: one of an even count, two of an
// odd. (The whole table is made of such records.)
class AlikeBlock {
 public:
  // Records of more samples than this are written pair by pair, where the
  // per-record work is small beside the pairs; the value set stays small.
  static constexpr int32_t kMaxCount = 64;

  // Makes the block for records like `record`; false, leaving no block,
  // when its samples do not run consecutively or it has too few or too many.
  bool MakeFor(const ParmRecord& record) {
    key_ = Key{};
    const int32_t count = record.valuesPerPacket;
    if (record.packetsPerSample != 0 || record.tag == 0 || count < 3 || count > kMaxCount ||
        !IsConsecutiveRun(record.value, count, record.sampleRate))
      return false;
    const int32_t records = count % 2 == 0 ? 1 : 2;
    for (int32_t r = 0; r < records; ++r) {
      float value = record.value;
      for (int32_t k = 0; k < count; ++k, value += 1.0f)
        StoreF32(values_ + (r * count + k) * 4, value);
    }
    key_ = Key{record.sampleRate, count, record.value};
    next_ = ValueAfterRun(record.value, count, record.sampleRate);
    return true;
  }

  bool Fits(const ParmRecord& record) const { return key_.Fits(record); }

  // Writes whole blocks from `*at` for the records from `records[0]` on
  // while they fit, moves `*at` to their end and returns how many records
  // it wrote. Kept out of line: inlined into the record loop its locals
  // spill to the stack and it runs at half the speed.
  [[gnu::noinline]] int32_t WriteRun(ParmRecord* records, int32_t available, uint8_t** end) const {
    // Everything in locals: a store through a byte pointer may alias this
    // object, whose fields would otherwise be read again after every one.
    const Key key = key_;
    const float next = next_;
    const int32_t whole = key.count / 2;  // pairs of one record's tags
    const uint8_t* const values = values_;
    uint8_t* at = *end;
    int32_t done = 0;
    if (key.count % 2 == 0) {
      for (; done < available && key.Fits(records[done]); ++done) {
        at = WritePairs(at, TagWord(records[done].tag, records[done].tag), values, whole);
        records[done].value = next;
      }
    } else {
      for (; done + 2 <= available && key.Fits(records[done]) && key.Fits(records[done + 1]);
           done += 2) {
        const uint16_t first = records[done].tag;
        const uint16_t second = records[done + 1].tag;
        at = WritePairs(at, TagWord(first, first), values, whole);
        at = WritePairs(at, TagWord(first, second), values + whole * 8, 1);
        at = WritePairs(at, TagWord(second, second), values + (whole + 1) * 8, whole);
        records[done].value = next;
        records[done + 1].value = next;
      }
    }
    *end = at;
    return done;
  }

 private:
  struct Key {
    double rate = 0.0;
    int32_t count = 0;  // 0: no block
    float value = 0.0f;

    bool Fits(const ParmRecord& record) const {
      return record.value == value && record.valuesPerPacket == count &&
             record.packetsPerSample == 0 && record.sampleRate == rate && record.tag != 0;
    }
  };

  static uint32_t TagWord(uint16_t first, uint16_t second) {
    return uint32_t{first} | (uint32_t{second} << 16);
  }

  static uint8_t* WritePairs(uint8_t* at, uint32_t tags, const uint8_t* values, int32_t pairs) {
    uint8_t* const end = at + pairs * 12;
    for (; at != end; at += 12, values += 8) {
      StoreU32(at, tags);
      std::memcpy(at + 4, values, 8);
    }
    return end;
  }

  Key key_;
  float next_ = 0.0f;
  uint8_t values_[kMaxCount * 8] = {};  // the value words of a block's samples
};

// True when two fast records would write the same values.
inline bool InStep(const ParmRecord& a, const ParmRecord& b) {
  return a.value == b.value && a.valuesPerPacket == b.valuesPerPacket &&
         a.packetsPerSample == b.packetsPerSample && a.sampleRate == b.sampleRate;
}

// Writes Custom samples in pairs through a pending half: a sample whose
// pending half is empty waits there, and the next sample completes the pair.
// The pending half counts as empty while its tag is 0, so a sample tagged 0
// that lands there is overwritten by the next one. A half still pending at
// the end of the packet is never written.
class PairWriter {
 public:
  explicit PairWriter(uint8_t* at, uint8_t* packet = nullptr,
                      std::vector<SampleTap>* taps = nullptr)
      : at_(at), packet_(packet), taps_(taps) {}

  void Emit(uint16_t tag, float value) {
    if (pendingTag_ == 0) {
      pendingTag_ = tag;
      pendingValue_ = value;
      return;
    }
    WritePair(tag, value);
  }

  // `count` > 0 samples of one record.
  void EmitRecord(ParmRecord& record, int32_t count) {
    const double limit = ValueLimit(record);
    const uint16_t tag = record.tag;
    // Records made alike run in step, so the last record's verdict on its
    // run usually holds for this one: the comparisons cost less than the
    // double-precision test.
    if (record.value != run_.value || count != run_.count || limit != run_.limit) {
      run_.value = record.value;
      run_.count = count;
      run_.limit = limit;
      run_.consecutive = IsConsecutiveRun(record.value, count, limit);
      run_.next = ValueAfterRun(record.value, count, limit);
    }
    if (tag == 0 || !run_.consecutive) {
      for (int32_t i = 0; i < count; ++i) Emit(tag, TakeSample(record, limit));
      return;
    }
    const float next = run_.next;
    float value = record.value;
    int32_t left = count;
    if (pendingTag_ != 0) {
      WritePair(tag, value);
      value += 1.0f;
      --left;
    }
    at_ = WriteConsecutivePairs(at_, uint32_t{tag} | (uint32_t{tag} << 16), &value, left / 2);
    if (left % 2 != 0) {
      pendingTag_ = tag;
      pendingValue_ = value;
    }
    record.value = next;
  }

  // Writes the alike records from `records[0]` on in blocks, for as long
  // as whole blocks of them follow, and returns how many it wrote (0 when
  // a sample is pending or no block fits). A block is made only where
  // at least two records in step follow, so that making it pays.
  int32_t EmitAlike(ParmRecord* records, int32_t available, AlikeBlock& block) {
    if (pendingTag_ != 0) return 0;
    if (!block.Fits(records[0]) &&
        (available < 2 || !InStep(records[0], records[1]) || !block.MakeFor(records[0])))
      return 0;
    return block.WriteRun(records, available, &at_);
  }

  // `count` values of one record, tag not 0, from `values`.
  void EmitValues(uint16_t tag, const float* values, int32_t count) {
    int32_t i = 0;
    if (pendingTag_ != 0 && count > 0) WritePair(tag, values[i++]);
    const uint32_t tags = uint32_t{tag} | (uint32_t{tag} << 16);
    for (; i + 2 <= count; i += 2) {
      StoreU32(at_, tags);
      StoreF32(at_ + 4, values[i]);
      StoreF32(at_ + 8, values[i + 1]);
      at_ += 12;
    }
    if (i < count) {
      pendingTag_ = tag;
      pendingValue_ = values[i];
    }
  }

  // One sample whose place in the packet is noted in `tap` once it is
  // written. A sample tagged 0 that lands in the empty pending half is
  // never written, so it is not noted.
  void EmitTapped(uint16_t tag, float value, SampleTap tap) {
    if (pendingTag_ == 0) {
      if (tag != 0) {
        pendingTap_ = static_cast<int64_t>(taps_->size());
        taps_->push_back(tap);
      }
      pendingTag_ = tag;
      pendingValue_ = value;
      return;
    }
    tap.offset = static_cast<uint32_t>(at_ - packet_) + 8;
    taps_->push_back(tap);
    WritePair(tag, value);
  }

  // The half still pending is never written: its note goes.
  void Finish() {
    if (pendingTap_ >= 0) taps_->pop_back();
    pendingTap_ = -1;
  }

  uint8_t* at() const { return at_; }

 private:
  void WritePair(uint16_t secondTag, float secondValue) {
    if (pendingTap_ >= 0) {
      (*taps_)[static_cast<size_t>(pendingTap_)].offset = static_cast<uint32_t>(at_ - packet_) + 4;
      pendingTap_ = -1;
    }
    StorePair(at_, pendingTag_, secondTag, std::bit_cast<uint32_t>(pendingValue_),
              std::bit_cast<uint32_t>(secondValue));
    at_ += 12;
    pendingTag_ = 0;
  }

  // The verdict on the last consecutive-run test and what it was made on.
  struct RunVerdict {
    float value = -1.0f;
    int32_t count = 0;
    double limit = 0.0;
    bool consecutive = false;
    float next = 0.0f;
  };

  uint8_t* at_;
  RunVerdict run_;
  uint8_t* const packet_;         // the packet's first byte, for tap offsets
  std::vector<SampleTap>* taps_;  // null without a value log
  int64_t pendingTap_ = -1;       // the pending half's note in taps_
  uint16_t pendingTag_ = 0;
  float pendingValue_ = 0.0f;
};

template <bool kSuperStress>
uint8_t* WriteCustomSamples(ParmTable& table, int32_t packetCounter, uint8_t* at) {
  PairWriter pairs(at);
  AlikeBlock block;
  ParmRecord* const records = table.records.get();
  const int32_t count = table.parmCount;
  for (int32_t i = 0; i < count; ++i) {
    ParmRecord& record = records[i];
    if (record.packetsPerSample == 0) {
      const int32_t alike = pairs.EmitAlike(records + i, count - i, block);
      if (alike > 0) {
        i += alike - 1;
        continue;
      }
      pairs.EmitRecord(record, record.valuesPerPacket);
    } else if (kSuperStress) {
      if (record.packetsPerSample >= packetCounter)
        pairs.Emit(record.tag, TakeSample(record, kSlowValueLimit));
    } else {
      if (record.packetCountdown == 0) {
        pairs.Emit(record.tag, TakeSample(record, kSlowValueLimit));
        record.packetCountdown = record.packetsPerSample;
      }
      --record.packetCountdown;
    }
  }
  return pairs.at();
}

inline void AdvanceCounter(const PacketFormat& format, PacketState& state, bool* cycleEnded) {
  ++state.packetCounter;
  *cycleEnded = state.packetCounter > format.packetRate;
  if (*cycleEnded) state.packetCounter = 1;
}

// The NEP super stress step of a slow record: 1.0 added twice, each result
// rounded to single precision, then the wrap.
inline float TakeDoubleStepSample(ParmRecord& record) {
  const float sent = record.value;
  float next = sent + 1.0f;
  next = next + 1.0f;
  record.value = double{next} > kSlowValueLimit ? 0.0f : next;
  return sent;
}

// Writes `count` entries of one tag word whose values run on from `value`
// by 1.0 and returns the end. REQUIRES: every value stays below 2^24, where
// each addition is exact. Kept out of line, where its locals stay in
// registers (see AlikeBlock::WriteRun).
[[gnu::noinline]] uint8_t* WriteConsecutiveEntries(uint8_t* at, uint32_t tag, float value,
                                                   int32_t count) {
  for (int32_t i = 0; i < count; ++i, at += 8) {
    StoreU32(at, tag);
    StoreF32(at + 4, value + static_cast<float>(i));
  }
  return at;
}

inline uint8_t* WriteNepEntries(uint8_t* at, ParmRecord& record, int32_t count) {
  const double limit = ValueLimit(record);
  const uint32_t tag = static_cast<uint32_t>(record.nepTag);
  if (IsConsecutiveRun(record.value, count, limit)) {
    at = WriteConsecutiveEntries(at, tag, record.value, count);
    record.value = ValueAfterRun(record.value, count, limit);
    return at;
  }
  for (int32_t i = 0; i < count; ++i) {
    StoreU32(at, tag);
    StoreF32(at + 4, TakeSample(record, limit));
    at += 8;
  }
  return at;
}

// Writes the NEP entries of the alike records in step from `records[0]` on
// (see AlikeBlock): they share their values, so per record only the tag
// words differ. Returns how many records it wrote: none unless
// `records[0]` and the next are in step and their samples run
// consecutively.
[[gnu::noinline]] int32_t WriteNepAlikeRun(ParmRecord* records, int32_t available, uint8_t** end) {
  const ParmRecord key = records[0];
  const int32_t count = key.valuesPerPacket;
  if (available < 2 || !InStep(key, records[1]) || count > AlikeBlock::kMaxCount ||
      !IsConsecutiveRun(key.value, count, key.sampleRate))
    return 0;
  uint64_t entries[AlikeBlock::kMaxCount];  // the value words, tag words 0
  float value = key.value;
  for (int32_t k = 0; k < count; ++k, value += 1.0f)
    entries[k] = uint64_t{std::bit_cast<uint32_t>(value)} << 32;
  const float next = ValueAfterRun(key.value, count, key.sampleRate);
  uint8_t* at = *end;
  int32_t done = 0;
  for (; done < available && InStep(key, records[done]); ++done) {
    const uint64_t tag = static_cast<uint32_t>(records[done].nepTag);
    for (int32_t k = 0; k < count; ++k) StoreU64(at + k * 8, entries[k] | tag);
    at += count * 8;
    records[done].value = next;
  }
  *end = at;
  return done;
}

inline uint8_t* WriteNepEntry(uint8_t* at, const ParmRecord& record, float value) {
  StoreU32(at, static_cast<uint32_t>(record.nepTag));
  StoreF32(at + 4, value);
  return at + 8;
}

template <bool kSuperStress>
uint8_t* WriteNepSamples(ParmTable& table, int32_t packetCounter, uint8_t* at) {
  ParmRecord* const records = table.records.get();
  const int32_t count = table.parmCount;
  for (int32_t i = 0; i < count; ++i) {
    ParmRecord& record = records[i];
    if (record.packetsPerSample == 0) {
      const int32_t alike = WriteNepAlikeRun(records + i, count - i, &at);
      if (alike > 0) {
        i += alike - 1;
        continue;
      }
      at = WriteNepEntries(at, record, record.valuesPerPacket);
    } else if (kSuperStress) {
      if (record.packetsPerSample >= packetCounter)
        at = WriteNepEntry(at, record, TakeDoubleStepSample(record));
    } else {
      if (record.packetCountdown == 0) {
        at = WriteNepEntry(at, record, TakeSample(record, kSlowValueLimit));
        record.packetCountdown = record.packetsPerSample;
      }
      --record.packetCountdown;
    }
  }
  return at;
}

// Values of one record taken in chunks of this many.
constexpr int32_t kChunk = 64;

// The next `count` values of a record that is not on the plain path: from
// its source at its sample numbers, or from the counter (a logged one).
inline void TakeValues(ParmRecord& record, SignalCursor& cursor, const SignalRun& run,
                       int32_t position, int32_t count, bool doubleStep, float* out) {
  if (cursor.source < 0) {
    const double limit = ValueLimit(record);
    for (int32_t k = 0; k < count; ++k)
      out[k] = doubleStep ? TakeDoubleStepSample(record) : TakeSample(record, limit);
  } else {
    const SignalSource& source = *run.sources[static_cast<size_t>(cursor.source)];
    if (const float* table = source.table()) {
      const uint32_t period = static_cast<uint32_t>(source.period());
      uint32_t phase = cursor.phase;
      for (int32_t k = 0; k < count; ++k) {
        out[k] = table[phase];
        if (++phase == period) phase = 0;
      }
      cursor.phase = phase;
    } else {
      for (int32_t k = 0; k < count; ++k)
        out[k] = source.At(static_cast<uint64_t>(position), cursor.n + static_cast<uint64_t>(k));
    }
  }
  cursor.n += static_cast<uint64_t>(count);
}

// Custom samples of one record that is not on the plain path.
inline void EmitSignalRecord(PairWriter& pairs, ParmRecord& record, SignalCursor& cursor,
                             const SignalRun& run, int32_t index, int32_t count) {
  const SignalSource* source =
      cursor.source >= 0 ? run.sources[static_cast<size_t>(cursor.source)] : nullptr;
  if (!cursor.logged && record.tag != 0 && source != nullptr && source->table() != nullptr) {
    // Straight from the table, a period's stretch at a time.
    const uint32_t period = static_cast<uint32_t>(source->period());
    uint32_t phase = cursor.phase;
    int32_t left = count;
    while (left > 0) {
      const int32_t stretch =
          static_cast<int32_t>(std::min<uint64_t>(static_cast<uint64_t>(left), period - phase));
      pairs.EmitValues(record.tag, source->table() + phase, stretch);
      phase += static_cast<uint32_t>(stretch);
      if (phase == period) phase = 0;
      left -= stretch;
    }
    cursor.phase = phase;
    cursor.n += static_cast<uint64_t>(count);
    return;
  }
  float values[kChunk];
  for (int32_t done = 0; done < count; done += kChunk) {
    const int32_t chunk = std::min(kChunk, count - done);
    const uint64_t firstN = cursor.n;
    TakeValues(record, cursor, run, index + 1, chunk, false, values);
    for (int32_t k = 0; k < chunk; ++k) {
      if (cursor.logged) {
        pairs.EmitTapped(record.tag, values[k], SampleTap{index, done + k, firstN + k, 0});
      } else {
        pairs.Emit(record.tag, values[k]);
      }
    }
  }
}

// How many samples of `record` this packet carries, moving a slow record's
// countdown on: all of a fast record's; one of a slow record's when its turn
// comes, or under super stress in each of the first packets of a cycle.
template <bool kSuperStress>
inline int32_t SamplesDue(ParmRecord& record, int32_t packetCounter) {
  if (record.packetsPerSample == 0) return record.valuesPerPacket;
  if (kSuperStress) return record.packetsPerSample >= packetCounter ? 1 : 0;
  int32_t samples = 0;
  if (record.packetCountdown == 0) {
    samples = 1;
    record.packetCountdown = record.packetsPerSample;
  }
  --record.packetCountdown;
  return samples;
}

template <bool kSuperStress>
uint8_t* WriteCustomSignalSamples(ParmTable& table, SignalRun& run, int32_t packetCounter,
                                  uint8_t* packet, uint8_t* at) {
  PairWriter pairs(at, packet, &run.taps);
  ParmRecord* const records = table.records.get();
  SignalCursor* const cursors = run.cursors.data();
  const int32_t count = table.parmCount;
  for (int32_t i = 0; i < count; ++i) {
    ParmRecord& record = records[i];
    SignalCursor& cursor = cursors[i];
    const int32_t samples = SamplesDue<kSuperStress>(record, packetCounter);
    if (samples == 0) continue;
    if (cursor.plain) {
      if (record.packetsPerSample == 0) {
        pairs.EmitRecord(record, samples);
      } else {
        pairs.Emit(record.tag, TakeSample(record, kSlowValueLimit));
      }
    } else {
      EmitSignalRecord(pairs, record, cursor, run, i, samples);
    }
  }
  pairs.Finish();
  return pairs.at();
}

template <bool kSuperStress>
uint8_t* WriteNepSignalSamples(ParmTable& table, SignalRun& run, int32_t packetCounter,
                               uint8_t* packet, uint8_t* at) {
  ParmRecord* const records = table.records.get();
  SignalCursor* const cursors = run.cursors.data();
  const int32_t count = table.parmCount;
  float values[kChunk];
  for (int32_t i = 0; i < count; ++i) {
    ParmRecord& record = records[i];
    SignalCursor& cursor = cursors[i];
    const int32_t samples = SamplesDue<kSuperStress>(record, packetCounter);
    if (samples == 0) continue;
    const bool doubleStep = kSuperStress && record.packetsPerSample != 0;
    if (cursor.plain) {
      if (record.packetsPerSample == 0) {
        at = WriteNepEntries(at, record, samples);
      } else {
        at = WriteNepEntry(
            at, record,
            doubleStep ? TakeDoubleStepSample(record) : TakeSample(record, kSlowValueLimit));
      }
      continue;
    }
    const uint32_t tag = static_cast<uint32_t>(record.nepTag);
    for (int32_t done = 0; done < samples; done += kChunk) {
      const int32_t chunk = std::min(kChunk, samples - done);
      const uint64_t firstN = cursor.n;
      TakeValues(record, cursor, run, i + 1, chunk, doubleStep, values);
      for (int32_t k = 0; k < chunk; ++k) {
        if (cursor.logged) {
          run.taps.push_back(SampleTap{i, done + k, firstN + static_cast<uint64_t>(k),
                                       static_cast<uint32_t>(at - packet) + 4});
        }
        StoreU32(at, tag);
        StoreF32(at + 4, values[k]);
        at += 8;
      }
    }
  }
  return at;
}

}  // namespace

float TakeSample(ParmRecord& record, double limit) {
  const float sent = record.value;
  const float next = sent + 1.0f;
  // Past 2^24 adding 1.0 leaves a float unchanged; wrapping there keeps a
  // very fast parameter's counter moving instead of repeating for ever.
  record.value = (double{next} > limit || next == sent) ? 0.0f : next;
  return sent;
}

void BuildCustomPacket(const PacketFormat& format, ParmTable& table, PacketState& state,
                       uint8_t* buffer, SignalRun* signals) {
  state.packetHeader[1] += 1;
  state.packetHeader[2] += 1;
  for (int i = 0; i < 8; ++i) StoreU32(buffer + 4 * i, state.packetHeader[i]);

  const uint32_t offset = static_cast<uint32_t>(format.tagOffset);
  const uint16_t dayTag = static_cast<uint16_t>(offset + 1);
  const uint16_t timeTag = static_cast<uint16_t>(offset + 2);
  StorePair(buffer + 32, dayTag, dayTag, 1, 1);
  uint8_t* at = buffer + 44;
  for (int32_t i = 0; i < state.timeValuesPerPacket / 2; ++i) {
    StorePair(at, timeTag, timeTag, state.timeTick, state.timeTick + 1);
    state.timeTick += 2;
    at += 12;
  }

  uint8_t* end = nullptr;
  if (signals == nullptr) {
    end = format.superStress ? WriteCustomSamples<true>(table, state.packetCounter, at)
                             : WriteCustomSamples<false>(table, state.packetCounter, at);
  } else {
    signals->taps.clear();
    end = format.superStress
              ? WriteCustomSignalSamples<true>(table, *signals, state.packetCounter, buffer, at)
              : WriteCustomSignalSamples<false>(table, *signals, state.packetCounter, buffer, at);
  }
  // Only the bytes no pair reached are cleared; this also drops a sample
  // still pending, as the format has no half pairs.
  const size_t written = static_cast<size_t>(end - buffer);
  const size_t size = static_cast<size_t>(state.packetBufferSize);
  if (written < size) std::memset(end, 0, size - written);

  bool cycleEnded = false;
  AdvanceCounter(format, state, &cycleEnded);
}

int32_t BuildNepPacket(const PacketFormat& format, ParmTable& table, PacketState& state,
                       uint8_t* buffer, platform::TextOut& out, SignalRun* signals) {
  // Every byte up to the packet length is written below, so nothing needs
  // clearing first.
  uint8_t* at = buffer + 4;
  for (int32_t i = 0; i < state.timeValuesPerPacket; ++i) {
    state.nepTime += kNepTimeStepNs;
    StoreU32(at, kNepTimeTagWord);
    StoreU32(at + 4, static_cast<uint32_t>(state.nepTime));
    StoreU32(at + 8, static_cast<uint32_t>(state.nepTime >> 32));
    at += 12;
  }

  if (signals == nullptr) {
    at = format.superStress ? WriteNepSamples<true>(table, state.packetCounter, at)
                            : WriteNepSamples<false>(table, state.packetCounter, at);
  } else {
    signals->taps.clear();
    at = format.superStress
             ? WriteNepSignalSamples<true>(table, *signals, state.packetCounter, buffer, at)
             : WriteNepSignalSamples<false>(table, *signals, state.packetCounter, buffer, at);
  }

  bool cycleEnded = false;
  AdvanceCounter(format, state, &cycleEnded);
  if (cycleEnded) {
    platform::Printf(out, "total size all packets = %" PRId64 "\n", state.nepByteTotal);
    state.nepByteTotal = 0;
  }
  const int32_t length = static_cast<int32_t>(at - buffer);
  state.nepByteTotal += length;
  state.nepPacketLength = length;
  StoreU32(buffer, static_cast<uint32_t>(length - 4));
  return length;
}

}  // namespace packet
