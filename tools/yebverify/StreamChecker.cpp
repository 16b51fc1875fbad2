#include "StreamChecker.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <type_traits>

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
      shifted_(model.records().size(), kNoValue),
      uniform_(model.shape().source == SourceKind::kCustom ? SampleLayout::kCustomPairs
                                                           : SampleLayout::kNepEntries) {
  if (model_.shape().source == SourceKind::kCustom) {
    knownTagBits_.assign(65536 / 64, 0);
    for (const RecordPlan& r : model_.records())
      knownTagBits_[(r.tag & 0xFFFF) / 64] |= 1ull << (r.tag % 64);
  } else {
    for (const RecordPlan& r : model_.records()) sortedNepTags_.push_back(r.tag);
    std::sort(sortedNepTags_.begin(), sortedNepTags_.end());
  }
  FindUniformRuns();
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
  FindUniformRuns();
}

void StreamChecker::FindUniformRuns() {
  const std::vector<RecordPlan>& records = model_.records();
  const size_t count = records.size();
  uniformEnd_.assign(count, 0);
  const bool custom = model_.shape().source == SourceKind::kCustom;
  const packet::SignalPlan* plan = signals_ != nullptr ? signals_->plan : nullptr;
  auto sourceOf = [&](size_t r) { return plan != nullptr ? plan->SourceOf(r) : -1; };
  // A record with its own path: a slow one, a tag 0 (which the Custom
  // pairing treats apart), a logged one, or a signal whose values differ
  // from parameter to parameter.
  auto alone = [&](size_t r) {
    const RecordPlan& p = records[r];
    if (p.valuesPerPacket == 0 || p.tag == 0 || (custom && p.tag > 0xFFFF)) return true;
    if (signals_ != nullptr && signals_->valuesOut != nullptr && signals_->logged[r] != 0)
      return true;
    const int32_t source = sourceOf(r);
    return source >= 0 && plan->source(source).rule().pattern == packet::SignalPattern::kRandom;
  };
  auto follows = [&](size_t r) {
    const RecordPlan &a = records[r - 1], &b = records[r];
    return uint64_t{a.tag} + 1 == b.tag && a.valuesPerPacket == b.valuesPerPacket &&
           a.step == b.step && a.maxValue == b.maxValue && sourceOf(r - 1) == sourceOf(r);
  };
  size_t first = 0;
  for (size_t r = 0; r <= count; ++r) {
    if (r < count && r > first && !alone(r) && !alone(r - 1) && follows(r)) continue;
    if (r - first >= 2 && !alone(first)) {
      for (size_t i = first; i < r; ++i) uniformEnd_[i] = static_cast<uint32_t>(r);
    }
    first = r;
  }
}

size_t StreamChecker::CheckUniform(size_t record, size_t fit, const uint8_t* at, RunStart start,
                                   bool* lastPending) {
  // A run is worth its set-up from this many records on.
  constexpr size_t kMinRecords = 4;
  if (!bulkChecks_ || shiftedCount_ != 0 || record < uniformRetry_) return 0;
  const size_t end = std::min<size_t>(uniformEnd_[record], record + fit);
  if (end < record + kMinRecords) return 0;
  const RecordPlan& plan = model_.records()[record];
  const uint32_t samples = plan.valuesPerPacket;
  const uint32_t skip = start == RunStart::kPairStart ? 0 : 1;
  const int32_t source =
      signals_ != nullptr && signals_->plan != nullptr ? signals_->plan->SourceOf(record) : -1;
  // The state every record is due at the start of its samples (taken from
  // the next record, which the per-sample check has not reached): the
  // counter value or the sample number.
  const uint64_t due = source < 0 ? next_[record + 1] : sampleN_[record + 1];
  if (source < 0 && due == kNoValue) return 0;
  // The counter due for the last sample, and after it.
  uint32_t last = static_cast<uint32_t>(due), after = last;
  uniformValues_.resize(samples);
  for (uint32_t i = 0; i < samples; ++i) {
    if (source >= 0) {
      uniformValues_[i] =
          std::bit_cast<uint32_t>(signals_->plan->source(source).At(record + 1, due + i));
    } else {
      uniformValues_[i] = FloatBits(after);
      last = after;
      after = NextValue(plan, after);
    }
  }
  // The record itself, one sample on when the caller checked that one.
  const uint64_t own = source < 0 ? next_[record] : sampleN_[record];
  const uint64_t ownDue = start != RunStart::kAfterFirst ? due
                          : source < 0 ? NextValue(plan, static_cast<uint32_t>(due))
                                       : due + 1;
  if (own != ownDue) return 0;
  // The records after it in step, eight at a time with no branch between.
  size_t until = inStep_.until;
  if (!(inStep_.from <= record + 1 && record + 1 < until && inStep_.state == due)) {
    auto prefix = [&](const auto* state) {
      using State = std::remove_cv_t<std::remove_pointer_t<decltype(state)>>;
      const State want = static_cast<State>(due);
      size_t i = record + 1;
      for (; i + 8 <= end; i += 8) {
        State differ = 0;
        for (size_t j = 0; j < 8; ++j) differ |= state[i + j] ^ want;
        if (differ != 0) break;
      }
      while (i < end && state[i] == want) ++i;
      return i;
    };
    until = source < 0 ? prefix(next_.data()) : prefix(sampleN_.data());
    inStep_ = InStepScan{record + 1, until, due};
  }
  until = std::min(until, end);
  if (until < record + kMinRecords) {
    uniformRetry_ = until;
    return 0;
  }
  // The lone first sample in the second half of a pair.
  const uint8_t* first = at;
  if (start == RunStart::kSecondHalf) {
    if (ReadLe16(at + 2) != plan.tag || ReadLe32(at + 8) != uniformValues_[0]) return 0;
    first = at + 12;
  }
  if (!uniform_.Prepare(samples, uniformValues_.data(), skip)) {
    uniformRetry_ = end;
    return 0;
  }
  const size_t taken = uniform_.Match(first, until - record, plan.tag);
  if (taken == 0) {
    // Tried again a period further on, so that a stream the per-sample
    // check must take (a sine a last bit off) does not build a period for
    // every record.
    uniformRetry_ = record + uniform_.periodRecords();
    return 0;
  }
  const auto from = static_cast<std::ptrdiff_t>(record);
  const auto to = static_cast<std::ptrdiff_t>(record + taken);
  if (source < 0) {
    std::fill(next_.begin() + from, next_.begin() + to, after);
  } else {
    std::fill(sampleN_.begin() + from, sampleN_.begin() + to, due + samples);
  }
  // The caller's first sample was checked apart (the lone half here).
  uint64_t checked = taken * samples - (start == RunStart::kAfterFirst ? 1 : 0);
  if (lastPending != nullptr) {
    *lastPending = checked % 2 != 0;
    if (*lastPending) {
      // Matched, but it is the pending half's to check when its pair completes.
      --checked;
      if (source < 0) {
        next_[record + taken - 1] = last;
      } else {
        --sampleN_[record + taken - 1];
      }
    }
  }
  samplesChecked_ += checked;
  return taken;
}

const packet::SignalSource* StreamChecker::PlainSignal(size_t record) const {
  if (!bulkChecks_ || !Special(record) || signals_->plan == nullptr) return nullptr;
  if (signals_->valuesOut != nullptr && signals_->logged[record] != 0) return nullptr;
  const int32_t source = signals_->plan->SourceOf(record);
  return source >= 0 ? &signals_->plan->source(source) : nullptr;
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
