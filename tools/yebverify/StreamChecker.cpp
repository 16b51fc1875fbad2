#include "StreamChecker.h"

#include <algorithm>
#include <bit>
#include <cstdio>

#include "ByteOrder.h"

namespace yebverify {
namespace {

std::string HexByte(uint8_t byte) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%02x", byte);
  return text;
}

std::string FloatText(uint32_t bits) {
  char text[48];
  std::snprintf(text, sizeof text, "%.9g", static_cast<double>(BitsToFloat(bits)));
  return text;
}

}  // namespace

StreamChecker::StreamChecker(const StreamModel& model, TimeOptions timeOptions, FailureLog& log)
    : model_(model),
      log_(log),
      timeRules_(timeOptions, model.shape().packetRate, model.timeValuesPerPacket()),
      next_(model.records().size(), kNoValue),
      shifted_(model.records().size(), kNoValue) {
  if (model_.shape().source == SourceKind::kCustom) {
    knownTagBits_.assign(65536 / 64, 0);
    for (const RecordPlan& r : model_.records())
      knownTagBits_[(r.tag & 0xFFFF) / 64] |= 1ull << (r.tag % 64);
  } else {
    for (const RecordPlan& r : model_.records()) sortedNepTags_.push_back(r.tag);
    std::sort(sortedNepTags_.begin(), sortedNepTags_.end());
  }
}

void StreamChecker::SetSignals(const SignalCheck* check) {
  signals_ = check;
  const size_t count = model_.records().size();
  special_.assign(count, 0);
  sampleN_.assign(count, 0);
  for (size_t r = 0; r < count; ++r) {
    const bool signal = check->plan != nullptr && check->plan->SourceOf(r) >= 0;
    const bool logged = check->valuesOut != nullptr && check->logged[r] != 0;
    special_[r] = signal || logged;
  }
}

bool StreamChecker::CheckSignalSample(size_t record, uint32_t bits, uint64_t offset) {
  const uint64_t n = sampleN_[record]++;
  if (signals_->valuesOut != nullptr && signals_->logged[record] != 0) {
    const RecordPlan& plan = model_.records()[record];
    const ListedParameter& listed = model_.list().parameters[record];
    packet::ValueCsvSample line;
    line.run = signals_->runId;
    line.connection = connection_;
    line.sequence = lastPacket_;
    line.packetTimeNs = packetTimeNs_;
    line.j = static_cast<int64_t>(n - model_.SamplesInRange(plan, 1, lastPacket_ - 1));
    line.rate = listed.rate;
    line.parameter = listed.name;
    line.tag = plan.tag;
    line.sample = n;
    line.valueBits = bits;
    signals_->valuesOut->Add(line);
  }
  const int32_t source = signals_->plan != nullptr ? signals_->plan->SourceOf(record) : -1;
  if (source < 0) return false;
  ++samplesChecked_;
  const packet::SignalSource& signal = signals_->plan->source(source);
  const uint32_t due = std::bit_cast<uint32_t>(signal.At(record + 1, n));
  if (SignalValueMatches(bits, due, signal.rule().pattern)) return true;
  if (OneBitOff(bits, due)) {
    Fault(FailureKind::kCorrupted, lastPacket_, 0, offset,
          RecordName(record) + ": expected " + FloatText(due) + ", found " + FloatText(bits) +
              ", one bit off");
    return true;
  }
  log_.Record(FailureKind::kValue, packetIndex_, offset, [&] {
    return Mismatch(RecordName(record) + ": ", FloatText(due), FloatText(bits),
                    "sample " + std::to_string(n) + " of line " +
                        std::to_string(signal.rule().line) + " (" + signal.rule().text + "): ");
  });
  return true;
}

void StreamChecker::BeginConnection() {
  ++connection_;
  EndConnection();
  newConnection_ = true;
}

void StreamChecker::EndConnection() {
  SettleJump(true);
  FlushDuplicates();
}

void StreamChecker::FlushDuplicates() {
  if (duplicates_ == 0) return;
  const uint64_t copies = duplicates_;
  duplicates_ = 0;
  Fault(FailureKind::kDuplicated, duplicatedPacket_, static_cast<int64_t>(copies), 0,
        "packet " + std::to_string(duplicatedPacket_) + " came " + std::to_string(copies) +
            " more time" + (copies == 1 ? "" : "s"));
}

void StreamChecker::SettleJump(bool lasting) {
  if (!jump_.pending) return;
  jump_.pending = false;
  if (lasting) {
    Fault(FailureKind::kTimeJump, jump_.toolPacket, jump_.ticks, 48, jump_.jumpText,
          jump_.received);
  } else {
    log_.Record(FailureKind::kTime, jump_.received, 48, [&] { return jump_.timeText; });
  }
}

void StreamChecker::Fault(FailureKind kind, uint64_t toolPacket, int64_t amount, uint64_t offset,
                          const std::string& text, uint64_t received) {
  if (matcher_ != nullptr && matcher_->Accept(kind, toolPacket, amount)) return;
  // A stream that ends is found after the last packet received.
  const bool atEnd = kind == FailureKind::kTruncated || kind == FailureKind::kDisconnected;
  if (received == 0) received = packetIndex_ + (atEnd ? 1 : 0);
  log_.Record(kind, received, offset, [&] { return text; });
}

void StreamChecker::StartTransferAt(uint64_t packet) {
  // The first packet seen: every sample number starts from the samples of
  // the packets the tool built before it.
  if (!anyPacket_ && !sampleN_.empty()) {
    const std::vector<RecordPlan>& records = model_.records();
    for (size_t r = 0; r < records.size(); ++r)
      sampleN_[r] = model_.SamplesInRange(records[r], 1, packet - 1);
  }
  if (matcher_ != nullptr) matcher_->BeginTransfer(packet);
}

void StreamChecker::CheckGreeting(const uint8_t* bytes) {
  static constexpr uint8_t kGreeting[5] = {0x01, 0, 0, 0, 0};
  for (size_t i = 0; i < sizeof kGreeting; ++i) {
    if (bytes[i] != kGreeting[i]) {
      log_.Record(FailureKind::kGreeting, packetIndex_ + 1, i, [&] {
        return Mismatch("greeting byte " + std::to_string(i) + ": ", HexByte(kGreeting[i]),
                        HexByte(bytes[i]));
      });
      return;
    }
  }
}

void StreamChecker::CheckPacket(const uint8_t* bytes, size_t size, bool repeatsPrevious) {
  ++packetIndex_;
  if (repeatsPrevious && anyPacket_ && !newConnection_) {
    // The same packet again: nothing in it is due a second time.
    duplicatedPacket_ = lastPacket_;
    ++duplicates_;
    ++packetsChecked_;
    return;
  }
  FlushDuplicates();
  if (model_.shape().source == SourceKind::kCustom) {
    CheckCustom(bytes, size);
  } else {
    CheckNep(bytes, size);
  }
  newConnection_ = false;
  anyPacket_ = true;
  ++packetsChecked_;
}

int64_t StreamChecker::dataTimeNs() const {
  if (model_.shape().source == SourceKind::kCustom) return CustomDataTimeNs(nextTick_);
  return static_cast<int64_t>(lastNepTime_);
}

void StreamChecker::SkipPackets(uint64_t first, uint64_t last, bool betweenConnections) {
  if (last < first) return;
  if (betweenConnections) missedPackets_ += last - first + 1;
  const std::vector<RecordPlan>& records = model_.records();
  for (size_t r = 0; r < records.size(); ++r)
    Unseen(r, model_.SamplesInRange(records[r], first, last));
}

void StreamChecker::Unseen(size_t record, uint64_t samples) {
  if (samples == 0) return;
  if (!sampleN_.empty()) sampleN_[record] += samples;
  const RecordPlan& plan = model_.records()[record];
  for (uint32_t* value : {&next_[record], &shifted_[record]}) {
    if (*value != kNoValue)
      *value = samples == 1 ? NextValue(plan, *value) : AdvanceValue(plan, *value, samples);
  }
}

void StreamChecker::SetShifted(size_t record, uint32_t value) {
  uint32_t& shifted = shifted_[record];
  shiftedCount_ += (value != kNoValue) - (shifted != kNoValue);
  shifted = value;
}

void StreamChecker::CheckValue(size_t record, uint32_t bits, uint64_t offset) {
  if (Special(record) && CheckSignalSample(record, bits, offset)) return;
  ++samplesChecked_;
  const RecordPlan& plan = model_.records()[record];
  uint32_t& next = next_[record];
  const uint32_t shifted = shifted_[record];
  if (next != kNoValue && bits == FloatBits(next)) {
    next = NextValue(plan, next);
    if (shifted != kNoValue) SetShifted(record, kNoValue);
    return;
  }
  if (shifted != kNoValue && bits == FloatBits(shifted)) {
    next = NextValue(plan, shifted);
    SetShifted(record, kNoValue);
    return;
  }
  if (next != kNoValue && OneBitOff(bits, FloatBits(next))) {
    // A flipped bit: the counter goes on as due.
    Fault(FailureKind::kCorrupted, lastPacket_, 0, offset,
          RecordName(record) + ": expected " + std::to_string(next) + ", found " + FloatText(bits) +
              ", one bit off");
    next = NextValue(plan, next);
    if (shifted != kNoValue) SetShifted(record, kNoValue);
    return;
  }
  uint32_t found = 0;
  const bool valid = IsCounterValue(plan, bits, found);
  if (next != kNoValue) {
    log_.Record(FailureKind::kValue, packetIndex_, offset, [&] {
      return Mismatch(RecordName(record) + ": ", std::to_string(next), FloatText(bits));
    });
    SetShifted(record, valid ? NextValue(plan, found) : kNoValue);
    next = NextValue(plan, next);
  } else if (valid) {
    next = NextValue(plan, found);
  } else {
    log_.Record(FailureKind::kValue, packetIndex_, offset, [&] {
      return Mismatch(
          RecordName(record) + ": ",
          "0.." + std::to_string(plan.maxValue) + " in steps of " + std::to_string(plan.step),
          FloatText(bits), "a counter value ");
    });
  }
}

bool StreamChecker::TagKnown(uint32_t tag) const {
  if (model_.shape().source == SourceKind::kCustom) {
    return tag <= 0xFFFF && (knownTagBits_[tag / 64] >> (tag % 64) & 1) != 0;
  }
  return std::binary_search(sortedNepTags_.begin(), sortedNepTags_.end(), tag);
}

std::string StreamChecker::RecordName(size_t record) const {
  const ListedParameter& p = model_.list().parameters[record];
  return p.name + " (tag " + std::to_string(p.tag) + ")";
}

std::string StreamChecker::NameOfTagNear(size_t record, uint32_t tag) const {
  // Tags can repeat once 16-bit Custom tags wrap, so look near the
  // expected record first.
  const std::vector<RecordPlan>& records = model_.records();
  constexpr size_t kWindow = 64;
  size_t from = record > kWindow ? record - kWindow : 0;
  size_t to = std::min(records.size(), record + kWindow);
  for (size_t r = from; r < to; ++r) {
    if (records[r].tag == tag) return model_.list().parameters[r].name;
  }
  return {};
}

void StreamChecker::TagMismatch(size_t record, uint32_t expectedTag, uint32_t foundTag,
                                uint64_t offset) {
  if (!TagKnown(foundTag)) {
    log_.Record(FailureKind::kTag, packetIndex_, offset, [&] {
      return FailureText{"tag " + std::to_string(foundTag) + " is not in the list (expected " +
                             RecordName(record) + ")",
                         std::to_string(expectedTag), std::to_string(foundTag)};
    });
    return;
  }
  std::string near = NameOfTagNear(record, foundTag);
  if (!near.empty()) {
    // A neighbour's sample where this one was due: a parameter sampled more
    // or less often than its rate says.
    log_.Record(FailureKind::kRate, packetIndex_, offset, [&] {
      return FailureText{"expected a sample of " + RecordName(record) + ", found tag " +
                             std::to_string(foundTag) + " (" + near +
                             "): a parameter sampled more or less often than its rate says",
                         std::to_string(expectedTag), std::to_string(foundTag)};
    });
    return;
  }
  log_.Record(FailureKind::kTag, packetIndex_, offset, [&] {
    return FailureText{"expected tag " + std::to_string(expectedTag) + " of " + RecordName(record) +
                           ", found tag " + std::to_string(foundTag) + ", out of list order",
                       std::to_string(expectedTag), std::to_string(foundTag)};
  });
}

void StreamChecker::CheckZeros(const uint8_t* bytes, size_t from, size_t to) {
  size_t i = from;
  // Eight bytes at a time: the tail of a large packet can be megabytes.
  for (; i + 8 <= to; i += 8) {
    uint64_t word;
    std::memcpy(&word, bytes + i, sizeof word);
    if (word != 0) break;
  }
  for (; i < to; ++i) {
    if (bytes[i] != 0) {
      log_.Record(FailureKind::kPadding, packetIndex_, i, [&] {
        return FailureText{"expected zero bytes after the last pair, found " + HexByte(bytes[i]),
                           "0x00", HexByte(bytes[i])};
      });
      return;
    }
  }
}

}  // namespace yebverify
