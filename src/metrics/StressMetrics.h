// yebstress's metrics, as the endpoint serves them. Prometheus' naming:
// the yeb_ prefix, base units in the names, _total on counters.
//
//   yeb_sent_packets_total, yeb_sent_bytes_total     what went out
//   yeb_transfers_total, yeb_connected               connections served, and one now (1/0)
//   yeb_cycles_total, yeb_late_packets_total,
//   yeb_schedule_restarts_total                      how the pacing kept up
//   yeb_send_blocked_seconds_total                   time spent inside the sends
//   yeb_packet_lateness_seconds                      histogram of every packet's lateness
//   yeb_cycle_lateness_p99_seconds,
//   yeb_cycle_lateness_max_seconds                   the last cycle's p99 and max
//   yeb_data_time_seconds                            the stream's data time
//   yeb_nominal_packets_per_second                   what the rate should be
//   yeb_faults_injected_total{action}                the fault script's events
//
// The tool serves one connection at a time, so nothing is labelled by
// connection: a label per reconnect would grow the series without end.
// Everything is updated once a cycle (and once a fault), never per packet
// on the send path: the cycle's figures already hold every lateness.
//
// Thread safety: updated from the stream's thread; served from the
// endpoint's.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "metrics/Endpoint.h"

namespace metrics {

struct StressCycle {
  int64_t packets = 0;
  int64_t bytes = 0;
  int64_t latePackets = 0;
  int64_t restarts = 0;
  int64_t sendBlockedNs = 0;
  int64_t lateMaxNs = 0;
  int64_t lateP99Ns = 0;
  const std::vector<int64_t>* latenessNs = nullptr;  // every packet's; may be null
  double dataTimeSeconds = 0.0;
};

class StressMetrics {
 public:
  // Registers the metrics on `endpoint`, which must outlive this object.
  StressMetrics(Endpoint& endpoint, int nominalPacketRate);
  ~StressMetrics();
  StressMetrics(const StressMetrics&) = delete;
  StressMetrics& operator=(const StressMetrics&) = delete;

  void Connected();
  void Ended();
  void Cycle(const StressCycle& cycle);
  // `action`: the fault script's word ("drop", "stall", ...).
  void Fault(std::string_view action);

 private:
  struct Parts;
  std::unique_ptr<Parts> parts_;
};

// The histogram's upper bounds in seconds, shared by both programs: from
// timer jitter (100 us) to a stalled YEB (2.5 s).
const std::vector<double>& LatenessBucketsSeconds();

}  // namespace metrics
