// The Custom packet: header, day pair, time pairs, value pairs, zero tail.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "ByteOrder.h"
#include "StreamChecker.h"

namespace yebverify {
namespace {

constexpr size_t kHeaderBytes = 32;
constexpr size_t kDayPairOffset = 32;
constexpr size_t kTimePairsOffset = 44;
constexpr size_t kPairBytes = 12;
// A sequence number further ahead than this is not read as dropped packets
// (a stall of an hour at 200 packets per second is 720,000).
constexpr uint64_t kMaxDroppedPackets = 1000000;

std::string PairText(uint32_t tag1, uint32_t tag2, uint32_t value1, uint32_t value2) {
  return "tags " + std::to_string(tag1) + " " + std::to_string(tag2) + " and values " +
         std::to_string(value1) + " " + std::to_string(value2);
}

}  // namespace

// Dropped packets took their time words with them; a sequence number that
// jumps while the time goes on as due is a fault of the number alone.
bool StreamChecker::TimeFollowsDrop(const uint8_t* bytes, size_t size, uint64_t dropped) const {
  if (size < kTimePairsOffset + kPairBytes) return false;
  const uint64_t ticks = dropped * static_cast<uint64_t>(model_.timeValuesPerPacket());
  return ReadLe32(bytes + kTimePairsOffset + 4) ==
         timeRules_.dueTick() + static_cast<uint32_t>(ticks);
}

uint64_t StreamChecker::CustomPacketNumber(const uint8_t* bytes, size_t size) {
  if (size < 12) return lastPacket_ + 1;
  const uint32_t sequence = ReadLe32(bytes + 4);
  const uint32_t copy = ReadLe32(bytes + 8);
  if (copy != sequence) {
    log_.Record(FailureKind::kHeader, packetIndex_, 8, [&] {
      return FailureText{"the second sequence word " + std::to_string(copy) +
                             " differs from the first, " + std::to_string(sequence),
                         std::to_string(sequence), std::to_string(copy)};
    });
  }
  uint64_t packet;
  if (!anyPacket_) {
    packet = sequence == 0 ? 1 : sequence;
    if (sequence == 0) {
      log_.Record(FailureKind::kSequence, packetIndex_, 4,
                  [] { return std::string("sequence number 0; numbers start at 1"); });
    }
  } else if (newConnection_) {
    // Modulo 2^32: the numbers carry on through their wrap after ~248 days
    // at 200 packets per second.
    const uint32_t ahead = sequence - lastSequence_;
    if (ahead != 0 && ahead < 0x80000000u) {
      packet = lastPacket_ + ahead;
    } else {
      log_.Record(FailureKind::kSequence, packetIndex_, 4, [&] {
        return FailureText{
            "after reconnecting expected a sequence number above " + std::to_string(lastSequence_) +
                ", found " + std::to_string(sequence) + " (numbers must carry on across transfers)",
            "above " + std::to_string(lastSequence_), std::to_string(sequence)};
      });
      packet = lastPacket_ + 1;
    }
  } else {
    packet = lastPacket_ + 1;
    if (sequence == lastSequence_ + 1 ||
        (shiftedSequenceValid_ && sequence == shiftedSequence_ + 1)) {
      shiftedSequenceValid_ = false;
    } else if (!shiftedSequenceValid_ && sequence > lastSequence_ + 1 &&
               sequence - lastSequence_ - 1 <= kMaxDroppedPackets &&
               TimeFollowsDrop(bytes, size, sequence - lastSequence_ - 1)) {
      // Packets built and never sent: the counters and the time move on.
      const uint64_t dropped = sequence - lastSequence_ - 1;
      Fault(FailureKind::kDropped, lastPacket_ + 1, static_cast<int64_t>(dropped), 4,
            std::to_string(dropped) + " packets missing: sequence number " +
                std::to_string(sequence) + " after " + std::to_string(lastSequence_));
      SkipPackets(lastPacket_ + 1, lastPacket_ + dropped, false);
      timeRules_.SkipPackets(dropped);
      packet = lastPacket_ + 1 + dropped;
    } else {
      log_.Record(FailureKind::kSequence, packetIndex_, 4, [&] {
        return FailureText{"expected sequence number " + std::to_string(lastSequence_ + 1) +
                               ", found " + std::to_string(sequence),
                           std::to_string(lastSequence_ + 1), std::to_string(sequence)};
      });
      // The next number may follow either this one or the one expected.
      shiftedSequenceValid_ = true;
      shiftedSequence_ = sequence;
      lastSequence_ = lastSequence_ + 1;
      return packet;
    }
  }
  lastSequence_ = sequence;
  return packet;
}

void StreamChecker::CheckCustomTime(const uint8_t* bytes, size_t size) {
  const ParameterList& list = model_.list();
  // The day pair: its tag in both tag fields, the value 1 in both samples.
  if (size >= kDayPairOffset + kPairBytes) {
    const uint8_t* day = bytes + kDayPairOffset;
    const bool tagsRight = ReadLe16(day) == list.dayTag && ReadLe16(day + 2) == list.dayTag;
    const uint32_t first = ReadLe32(day + 4), second = ReadLe32(day + 8);
    if (tagsRight &&
        ((OneBitOff(first, 1) && second == 1) || (first == 1 && OneBitOff(second, 1)))) {
      Fault(FailureKind::kCorrupted, lastPacket_, 0, kDayPairOffset + (first == 1 ? 8 : 4),
            "day pair: expected values 1 1, found " + std::to_string(first) + " " +
                std::to_string(second) + ", one bit off");
    } else if (!tagsRight || first != 1 || second != 1) {
      log_.Record(FailureKind::kDay, packetIndex_, kDayPairOffset, [&] {
        return Mismatch(
            "day pair: ", PairText(list.dayTag, list.dayTag, 1, 1),
            PairText(ReadLe16(day), ReadLe16(day + 2), ReadLe32(day + 4), ReadLe32(day + 8)));
      });
    }
  }
  const size_t timePairs = static_cast<size_t>(model_.timeValuesPerPacket() / 2);
  if (size < kTimePairsOffset + timePairs * kPairBytes) return;
  const uint8_t* pairs = bytes + kTimePairsOffset;
  const uint32_t first = ReadLe32(pairs + 4);
  std::string allowed;
  const uint32_t tag = list.millisecondTag;
  if (jump_.pending) SettleJump(timeRules_.FollowsShift(first));
  if (!timeRules_.CheckFirst(first, allowed)) {
    bool follow = timeRules_.InConnection() && timeRules_.LastWasBreak();
    for (size_t i = 0; follow && i < timePairs; ++i) {
      const uint8_t* pair = pairs + i * kPairBytes;
      const uint32_t want = first + static_cast<uint32_t>(2 * i);
      follow = ReadLe16(pair) == tag && ReadLe16(pair + 2) == tag && ReadLe32(pair + 4) == want &&
               ReadLe32(pair + 8) == want + 1;
    }
    if (follow) {
      // The whole packet moved; the next packet tells a jump from a glitch.
      const int64_t ticks = static_cast<int32_t>(first - timeRules_.dueTick());
      char text[160];
      std::snprintf(text, sizeof text, "the data time jumped by %.4f s (time word %u, due %u)",
                    static_cast<double>(ticks) / 1e4, first, timeRules_.dueTick());
      jump_ = PendingJump{true,
                          packetIndex_,
                          lastPacket_,
                          ticks,
                          text,
                          "first time word of the packet: expected " + allowed + ", found " +
                              std::to_string(first)};
    } else {
      log_.Record(FailureKind::kTime, packetIndex_, kTimePairsOffset + 4, [&] {
        return Mismatch("first time word of the packet: ", allowed, std::to_string(first));
      });
    }
  }
  if (timeRules_.JoinedLate() && joinedAtSequence_ == 0) joinedAtSequence_ = lastSequence_;
  for (size_t i = 0; i < timePairs; ++i) {
    const uint8_t* pair = pairs + i * kPairBytes;
    const uint32_t want = first + static_cast<uint32_t>(2 * i);
    if (ReadLe16(pair) != tag || ReadLe16(pair + 2) != tag || ReadLe32(pair + 4) != want ||
        ReadLe32(pair + 8) != want + 1) {
      log_.Record(FailureKind::kTime, packetIndex_, kTimePairsOffset + i * kPairBytes, [&] {
        return Mismatch(
            "time pair " + std::to_string(i) + ": ", PairText(tag, tag, want, want + 1),
            PairText(ReadLe16(pair), ReadLe16(pair + 2), ReadLe32(pair + 4), ReadLe32(pair + 8)));
      });
      break;
    }
  }
  nextTick_ = ReadLe32(pairs + (timePairs - 1) * kPairBytes + 8) + 1;
  timeRules_.EndPacket(nextTick_);
}

void StreamChecker::CheckCustom(const uint8_t* bytes, size_t size) {
  const uint64_t expectedSize = model_.packetSizeLimit();
  const uint32_t sizeWord = ReadLe32(bytes);
  if (sizeWord + 4ull != expectedSize) {
    log_.Record(FailureKind::kSize, packetIndex_, 0, [&] {
      return Mismatch("", std::to_string(expectedSize - 4), std::to_string(sizeWord), "size word ");
    });
  }
  const uint64_t packet = CustomPacketNumber(bytes, size);
  if (newConnection_) {
    const uint64_t lost = anyPacket_ ? packet - lastPacket_ - 1 : 0;
    if (anyPacket_) SkipPackets(lastPacket_ + 1, packet - 1);
    timeRules_.BeginConnection(lost);
  }
  lastPacket_ = packet;
  if (size >= kTimePairsOffset + 8)
    packetTimeNs_ = CustomDataTimeNs(ReadLe32(bytes + kTimePairsOffset + 4));
  if (newConnection_) StartTransferAt(packet);

  for (size_t i = 12; i < kHeaderBytes && i + 4 <= size; i += 4) {
    if (ReadLe32(bytes + i) != 0) {
      log_.Record(FailureKind::kHeader, packetIndex_, i, [&] {
        return Mismatch("header word " + std::to_string(i / 4) + ": ", "0",
                        std::to_string(ReadLe32(bytes + i)));
      });
      break;
    }
  }
  CheckCustomTime(bytes, size);

  const size_t pairsOffset =
      kTimePairsOffset + static_cast<size_t>(model_.timeValuesPerPacket() / 2) * kPairBytes;
  const size_t end = size < expectedSize ? size : static_cast<size_t>(expectedSize);
  const size_t capacity = end > pairsOffset ? (end - pairsOffset) / kPairBytes : 0;
  size_t used = 0;
  const uint8_t* pairs = bytes + (end > pairsOffset ? pairsOffset : 0);
  const bool complete = model_.HasTag0() ? WalkCustomPairs(pairs, capacity, pairsOffset, used)
                                         : WalkCustomSlots(pairs, capacity, pairsOffset, used);
  // After a broken walk the rest of the packet is not known to be padding.
  if (complete && size > pairsOffset + used * kPairBytes)
    CheckZeros(bytes, pairsOffset + used * kPairBytes, size);
}

// Without a tag 0 in the list the pairing is plain: the k-th sample of the
// packet sits in slot k (pair k / 2, half k % 2), and when the count is odd
// the last sample is never sent. That lets a run of one parameter's samples
// be compared a pair at a time against counter values worked out in single
// precision, which is where the time goes on large streams.
bool StreamChecker::WalkCustomSlots(const uint8_t* pairs, size_t pairCapacity, uint64_t pairsOffset,
                                    size_t& pairsUsed) {
  const std::vector<RecordPlan>& records = model_.records();
  const uint64_t packet = lastPacket_;
  const uint64_t written = model_.SamplesInPacket(packet) & ~1ull;
  const uint64_t room = 2 * static_cast<uint64_t>(pairCapacity);
  auto tagAt = [&](uint64_t slot) { return pairs + (slot >> 1) * kPairBytes + (slot & 1) * 2; };
  auto valueAt = [&](uint64_t slot) {
    return pairs + (slot >> 1) * kPairBytes + 4 + (slot & 1) * 4;
  };
  auto offsetOf = [&](const uint8_t* p) { return pairsOffset + static_cast<uint64_t>(p - pairs); };
  const bool fits = written <= room;
  uint64_t k = 0;
  uint64_t checked = 0;  // kept local: the loop runs once per record
  BeginUniformWalk();
  bool abandoned = false;
  const size_t recordCount = records.size();
  for (size_t r = 0; r < recordCount; ++r) {
    const RecordPlan& plan = records[r];
    const uint32_t samples = model_.SamplesIn(plan, packet);
    if (samples == 0) continue;
    if (abandoned) {
      Unseen(r, samples);
      continue;
    }
    if (uniformEnd_[r] > r) {
      const uint64_t reach = std::min(written, room);
      const size_t whole = reach > k ? static_cast<size_t>((reach - k) / samples) : 0;
      const size_t taken =
          CheckUniform(r, whole, pairs + (k >> 1) * kPairBytes,
                       (k & 1) != 0 ? RunStart::kSecondHalf : RunStart::kPairStart, nullptr);
      if (taken > 0) {
        k += taken * samples;
        r += taken - 1;
        continue;
      }
    }
    const uint64_t sent = written > k ? std::min<uint64_t>(samples, written - k) : 0;
    if (!fits && k + sent > room) {
      log_.Record(FailureKind::kSize, packetIndex_, pairsOffset + room / 2 * kPairBytes, [&] {
        return "the packet ends before the samples of " + RecordName(r) +
               " that its rate calls for";
      });
      abandoned = true;
      Unseen(r, samples);
      continue;
    }
    uint64_t j = 0;
    uint32_t& next = next_[r];
    if (next != kNoValue && Settled(r) && sent > 0 && !Special(r) &&
        next + (sent - 1) * plan.step <= plan.maxValue) {
      // No wrap inside the run: the values are next, next + step, ...; each
      // is converted on its own so that no chain of additions holds it up.
      const uint32_t step = plan.step;
      uint32_t value = next;
      uint64_t slot = k;
      const uint64_t end = k + sent;
      bool ok = true;
      if (slot & 1) {
        ok = ReadLe16(tagAt(slot)) == plan.tag && ReadLe32(valueAt(slot)) == FloatBits(value);
        if (ok) {
          ++slot;
          value += step;
        }
      }
      const uint32_t tagWord = plan.tag | plan.tag << 16;
      for (; ok && slot + 2 <= end; slot += 2) {
        const uint8_t* e = pairs + (slot >> 1) * kPairBytes;
        const uint64_t both = FloatBits(value) | static_cast<uint64_t>(FloatBits(value + step))
                                                     << 32;
        if (ReadLe32(e) != tagWord || ReadLe64(e + 4) != both) break;
        value += 2 * step;
      }
      if (ok && slot < end && ReadLe16(tagAt(slot)) == plan.tag &&
          ReadLe32(valueAt(slot)) == FloatBits(value))
        ++slot;
      j = slot - k;
      checked += j;
      // The run held no wrap, but the sample after it may.
      if (j > 0) next = NextValue(plan, next + static_cast<uint32_t>((j - 1) * plan.step));
      if (j == samples) {
        k += samples;
        continue;
      }
    } else if (const packet::SignalSource* source = sent > 0 ? PlainSignal(r) : nullptr) {
      // A signal's run of samples while each is due exactly; the per-sample
      // check takes the first that is not (a sine may be a last bit off).
      SignalCursor due(*source, r + 1, sampleN_[r]);
      uint64_t slot = k;
      const uint64_t end = k + sent;
      while (slot < end && ReadLe16(tagAt(slot)) == plan.tag &&
             ReadLe32(valueAt(slot)) == due.Next()) {
        ++slot;
      }
      j = slot - k;
      sampleN_[r] += j;
      checked += j;
      if (j == samples) {
        k += samples;
        continue;
      }
    }
    for (; j < sent; ++j) {
      const uint8_t* tag = tagAt(k + j);
      if (ReadLe16(tag) != plan.tag) {
        TagMismatch(r, plan.tag, ReadLe16(tag), offsetOf(tag));
        abandoned = true;
        break;
      }
      const uint8_t* value = valueAt(k + j);
      CheckValue(r, ReadLe32(value), offsetOf(value));
    }
    Unseen(r, samples - j);  // the dropped last sample, or what a fault left unchecked
    k += samples;
  }
  samplesChecked_ += checked;
  pairsUsed = static_cast<size_t>(std::min(written, room) / 2);
  return !abandoned;
}

// Replays the builder's pairing: a sample becomes the pending half when the
// pending half is empty (its tag 0), otherwise it completes a pair. A
// pending sample left at the end, or one displaced because its tag is 0, was
// never sent, though its counter moved on.
bool StreamChecker::WalkCustomPairs(const uint8_t* pairs, size_t pairCapacity, uint64_t pairsOffset,
                                    size_t& pairsUsed) {
  const std::vector<RecordPlan>& records = model_.records();
  const uint64_t packet = lastPacket_;
  size_t p = 0;
  constexpr size_t kNone = static_cast<size_t>(-1);
  size_t pendingRecord = kNone;
  uint32_t pendingTag = 0;
  bool abandoned = false;
  BeginUniformWalk();

  for (size_t r = 0; r < records.size(); ++r) {
    const RecordPlan& plan = records[r];
    const uint32_t samples = model_.SamplesIn(plan, packet);
    if (samples == 0) continue;
    if (abandoned) {
      Unseen(r, samples);
      continue;
    }
    if (pendingTag == 0 && uniformEnd_[r] > r) {
      // Whole records from the start of a pair, ending where a pair does.
      const size_t whole = 2 * (pairCapacity - p) / samples;
      bool lastPending = false;
      const size_t taken =
          CheckUniform(r, whole, pairs + p * kPairBytes, RunStart::kPairStart, &lastPending);
      if (taken > 0) {
        if (pendingRecord != kNone) Unseen(pendingRecord, 1);  // a tag-0 sample displaced
        p += taken * samples / 2;
        r += taken - 1;
        pendingRecord = lastPending ? r : kNone;
        pendingTag = lastPending ? records[r].tag : 0;
        continue;
      }
    }
    uint32_t j = 0;
    while (j < samples) {
      if (pendingTag == 0) {
        if (pendingRecord != kNone) Unseen(pendingRecord, 1);
        pendingRecord = r;
        pendingTag = plan.tag;
        ++j;
        // Whole pairs of this record: the hot path for fast parameters.
        uint32_t& next = next_[r];
        if (plan.tag != 0 && next != kNoValue && Settled(r) && !Special(r)) {
          // The pending half is this record's sample just taken; it pairs
          // with the next one.
          const uint32_t tagWord = plan.tag | plan.tag << 16;
          while (samples - j >= 1 && p < pairCapacity) {
            const uint8_t* e = pairs + p * kPairBytes;
            const uint32_t second = NextValue(plan, next);
            if (ReadLe32(e) != tagWord || ReadLe32(e + 4) != FloatBits(next) ||
                ReadLe32(e + 8) != FloatBits(second)) {
              break;
            }
            next = NextValue(plan, second);
            samplesChecked_ += 2;
            ++p;
            ++j;
            pendingTag = 0;
            pendingRecord = kNone;
            if (samples - j < 2) break;
            // Take the next first half.
            pendingRecord = r;
            pendingTag = plan.tag;
            ++j;
          }
        } else if (const packet::SignalSource* source = plan.tag != 0 ? PlainSignal(r) : nullptr) {
          // The same for a signal: the pending half is sample n.
          uint64_t& n = sampleN_[r];
          SignalCursor due(*source, r + 1, n);
          const uint32_t tagWord = plan.tag | plan.tag << 16;
          while (samples - j >= 1 && p < pairCapacity) {
            const uint8_t* e = pairs + p * kPairBytes;
            const uint32_t first = due.Next();
            const uint32_t second = due.Next();
            if (ReadLe32(e) != tagWord || ReadLe32(e + 4) != first || ReadLe32(e + 8) != second)
              break;
            n += 2;
            samplesChecked_ += 2;
            ++p;
            ++j;
            pendingTag = 0;
            pendingRecord = kNone;
            if (samples - j < 2) break;
            pendingRecord = r;
            pendingTag = plan.tag;
            ++j;
          }
        }
        continue;
      }
      if (p >= pairCapacity) {
        // The packet ends before the samples the list calls for.
        log_.Record(FailureKind::kSize, packetIndex_, pairsOffset + p * kPairBytes, [&] {
          return "the packet ends before the sample of " + RecordName(r) +
                 " that its rate calls for";
        });
        abandoned = true;
        Unseen(pendingRecord, 1);
        pendingRecord = kNone;
        pendingTag = 0;
        Unseen(r, samples - j);
        break;
      }
      const uint8_t* e = pairs + p * kPairBytes;
      const uint64_t at = pairsOffset + p * kPairBytes;
      const uint32_t firstTag = ReadLe16(e);
      const uint32_t secondTag = ReadLe16(e + 2);
      if (firstTag != pendingTag || secondTag != plan.tag) {
        if (firstTag != pendingTag) {
          TagMismatch(pendingRecord, pendingTag, firstTag, at);
        } else {
          TagMismatch(r, plan.tag, secondTag, at + 2);
        }
        abandoned = true;
        Unseen(pendingRecord, 1);
        pendingRecord = kNone;
        pendingTag = 0;
        Unseen(r, samples - j);
        break;
      }
      CheckValue(pendingRecord, ReadLe32(e + 4), at + 4);
      CheckValue(r, ReadLe32(e + 8), at + 8);
      ++p;
      ++j;
      pendingRecord = kNone;
      pendingTag = 0;
      if (j == 1 && uniformEnd_[r] > r) {
        // The rest of this record and the records after it start a pair.
        const size_t whole = (2 * (pairCapacity - p) + 1) / samples;
        bool lastPending = false;
        const size_t taken =
            CheckUniform(r, whole, pairs + p * kPairBytes, RunStart::kAfterFirst, &lastPending);
        if (taken > 0) {
          p += (taken * samples - 1) / 2;
          r += taken - 1;
          pendingRecord = lastPending ? r : kNone;
          pendingTag = lastPending ? records[r].tag : 0;
          break;
        }
      }
    }
  }
  if (pendingRecord != kNone) Unseen(pendingRecord, 1);
  pairsUsed = p;
  return !abandoned;
}

}  // namespace yebverify
