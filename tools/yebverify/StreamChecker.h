// Checks a decoded stream packet by packet against the stream model.
//
// The caller frames the stream (greeting, then packets with their size
// word) and hands each whole packet, size word included, to CheckPacket.
// The checker works out the packet's number (the Custom sequence number, or
// for NEP the number implied by the time entries), which samples of which
// parameters the packet must carry and in what order, and compares every
// byte that the rules determine: header, day and time words, the tag and
// value of every sample, and the zero bytes after the last pair.
//
// Counters are learnt from the first sample of each parameter, then every
// sample must follow its counter. Within a connection packets are
// consecutive (TCP loses nothing); across a reconnect the packets the tool
// built meanwhile are worked out from the sequence number or the time, and
// every counter is moved on by the samples those packets held. After a
// failure the checker resynchronises to what it found, so one fault in the
// tool is counted once, not in every later sample.
//
// The faults a source or network makes are named as such: packets missing
// inside a connection (dropped; the counters move on past them), a packet
// repeated byte for byte (duplicated; the caller tells), a sample one bit
// off its due value (corrupted; the counter goes on as due), and a data
// time that shifts while every time word of the packet follows the first
// (time-jump; the time goes on from there). A fault matcher, when set, may
// account for each; what it does not account for is a failure of its kind.
//
// Thread safety: one checker per stream, used from one thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "ExpectedFaults.h"
#include "Failures.h"
#include "SignalCheck.h"
#include "StreamModel.h"
#include "TimeRules.h"
#include "UniformRun.h"

namespace yebverify {

class StreamChecker {
 public:
  StreamChecker(const StreamModel& model, TimeOptions timeOptions, FailureLog& log);
  StreamChecker(const StreamChecker&) = delete;
  StreamChecker& operator=(const StreamChecker&) = delete;

  // The next packet is the first of a new connection.
  void BeginConnection();
  // The connection ended (flushes a run of duplicates).
  void EndConnection();
  // The five bytes of the Custom greeting.
  void CheckGreeting(const uint8_t* bytes);
  // One whole packet, its 4-byte size word included (`size` >= 4).
  // `repeatsPrevious`: it equals the packet before it byte for byte.
  void CheckPacket(const uint8_t* bytes, size_t size, bool repeatsPrevious = false);

  // Checks the signals of `check` and writes the samples it selects; set
  // before the first packet, not owned.
  void SetSignals(const SignalCheck* check);

  // Whether runs of alike records are checked a period at a time and a
  // signal's samples in a loop of their own (the default), or sample by
  // sample; both must find the same faults, which the tests compare.
  void SetBulkChecks(bool on) { bulkChecks_ = on; }

  // Faults go to `matcher` first (null: none); not owned.
  void SetFaultMatcher(FaultMatcher* matcher) { matcher_ = matcher; }
  // A fault at the tool's packet `toolPacket`, of size `amount` (packets,
  // copies, bytes or time, by kind), at `offset` of the packet received.
  // `received`: the packet received it was found in (0: the last one).
  void Fault(FailureKind kind, uint64_t toolPacket, int64_t amount, uint64_t offset,
             const std::string& text, uint64_t received = 0);

  uint64_t packetsChecked() const { return packetsChecked_; }
  uint64_t samplesChecked() const { return samplesChecked_; }
  // The tool's packet number of the last packet checked.
  uint64_t lastPacketNumber() const { return lastPacket_; }
  // Packets the tool built but this checker never saw (between connections).
  uint64_t packetsMissedBetweenConnections() const { return missedPackets_; }
  // The sequence number of the first packet when the run joined a Custom
  // transfer already running (TimeOptions::mayJoinLate); 0 otherwise.
  uint32_t joinedAtSequence() const { return joinedAtSequence_; }
  // The data time the last packet reached, in nanoseconds.
  int64_t dataTimeNs() const;

 private:
  void CheckCustom(const uint8_t* bytes, size_t size);
  void CheckNep(const uint8_t* bytes, size_t size);
  uint64_t CustomPacketNumber(const uint8_t* bytes, size_t size);
  bool TimeFollowsDrop(const uint8_t* bytes, size_t size, uint64_t dropped) const;
  void CheckCustomTime(const uint8_t* bytes, size_t size);
  // False when a fault broke off the walk. The slot walk is the fast one for
  // lists without a tag 0; the pair walk replays the builder's pending half.
  bool WalkCustomSlots(const uint8_t* pairs, size_t pairCapacity, uint64_t pairsOffset,
                       size_t& pairsUsed);
  bool WalkCustomPairs(const uint8_t* pairs, size_t pairCapacity, uint64_t pairsOffset,
                       size_t& pairsUsed);
  uint64_t NepPacketNumber(const uint8_t* bytes, size_t size);
  void CheckNepTimeEntries(const uint8_t* bytes, size_t size);
  void WalkNepEntries(const uint8_t* bytes, size_t size, uint64_t& expectedLength);

  // Moves every counter on by the samples of packets first..last;
  // `betweenConnections` counts them as built while nobody listened.
  void SkipPackets(uint64_t first, uint64_t last, bool betweenConnections = true);
  void StartTransferAt(uint64_t packet);
  // A one-bit difference: the mark of a corrupted sample.
  static bool OneBitOff(uint64_t a, uint64_t b) { return __builtin_popcountll(a ^ b) == 1; }
  // NEP: the first time entry is not the one due inside a connection but
  // every entry follows it; dropped packets or a time jump. Returns the
  // packets dropped (0 for a jump or no shift).
  uint64_t NepShift(const uint8_t* bytes, size_t size);
  void Unseen(size_t record, uint64_t samples);
  // Marks where each run of records alike enough for UniformRunMatcher
  // ends: fast, the same rate and counter or signal, tags one apart.
  void FindUniformRuns();
  // Where the first sample of a record checked by CheckUniform lies.
  enum class RunStart {
    kPairStart,   // at the first half of a pair (NEP: any entry)
    kSecondHalf,  // at the second half of a pair
    kAfterFirst,  // checked already; the second sample starts a pair
  };
  // Checks whole records from `record` on at once, at most `fit` of them,
  // while they match and their counters or signals are in step. `at`: the
  // pair or entry of the first sample not yet checked. Returns the records
  // checked; a record that does not match is left to the per-sample check.
  // `lastPending` (Custom pairing only, else null): set when the samples
  // checked are odd in number; the last one is then left unchecked, as the
  // first half of a pair the next record completes.
  size_t CheckUniform(size_t record, size_t fit, const uint8_t* at, RunStart start,
                      bool* lastPending);
  void CheckValue(size_t record, uint32_t bits, uint64_t offset);
  // A sample of a record with a signal or a --values-out line: false for
  // a counter sample that is still to be checked as one.
  bool CheckSignalSample(size_t record, uint32_t bits, uint64_t offset);
  // The signal of a record that has one and is not logged (its samples
  // may then be compared in a loop of their own), else null.
  const packet::SignalSource* PlainSignal(size_t record) const;
  // True for a record that takes no counter hot path.
  bool Special(size_t record) const { return !special_.empty() && special_[record] != 0; }
  void SetShifted(size_t record, uint32_t value);
  // True when `record` has no second reading pending (the hot paths skip
  // the array while no record has one).
  bool Settled(size_t record) const { return shiftedCount_ == 0 || shifted_[record] == kNoValue; }
  void TagMismatch(size_t record, uint32_t expectedTag, uint32_t foundTag, uint64_t offset);
  bool TagKnown(uint32_t tag) const;
  std::string RecordName(size_t record) const;
  std::string NameOfTagNear(size_t record, uint32_t tag) const;
  void CheckZeros(const uint8_t* bytes, size_t from, size_t to);

  const StreamModel& model_;
  FailureLog& log_;
  FaultMatcher* matcher_ = nullptr;
  uint64_t duplicates_ = 0;  // copies in the current run of repeats
  uint64_t duplicatedPacket_ = 0;
  // A packet whose time words all moved together: a time jump if the next
  // packet goes on from it, a one-off wrong time if it goes on as due.
  struct PendingJump {
    bool pending = false;
    uint64_t received = 0, toolPacket = 0;
    int64_t ticks = 0;
    std::string jumpText, timeText;
  } jump_;
  void SettleJump(bool lasting);
  void FlushDuplicates();
  CustomTimeRules timeRules_;
  // Each record's expected next value, or kNoValue. After a wrong value
  // the next one may continue from what was expected (a one-off glitch) or
  // from what was found (a lasting shift): `shifted_` holds the second
  // reading until a sample settles it, so either fault counts once.
  std::vector<uint32_t> next_;
  std::vector<uint32_t> shifted_;
  uint64_t shiftedCount_ = 0;           // records with a second reading; 0 almost always
  std::vector<uint64_t> knownTagBits_;  // Custom: which 16-bit tags the list holds
  std::vector<uint32_t> sortedNepTags_;

  bool bulkChecks_ = true;
  std::vector<uint32_t> uniformEnd_;  // per record: the end of its run, or 0
  std::vector<uint32_t> uniformValues_;
  UniformRunMatcher uniform_;
  size_t uniformRetry_ = 0;  // no attempt before this record (after one failed)
  // The last scan for records in step: [from, until) all due `state`. The
  // per-sample check only changes records it has reached, so a later
  // attempt inside the range needs no second scan.
  struct InStepScan {
    size_t from = 0, until = 0;
    uint64_t state = 0;
  } inStep_;
  // Forgets what the last packet's attempts learnt.
  void BeginUniformWalk() {
    uniformRetry_ = 0;
    inStep_ = InStepScan{};
  }

  const SignalCheck* signals_ = nullptr;
  std::vector<uint8_t> special_;   // per record: a signal or a --values-out line
  std::vector<uint64_t> sampleN_;  // per record: the number of its next sample
  int64_t connection_ = 0;         // from 1
  int64_t packetTimeNs_ = 0;       // the data time of the packet's first time word

  bool newConnection_ = true;
  bool anyPacket_ = false;
  uint64_t packetIndex_ = 0;  // packets received over the whole run
  uint64_t packetsChecked_ = 0;
  uint64_t samplesChecked_ = 0;
  uint64_t lastPacket_ = 0;
  uint64_t missedPackets_ = 0;
  uint32_t lastSequence_ = 0;
  uint32_t joinedAtSequence_ = 0;
  bool shiftedSequenceValid_ = false;
  uint32_t shiftedSequence_ = 0;
  uint32_t nextTick_ = 0;
  uint64_t lastNepTime_ = 0;
  bool shiftedNepTimeValid_ = false;
  uint64_t shiftedNepTime_ = 0;  // the last entry as found, when it was wrong
};

}  // namespace yebverify
