// The NEP packet: length word, time entries, one entry per sample.
#include <cstdio>

#include "ByteOrder.h"
#include "StreamChecker.h"

namespace yebverify {
namespace {

constexpr size_t kTimeEntryBytes = 12;
constexpr size_t kValueEntryBytes = 8;
constexpr uint64_t kTimeStepNs = 100000;

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
    } else if (tag == tagWord && shiftedNepTimeValid_ && time == shiftedNepTime_ + kTimeStepNs) {
      // The earlier wrong entry was a lasting shift, not a glitch.
      shiftedNepTimeValid_ = false;
      want = time;
    } else if (!reported) {
      reported = true;
      log_.Record(FailureKind::kNepTime, packetIndex_, 4 + i * kTimeEntryBytes, [&] {
        char text[200];
        std::snprintf(
            text, sizeof text,
            "time entry %zu: expected tag word 0x%08x and %llu ns, found 0x%08x and %llu ns", i,
            tagWord, static_cast<unsigned long long>(want), tag,
            static_cast<unsigned long long>(time));
        return std::string(text);
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

void StreamChecker::CheckNep(const uint8_t* bytes, size_t size) {
  const uint64_t packet = NepPacketNumber(bytes, size);
  if (newConnection_ && anyPacket_) SkipPackets(lastPacket_ + 1, packet - 1);
  lastPacket_ = packet;
  CheckNepTimeEntries(bytes, size);
  uint64_t expectedLength = 0;
  WalkNepEntries(bytes, size, expectedLength);
  const uint32_t lengthWord = ReadLe32(bytes);
  if (lengthWord + 4ull != expectedLength || size != expectedLength) {
    log_.Record(FailureKind::kSize, packetIndex_, 0, [&] {
      return "expected length word " + std::to_string(expectedLength - 4) +
             " (the samples due in packet " + std::to_string(packet) + "), found " +
             std::to_string(lengthWord);
    });
  }
}

void StreamChecker::WalkNepEntries(const uint8_t* bytes, size_t size, uint64_t& expectedLength) {
  const std::vector<RecordPlan>& records = model_.records();
  const uint64_t packet = lastPacket_;
  uint64_t offset = 4 + kTimeEntryBytes * static_cast<uint64_t>(model_.timeValuesPerPacket());
  uint64_t due = offset;
  bool abandoned = false;
  for (size_t r = 0; r < records.size(); ++r) {
    const RecordPlan& plan = records[r];
    const uint32_t samples = model_.SamplesIn(plan, packet);
    if (samples == 0) continue;
    due += kValueEntryBytes * static_cast<uint64_t>(samples);
    if (abandoned) {
      Unseen(r, samples);
      continue;
    }
    uint32_t j = 0;
    uint32_t& next = next_[r];
    if (next != kNoValue && Settled(r)) {
      // Hot path: the whole run of this record's entries, while it matches.
      for (; j < samples && offset + kValueEntryBytes <= size; ++j, offset += kValueEntryBytes) {
        const uint8_t* e = bytes + offset;
        if (ReadLe32(e) != plan.tag || ReadLe32(e + 4) != FloatBits(next)) break;
        next = NextValue(plan, next);
      }
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
