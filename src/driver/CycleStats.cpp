#include "driver/CycleStats.h"

#include <algorithm>
#include <cstdio>

#include "driver/RunEnvironment.h"
#include "platform/Termination.h"
#include "platform/TextOut.h"

namespace driver {
namespace {

double Ms(int64_t ns) { return static_cast<double>(ns) / 1e6; }

// "ddd:hh:mm:ss.mmm" in seconds; 0 for text of another form.
double DataTimeSeconds(const std::string& text) {
  int day = 0, hours = 0, minutes = 0;
  double seconds = 0.0;
  if (std::sscanf(text.c_str(), "%d:%d:%d:%lf", &day, &hours, &minutes, &seconds) != 4) return 0.0;
  return ((day * 24.0 + hours) * 60.0 + minutes) * 60.0 + seconds;
}

}  // namespace

void CycleTally::Packet(int64_t latenessNs, int64_t bytes, int64_t sendNs) {
  latenessNs = std::max<int64_t>(latenessNs, 0);
  ++figures_.packets;
  figures_.bytes += bytes;
  if (latenessNs > toleranceNs_) ++figures_.latePackets;
  figures_.lateMaxNs = std::max(figures_.lateMaxNs, latenessNs);
  figures_.sendBlockedNs += std::max<int64_t>(sendNs, 0);
  lateness_.push_back(latenessNs);
}

CycleFigures CycleTally::Take() {
  CycleFigures f = figures_;
  if (!lateness_.empty()) {
    // Nearest rank: the smallest value that at least 99 % of the packets
    // do not exceed. A cycle holds at most a few hundred packets.
    const size_t rank = (lateness_.size() * 99 + 99) / 100;
    std::nth_element(lateness_.begin(), lateness_.begin() + static_cast<std::ptrdiff_t>(rank - 1),
                     lateness_.end());
    f.lateP99Ns = lateness_[rank - 1];
  }
  figures_ = CycleFigures();
  f.latenessNs.swap(lateness_);
  return f;
}

const char* TransferEndName(TransferEnd end) {
  switch (end) {
    case TransferEnd::kKey:
      return "key";
    case TransferEnd::kSignal:
      return "signal";
    case TransferEnd::kFileComplete:
      return "file_complete";
    case TransferEnd::kFault:
      return "fault";
    case TransferEnd::kDuration:
      return "duration";
    case TransferEnd::kClosed:
      break;
  }
  return "closed";
}

std::string EndCauseLine(TransferEnd end, const std::string& fault) {
  switch (end) {
    case TransferEnd::kKey:
      return "- The transfer was ended by a key press, not by the YEB\n\n";
    case TransferEnd::kSignal:
      return "- The transfer was ended by a termination signal, not by the YEB\n\n";
    case TransferEnd::kFault:
      return "- The transfer was ended by the fault script (" + fault + "), not by the YEB\n\n";
    case TransferEnd::kDuration:
      return "- The transfer was ended by /Duration, not by the YEB\n\n";
    case TransferEnd::kClosed:
    case TransferEnd::kFileComplete:
      break;
  }
  return {};
}

bool StopRequested(RunEnvironment& env, TransferEnd& end) {
  if (platform::TerminationRequested()) {
    end = TransferEnd::kSignal;
    return true;
  }
  if (TakeKeyPress(env.keys)) {
    end = TransferEnd::kKey;
    return true;
  }
  if (env.stopAtNs != kNoDeadline && env.clock.NowNs() >= env.stopAtNs) {
    end = TransferEnd::kDuration;
    return true;
  }
  return false;
}

TransferEvents::TransferEvents(StatsTarget target, int64_t startNs)
    : target_(target), startNs_(startNs) {}

void TransferEvents::Connected() {
  if (target_.metrics != nullptr) target_.metrics->Connected();
  if (target_.file == nullptr || !target_.connectionEvents) return;
  target_.file->WriteEvent("connect", {StatsField::Integer("connection", target_.connection)});
}

void TransferEvents::Cycle(int64_t nowNs, int64_t cycle, const std::string& dataTime,
                           const CycleFigures& f, int64_t cycleNs,
                           const std::vector<StatsField>& extra) {
  if (target_.metrics != nullptr) {
    target_.metrics->Cycle({f.packets, f.bytes, f.latePackets, f.restarts, f.sendBlockedNs,
                            f.lateMaxNs, f.lateP99Ns, &f.latenessNs, DataTimeSeconds(dataTime)});
  }
  if (target_.file == nullptr) return;
  const double rate =
      cycleNs > 0 ? static_cast<double>(f.packets) * 1e9 / static_cast<double>(cycleNs) : 0.0;
  std::vector<StatsField> fields{
      StatsField::Number("t", static_cast<double>(nowNs - startNs_) / 1e9, 6),
      StatsField::Integer("connection", target_.connection),
      StatsField::Integer("cycle", cycle),
      StatsField::Text("data_time", dataTime),
      StatsField::Integer("packets", f.packets),
      StatsField::Integer("bytes", f.bytes),
      StatsField::Number("cycle_ms", Ms(cycleNs)),
      StatsField::Number("rate", rate),
      StatsField::Integer("late_packets", f.latePackets),
      StatsField::Number("late_max_ms", Ms(f.lateMaxNs)),
      StatsField::Number("lateness_p99_ms", Ms(f.lateP99Ns)),
      StatsField::Number("send_blocked_ms", Ms(f.sendBlockedNs)),
      StatsField::Integer("schedule_restarts", f.restarts)};
  fields.insert(fields.end(), extra.begin(), extra.end());
  target_.file->WriteEvent("cycle", fields);
}

void TransferEvents::Ended(TransferEnd end, int64_t packets, int64_t bytes) {
  if (target_.metrics != nullptr) target_.metrics->Ended();
  if (target_.file == nullptr || !target_.connectionEvents) return;
  target_.file->WriteEvent(
      "end", {StatsField::Integer("connection", target_.connection),
              StatsField::Integer("packets", packets), StatsField::Integer("bytes", bytes),
              StatsField::Text("reason", TransferEndName(end))});
}

std::string BehindScheduleLine(const CycleFigures& f) {
  std::string line;
  platform::AppendFormat(
      line,
      "- Behind schedule: %lld of %lld packets late, max %.3f ms late, %.3f ms blocked in send\n",
      static_cast<long long>(f.latePackets), static_cast<long long>(f.packets), Ms(f.lateMaxNs),
      Ms(f.sendBlockedNs));
  return line;
}

}  // namespace driver
