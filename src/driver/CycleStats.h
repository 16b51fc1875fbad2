// What a transfer tells about how well it kept its schedule: the figures of
// each one-second cycle (packets, bytes, how late they went out, how long
// the sends waited), and the connect, cycle and end events it writes to the
// statistics file.
//
// The synthetic stream and playback both count their cycles here; a cycle
// is the stream's own one-second cycle of packets, and for playback one
// second of wall time.
//
// Thread safety: main thread only.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "driver/RunEnvironment.h"
#include "driver/StatsFile.h"
#include "metrics/StressMetrics.h"
#include "platform/Console.h"

namespace driver {

struct CycleFigures {
  int64_t packets = 0;
  int64_t bytes = 0;
  int64_t latePackets = 0;          // went out more than the tolerance after their due time
  int64_t lateMaxNs = 0;            // the largest lateness, late or not
  int64_t lateP99Ns = 0;            // 99th percentile of the lateness (nearest rank)
  int64_t sendBlockedNs = 0;        // time spent inside the sends
  int64_t restarts = 0;             // times the schedule started again from now
  std::vector<int64_t> latenessNs;  // every packet's lateness, in no order (for the metrics)
  // Worth a line to the operator: a packet late or the schedule given up.
  bool Behind() const { return latePackets > 0 || restarts > 0; }
};

// Counts the packets of one cycle at a time.
class CycleTally {
 public:
  // A packet is late when it goes out more than `toleranceNs` after its
  // due time.
  explicit CycleTally(int64_t toleranceNs) : toleranceNs_(toleranceNs) {}

  // `latenessNs`: when the packet went out less its due time (early counts
  // as 0); `sendNs`: how long its send took.
  void Packet(int64_t latenessNs, int64_t bytes, int64_t sendNs);
  void ScheduleRestart() { ++figures_.restarts; }
  int64_t packets() const { return figures_.packets; }

  // The figures since the last Take; the next packet starts a new cycle.
  CycleFigures Take();

 private:
  int64_t toleranceNs_;
  CycleFigures figures_;
  std::vector<int64_t> lateness_;
};

// Why a transfer ended: the YEB went away (a send failed), a key, a
// termination signal, (playback) the file ran out, or a fault script's
// truncation or disconnect.
enum class TransferEnd { kClosed, kKey, kSignal, kFileComplete, kFault, kDuration };
const char* TransferEndName(TransferEnd end);

// The line that follows "- YEB terminated the connection ..." when the YEB
// was not what ended the transfer: a key, a signal or the fault script
// (`fault` is the script's line as written). Empty for kClosed and
// kFileComplete.
std::string EndCauseLine(TransferEnd end, const std::string& fault = {});

// True when a termination signal arrived, a key was pressed (the key is
// consumed) or the run's /Duration is over; `end` then says which.
bool StopRequested(RunEnvironment& env, TransferEnd& end);

// Where a transfer writes its events: the statistics file (none: nothing is
// written), the connection's number in this run, counted from 1, and the
// metrics endpoint's figures (none: not served).
struct StatsTarget {
  StatsFile* file = nullptr;
  int64_t connection = 1;
  // False when the connections write their own connect and end events
  // (several connections at once): the transfer then writes neither.
  bool connectionEvents = true;
  metrics::StressMetrics* metrics = nullptr;
};

// The events of one transfer. Times are on the transfer's monotonic clock;
// `startNs` is the transfer's start, from which "t" counts.
class TransferEvents {
 public:
  TransferEvents(StatsTarget target, int64_t startNs);

  void Connected();
  // Cycle `cycle` (from 1) ended at `nowNs` after `cycleNs` of real time.
  // `extra` fields follow the cycle's own.
  void Cycle(int64_t nowNs, int64_t cycle, const std::string& dataTime, const CycleFigures& f,
             int64_t cycleNs, const std::vector<StatsField>& extra = {});
  void Ended(TransferEnd end, int64_t packets, int64_t bytes);

 private:
  StatsTarget target_;
  int64_t startNs_;
};

// "- Behind schedule: ..." for a cycle's figures.
std::string BehindScheduleLine(const CycleFigures& f);

}  // namespace driver
