// The NEP packet: length word, time entries, one entry per sample.
#include <cstdio>

#include "ByteOrder.h"
#include "StreamChecker.h"

namespace yebverify {
namespace {

// "0x80000001 and 100000 ns": a time entry's tag word and time.
std::string EntryText(uint32_t tagWord, uint64_t ns) {
  char text[64];
  std::snprintf(text, sizeof text, "0x%08x and %llu ns", tagWord,
                static_cast<unsigned long long>(ns));
  return text;
}

constexpr size_t kTimeEntryBytes = 12;
constexpr size_t kValueEntryBytes = 8;
constexpr uint64_t kTimeStepNs = 100000;
constexpr uint64_t kMaxDroppedPackets = 1000000;

}  // namespace

// The NEP time starts at 0 when the tool starts and every packet carries
// `timeValuesPerPacket` entries of 100 us, so the first entry of packet k is
// ((k - 1) x timeValuesPerPacket + 1) x 100,000 ns.
uint64_t StreamChecker::NepPacketNumber(const uint8_t* bytes, size_t size) {
  const uint64_t perPacket = static_cast<uint64_t>(model_.timeValuesPerPacket());
  if (size < 4 + kTimeEntryBytes) return lastPacket_ + 1;
  const uint64_t first = ReadLe64(bytes + 8);
  if (anyPacket_ && !newConnection_) return lastPacket_ + 1;
  const uint64_t base = anyPacket_ ? lastNepTime_ : 0;
  const uint64_t basePacket = anyPacket_ ? lastPacket_ : 0;
  // Steps of 100 us from the last entry seen (or from time 0).
  const uint64_t distance = first - base;
  if (first > base && distance % kTimeStepNs == 0 &&
      (distance / kTimeStepNs - 1) % perPacket == 0) {
    return basePacket + 1 + (distance / kTimeStepNs - 1) / perPacket;
  }
  log_.Record(FailureKind::kNepTime, packetIndex_, 8, [&] {
    return "first time entry " + std::to_string(first) + " ns is not at a packet boundary after " +
           std::to_string(base) + " ns (steps of 100000 ns, " + std::to_string(perPacket) +
           " per packet)";
  });
  return basePacket + 1;
}

void StreamChecker::CheckNepTimeEntries(const uint8_t* bytes, size_t size) {
  const size_t perPacket = static_cast<size_t>(model_.timeValuesPerPacket());
  const uint32_t tagWord = 0x80000000u | model_.list().timeTag;
  uint64_t want = anyPacket_ ? lastNepTime_ + kTimeStepNs : kTimeStepNs;
  bool reported = false;
  for (size_t i = 0; i < perPacket && 4 + (i + 1) * kTimeEntryBytes <= size; ++i) {
    const uint8_t* e = bytes + 4 + i * kTimeEntryBytes;
    const uint32_t tag = ReadLe32(e);
    const uint64_t time = ReadLe64(e + 4);
    // The first entry of a connection's first packet sets the time.
    if (i == 0 && newConnection_) {
      want = time;
      shiftedNepTimeValid_ = false;
    }
    if (tag == tagWord && time == want) {
      shiftedNepTimeValid_ = false;
    } else if (tag == tagWord && OneBitOff(time, want)) {
      // A flipped bit: the entries go on as due.
      Fault(FailureKind::kCorrupted, lastPacket_, 0, 4 + i * kTimeEntryBytes + 4,
            "time entry " + std::to_string(i) + ": expected " + std::to_string(want) +
                " ns, found " + std::to_string(time) + " ns, one bit off");
    } else if (tag == tagWord && shiftedNepTimeValid_ && time == shiftedNepTime_ + kTimeStepNs) {
      // The earlier wrong entry was a lasting shift, not a glitch.
      shiftedNepTimeValid_ = false;
      want = time;
    } else if (!reported) {
      reported = true;
      log_.Record(FailureKind::kNepTime, packetIndex_, 4 + i * kTimeEntryBytes, [&] {
        return Mismatch("time entry " + std::to_string(i) + ": ", EntryText(tagWord, want),
                        EntryText(tag, time), "tag word ");
      });
      // The next entry may follow this one or the one expected.
      shiftedNepTimeValid_ = true;
      shiftedNepTime_ = time;
    } else {
      shiftedNepTimeValid_ = true;
      shiftedNepTime_ = time;
    }
    lastNepTime_ = want;
    want += kTimeStepNs;
  }
}

// Inside a connection the NEP time has no sequence number beside it, so a
// shift by whole packets may be packets dropped or a jump of the time. The
// values tell: after a drop the counters have moved on by the samples of
// the packets that never came.
uint64_t StreamChecker::NepShift(const uint8_t* bytes, size_t size) {
  const uint64_t perPacket = static_cast<uint64_t>(model_.timeValuesPerPacket());
  if (shiftedNepTimeValid_ || size < 4 + perPacket * kTimeEntryBytes) return 0;
  const uint32_t tagWord = 0x80000000u | model_.list().timeTag;
  const uint64_t first = ReadLe64(bytes + 8);
  const uint64_t want = lastNepTime_ + kTimeStepNs;
  if (first == want) return 0;
  for (uint64_t i = 0; i < perPacket; ++i) {
    const uint8_t* e = bytes + 4 + i * kTimeEntryBytes;
    if (ReadLe32(e) != tagWord || ReadLe64(e + 4) != first + i * kTimeStepNs) return 0;
  }
  const int64_t delta = static_cast<int64_t>(first - want);
  const uint64_t span = perPacket * kTimeStepNs;
  lastNepTime_ = first - kTimeStepNs;
  if (delta > 0 && static_cast<uint64_t>(delta) % span == 0 &&
      static_cast<uint64_t>(delta) / span <= kMaxDroppedPackets) {
    const uint64_t dropped = static_cast<uint64_t>(delta) / span;
    const uint64_t packet = lastPacket_ + 1 + dropped;
    bool valuesMoved = true;
    const uint64_t at = 4 + perPacket * kTimeEntryBytes;
    const std::vector<RecordPlan>& records = model_.records();
    for (size_t r = 0; r < records.size(); ++r) {
      if (model_.SamplesIn(records[r], packet) == 0) continue;
      if (next_[r] != kNoValue && at + kValueEntryBytes <= size) {
        const uint32_t due = AdvanceValue(
            records[r], next_[r], model_.SamplesInRange(records[r], lastPacket_ + 1, packet - 1));
        valuesMoved =
            ReadLe32(bytes + at) == records[r].tag && ReadLe32(bytes + at + 4) == FloatBits(due);
      }
      break;
    }
    if (valuesMoved) {
      Fault(FailureKind::kDropped, lastPacket_ + 1, static_cast<int64_t>(dropped), 8,
            std::to_string(dropped) + " packets missing: the first time entry is " +
                std::to_string(first) + " ns, " + std::to_string(want) + " ns was due");
      return dropped;
    }
  }
  char text[160];
  std::snprintf(text, sizeof text, "the NEP time jumped by %.4f s (first entry %llu ns, due %llu)",
                static_cast<double>(delta) / 1e9, static_cast<unsigned long long>(first),
                static_cast<unsigned long long>(want));
  Fault(FailureKind::kTimeJump, lastPacket_ + 1, delta, 8, text);
  return 0;
}

void StreamChecker::CheckNep(const uint8_t* bytes, size_t size) {
  const uint64_t dropped = anyPacket_ && !newConnection_ ? NepShift(bytes, size) : 0;
  uint64_t packet = 0;
  if (dropped > 0) {
    packet = lastPacket_ + 1 + dropped;
    SkipPackets(lastPacket_ + 1, packet - 1, false);
  } else {
    packet = NepPacketNumber(bytes, size);
  }
  if (newConnection_ && anyPacket_) SkipPackets(lastPacket_ + 1, packet - 1);
  lastPacket_ = packet;
  if (size >= 4 + kTimeEntryBytes) packetTimeNs_ = static_cast<int64_t>(ReadLe64(bytes + 8));
  if (newConnection_) StartTransferAt(packet);
  CheckNepTimeEntries(bytes, size);
  uint64_t expectedLength = 0;
  WalkNepEntries(bytes, size, expectedLength);
  const uint32_t lengthWord = ReadLe32(bytes);
  if (lengthWord + 4ull != expectedLength || size != expectedLength) {
    log_.Record(FailureKind::kSize, packetIndex_, 0, [&] {
      FailureText text = Mismatch("", std::to_string(expectedLength - 4),
                                  std::to_string(lengthWord), "length word ");
      text.text = "expected length word " + text.expected + " (the samples due in packet " +
                  std::to_string(packet) + "), found " + text.found;
      return text;
    });
  }
}

void StreamChecker::WalkNepEntries(const uint8_t* bytes, size_t size, uint64_t& expectedLength) {
  const std::vector<RecordPlan>& records = model_.records();
  const uint64_t packet = lastPacket_;
  uint64_t offset = 4 + kTimeEntryBytes * static_cast<uint64_t>(model_.timeValuesPerPacket());
  uint64_t due = offset;
  bool abandoned = false;
  BeginUniformWalk();
  for (size_t r = 0; r < records.size(); ++r) {
    const RecordPlan& plan = records[r];
    const uint32_t samples = model_.SamplesIn(plan, packet);
    if (samples == 0) continue;
    if (!abandoned && uniformEnd_[r] > r) {
      const size_t whole = size > offset ? (size - offset) / kValueEntryBytes / samples : 0;
      const size_t taken = CheckUniform(r, whole, bytes + offset, RunStart::kPairStart, nullptr);
      if (taken > 0) {
        offset += kValueEntryBytes * taken * samples;
        due += kValueEntryBytes * taken * samples;
        r += taken - 1;
        continue;
      }
    }
    due += kValueEntryBytes * static_cast<uint64_t>(samples);
    if (abandoned) {
      Unseen(r, samples);
      continue;
    }
    uint32_t j = 0;
    uint32_t& next = next_[r];
    if (next != kNoValue && Settled(r) && !Special(r)) {
      // Hot path: the whole run of this record's entries, while it matches.
      for (; j < samples && offset + kValueEntryBytes <= size; ++j, offset += kValueEntryBytes) {
        const uint8_t* e = bytes + offset;
        if (ReadLe32(e) != plan.tag || ReadLe32(e + 4) != FloatBits(next)) break;
        next = NextValue(plan, next);
      }
      samplesChecked_ += j;
    } else if (const packet::SignalSource* source = PlainSignal(r)) {
      // A signal's entries while each is due exactly.
      SignalCursor signal(*source, r + 1, sampleN_[r]);
      for (; j < samples && offset + kValueEntryBytes <= size; ++j, offset += kValueEntryBytes) {
        const uint8_t* e = bytes + offset;
        if (ReadLe32(e) != plan.tag || ReadLe32(e + 4) != signal.Next()) break;
      }
      sampleN_[r] += j;
      samplesChecked_ += j;
    }
    for (; j < samples; ++j, offset += kValueEntryBytes) {
      if (offset + kValueEntryBytes > size) {
        abandoned = true;  // the length check names the short packet
        Unseen(r, samples - j);
        break;
      }
      const uint8_t* e = bytes + offset;
      const uint32_t tag = ReadLe32(e);
      if (tag != plan.tag) {
        TagMismatch(r, plan.tag, tag, offset);
        abandoned = true;
        Unseen(r, samples - j);
        break;
      }
      CheckValue(r, ReadLe32(e + 4), offset + 4);
    }
  }
  expectedLength = due;
}

}  // namespace yebverify
