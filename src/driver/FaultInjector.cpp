#include "driver/FaultInjector.h"

#include <algorithm>
#include <cmath>

#include "driver/DataTime.h"
#include "driver/Pacing.h"
#include "driver/StatsFile.h"
#include "packet/PacketBuilder.h"

namespace driver {
namespace {

constexpr int64_t kCustomPairsOffset = 44;  // after the header and the day pair
constexpr int64_t kCustomDayValueOffset = 36;
constexpr int64_t kPairBytes = 12;
constexpr int64_t kNepTimeEntryBytes = 12;
constexpr int64_t kTicksPerSecond = 10000;  // time samples of 100 us

}  // namespace

io::FaultScript& ActiveFaultScript() {
  static io::FaultScript script;
  return script;
}

FaultInjector::FaultInjector(const io::FaultScript& script, const RunSettings& settings,
                             packet::PacketState& state, platform::TextOut& out)
    : timeline_(&script),
      idle_(script.events.empty()),
      settings_(settings),
      state_(state),
      out_(out),
      periodNs_(PacketPeriodNs(settings.packetRate)) {}

bool FaultInjector::BeforeBuild() {
  if (idle_) return true;
  if (first_) {
    first_ = false;
  } else if (cycleEnded_) {
    cycleStartNs_ += kNsPerSecond;
    dueNs_ = cycleStartNs_;
  } else {
    dueNs_ += periodNs_;
  }
  while (const io::FaultEvent* event = timeline_.NextDue(dueNs_)) {
    Fire(*event);
    if (event->action == io::FaultAction::kDisconnect) {
      ended_ = true;
      endingFault_ = event->text;
      return false;
    }
  }
  withheld_ = dueNs_ < stallUntilNs_;
  if (dropLeft_ > 0) {
    --dropLeft_;
    withheld_ = true;
  }
  return true;
}

void FaultInjector::Fire(const io::FaultEvent& event) {
  using io::FaultAction;
  switch (event.action) {
    case FaultAction::kDrop:
      dropLeft_ += event.count;
      break;
    case FaultAction::kDuplicate:
      copiesPending_ += event.count;
      break;
    case FaultAction::kCorrupt:
      corruptPending_ = true;
      break;
    case FaultAction::kTruncate:
      if (truncateBytes_ < 0 || event.count < truncateBytes_) truncateText_ = event.text;
      truncateBytes_ = truncateBytes_ < 0 ? event.count : std::min(truncateBytes_, event.count);
      break;
    case FaultAction::kStall:
      stallUntilNs_ = std::max(stallUntilNs_, dueNs_ + event.count * kNsPerMs);
      break;
    case FaultAction::kDisconnect:
      break;
    case FaultAction::kTimeJump:
      JumpDataTime(event.seconds);
      break;
  }
  const double seconds = static_cast<double>(dueNs_) / static_cast<double>(kNsPerSecond);
  const std::string dataTime = DataTimeOfNextPacket();
  platform::Printf(out_, "- Fault at %.3f s (data %s): %s\n", seconds, dataTime.c_str(),
                   event.text.c_str());
  if (listener_) listener_(event, seconds, dataTime);
}

// Whole time samples, so that the stream stays on its 100 us grid; a jump
// back past 0 stops at 0, since a wrapped time would be a corrupt one.
void FaultInjector::JumpDataTime(double seconds) {
  const int64_t ticks = std::llround(seconds * static_cast<double>(kTicksPerSecond));
  if (settings_.sourceType == packet::kSourceNep) {
    const int64_t ns = ticks * static_cast<int64_t>(packet::kNepTimeStepNs);
    const int64_t now = static_cast<int64_t>(state_.nepTime);
    state_.nepTime = static_cast<uint64_t>(std::max<int64_t>(0, now + ns));
  } else {
    const int64_t tick = static_cast<int64_t>(state_.timeTick) + ticks;
    state_.timeTick = static_cast<uint32_t>(std::clamp<int64_t>(tick, 0, UINT32_MAX));
  }
}

std::string FaultInjector::DataTimeOfNextPacket() const {
  if (settings_.sourceType == packet::kSourceNep) {
    return DataTimeText(static_cast<int64_t>(state_.nepTime + packet::kNepTimeStepNs));
  }
  return DataTimeText(CustomDataTimeNs(state_.timeTick));
}

void FaultInjector::AfterBuild(uint8_t* packet, int32_t length) {
  if (idle_) return;
  cycleEnded_ = state_.packetCounter >= settings_.packetRate;
  if (!corruptPending_ || withheld_) return;
  corruptPending_ = false;
  const int32_t offset = CorruptOffset(packet, length);
  if (offset >= 0) packet[offset] ^= 1;  // bit 0 of a little-endian sample
}

int32_t FaultInjector::CorruptOffset(const uint8_t* packet, int32_t length) const {
  const int64_t timeValues = state_.timeValuesPerPacket;
  int64_t offset = -1;
  if (settings_.sourceType == packet::kSourceNep) {
    const int64_t values = 4 + kNepTimeEntryBytes * timeValues;
    if (length >= values + 8) {
      offset = values + 4;
    } else if (timeValues > 0) {
      offset = 4 + kNepTimeEntryBytes * (timeValues - 1) + 4;
    }
  } else {
    // A written pair never has tag 0 in its first half, so a zero there
    // means the packet holds no parameter sample.
    const int64_t pairs = kCustomPairsOffset + kPairBytes * (timeValues / 2);
    const bool hasPair = length >= pairs + kPairBytes && (packet[pairs] | packet[pairs + 1]) != 0;
    offset = hasPair ? pairs + 4 : kCustomDayValueOffset;
  }
  return offset + 4 <= length ? static_cast<int32_t>(offset) : -1;
}

bool FaultInjector::Send(PacketSink& connection, const uint8_t* packet, int32_t length,
                         const net::utServerSocket::GiveUpCheck& giveUp) {
  if (idle_) return connection.Send(packet, length, giveUp);
  if (withheld_) return true;
  if (truncateBytes_ >= 0) {
    const int32_t part = static_cast<int32_t>(std::min<int64_t>(truncateBytes_, length));
    truncateBytes_ = -1;
    if (part > 0) connection.Send(packet, part, giveUp);
    ended_ = true;
    endingFault_ = truncateText_;
    return false;
  }
  const int64_t copies = 1 + copiesPending_;
  copiesPending_ = 0;
  for (int64_t i = 0; i < copies; ++i) {
    if (!connection.Send(packet, length, giveUp)) return false;
  }
  return true;
}

void WriteFaultEvent(const StatsTarget& target, const io::FaultEvent& event, double seconds,
                     const std::string& dataTime) {
  if (target.metrics != nullptr) target.metrics->Fault(io::FaultActionName(event.action));
  if (target.file == nullptr) return;
  target.file->WriteEvent(
      "fault",
      {StatsField::Number("t", seconds, 3), StatsField::Integer("connection", target.connection),
       StatsField::Text("data_time", dataTime), StatsField::Integer("line", event.line),
       StatsField::Text("fault", event.text)});
}

}  // namespace driver
