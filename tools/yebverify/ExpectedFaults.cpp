#include "ExpectedFaults.h"

#include <algorithm>
#include <cmath>

namespace yebverify {
namespace {

constexpr int64_t kSecondNs = 1'000'000'000;
constexpr int64_t kTickNs = 100'000;  // one time sample
constexpr int64_t kAnyAmount = -1;

using io::FaultAction;

// Packets from `firstPacket` to the end of its one-second cycle.
uint64_t FirstCycleLength(uint64_t firstPacket, int rate) {
  const uint64_t n = static_cast<uint64_t>(rate);
  return (n - 1 + n - firstPacket % n) % n + 1;
}

// Due time of the packet `index` packets after the transfer's first.
int64_t DueNs(uint64_t firstPacket, uint64_t index, int rate) {
  const int64_t period = kSecondNs / rate;
  const uint64_t first = FirstCycleLength(firstPacket, rate);
  if (index < first) return static_cast<int64_t>(index) * period;
  // Every later cycle holds `rate` packets and rate x period is one second.
  return kSecondNs + static_cast<int64_t>(index - first) * period;
}

int64_t CeilDiv(int64_t a, int64_t b) { return (a + b - 1) / b; }

bool Compatible(FaultAction action, FailureKind kind) {
  switch (action) {
    case FaultAction::kDrop:
    case FaultAction::kStall:
      return kind == FailureKind::kDropped;
    case FaultAction::kDuplicate:
      return kind == FailureKind::kDuplicated;
    case FaultAction::kCorrupt:
      return kind == FailureKind::kCorrupted;
    case FaultAction::kTruncate:
      return kind == FailureKind::kTruncated || kind == FailureKind::kDisconnected;
    case FaultAction::kDisconnect:
      return kind == FailureKind::kDisconnected;
    case FaultAction::kTimeJump:
      return kind == FailureKind::kTimeJump;
  }
  return false;
}

bool EndsTransfer(FaultAction action) {
  return action == FaultAction::kTruncate || action == FaultAction::kDisconnect;
}

// Faults that need a packet to be sent wait out withheld packets.
bool RidesOnASentPacket(FaultAction action) {
  return action == FaultAction::kDuplicate || action == FaultAction::kCorrupt ||
         action == FaultAction::kTruncate;
}

}  // namespace

ExpectedFaults::ExpectedFaults(const io::FaultScript& script, int packetRate, int64_t timeStepNs)
    : script_(script), packetRate_(packetRate), timeStepNs_(timeStepNs) {}

uint64_t ExpectedFaults::PacketAt(uint64_t firstPacket, int64_t atNs, int packetRate) {
  const int64_t period = kSecondNs / packetRate;
  const uint64_t first = FirstCycleLength(firstPacket, packetRate);
  uint64_t index = 0;
  if (atNs <= 0) {
    index = 0;
  } else if (atNs <= static_cast<int64_t>(first - 1) * period) {
    index = static_cast<uint64_t>(CeilDiv(atNs, period));
  } else if (atNs <= kSecondNs) {
    index = first;
  } else {
    index = first + static_cast<uint64_t>(CeilDiv(atNs - kSecondNs, period));
  }
  return firstPacket + index;
}

void ExpectedFaults::BeginTransfer(uint64_t firstPacket) {
  due_.clear();
  struct Range {
    uint64_t from, to;  // withheld packets from..to - 1
  };
  std::vector<Range> withheld;
  for (const io::FaultEvent& event : script_.events) {
    Due d{&event, PacketAt(firstPacket, event.atNs, packetRate_), kAnyAmount};
    switch (event.action) {
      case FaultAction::kDrop:
        d.amount = event.count;
        break;
      case FaultAction::kStall: {
        const int64_t from = DueNs(firstPacket, d.packet - firstPacket, packetRate_);
        const uint64_t end = PacketAt(firstPacket, from + event.count * 1'000'000, packetRate_);
        d.amount = static_cast<int64_t>(end - d.packet);
        break;
      }
      case FaultAction::kDuplicate:
        d.amount = event.count;
        break;
      case FaultAction::kTimeJump:
        d.amount = std::llround(event.seconds * 1e4) * (kTickNs / timeStepNs_);
        break;
      default:
        break;
    }
    if (event.action == FaultAction::kDrop || event.action == FaultAction::kStall) {
      withheld.push_back({d.packet, d.packet + static_cast<uint64_t>(d.amount)});
    }
    due_.push_back(d);
  }
  for (Due& d : due_) {
    if (!RidesOnASentPacket(d.event->action)) continue;
    for (bool moved = true; moved;) {
      moved = false;
      for (const Range& r : withheld) {
        if (d.packet >= r.from && d.packet < r.to) {
          d.packet = r.to;
          moved = true;
        }
      }
    }
  }
  // Nothing fires after the packet that ends the transfer.
  uint64_t end = UINT64_MAX;
  for (const Due& d : due_) {
    if (EndsTransfer(d.event->action)) end = std::min(end, d.packet);
  }
  std::erase_if(due_, [end](const Due& d) { return d.packet > end; });
}

std::string MatchedFault::Text() const {
  return std::string(FailureKindName(kind)) + " at packet " + std::to_string(packet) + ": line " +
         std::to_string(line) + " (" + event + ")";
}

bool ExpectedFaults::Accept(FailureKind kind, uint64_t packet, int64_t amount) {
  for (Due& d : due_) {
    if (d.seen || !Compatible(d.event->action, kind)) continue;
    if (d.packet + 1 < packet || packet + 1 < d.packet) continue;
    bool sizeAgrees = d.amount == kAnyAmount || d.amount == amount;
    // A truncation at or past the packet's length closes at a boundary.
    if (kind == FailureKind::kDisconnected) sizeAgrees = true;
    // A jump back past time 0 stops at 0, so it may come out shorter.
    if (kind == FailureKind::kTimeJump && d.amount < 0)
      sizeAgrees = amount >= d.amount && amount < 0;
    if (!sizeAgrees) continue;
    d.seen = true;
    matched_.push_back(MatchedFault{kind, packet, d.event->line, d.event->text});
    return true;
  }
  return false;
}

bool ExpectedFaults::ExpectsEnd(uint64_t packet) const {
  for (const Due& d : due_) {
    if (!d.seen && EndsTransfer(d.event->action) && d.packet + 1 >= packet &&
        d.packet <= packet + 1) {
      return true;
    }
  }
  return false;
}

std::vector<std::string> ExpectedFaults::EndTransfer(uint64_t lastPacket) {
  std::vector<std::string> missing;
  for (const Due& d : due_) {
    if (d.seen) continue;
    const bool wasDue =
        EndsTransfer(d.event->action) ? d.packet <= lastPacket + 2 : d.packet <= lastPacket;
    if (!wasDue) continue;
    std::string what = "line " + std::to_string(d.event->line) + " (" + d.event->text +
                       "): expected at packet " + std::to_string(d.packet);
    if (d.amount != kAnyAmount) what += ", size " + std::to_string(d.amount);
    missing.push_back(what + ", not seen");
  }
  due_.clear();
  missed_.insert(missed_.end(), missing.begin(), missing.end());
  return missing;
}

}  // namespace yebverify
