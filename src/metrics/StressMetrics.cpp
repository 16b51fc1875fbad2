#include "metrics/StressMetrics.h"

#include <string>

#include "metrics/EndpointImpl.h"

#ifdef YEB_HAVE_PROMETHEUS
#include <prometheus/counter.h>
#include <prometheus/gauge.h>
#include <prometheus/histogram.h>
#endif

namespace metrics {

const std::vector<double>& LatenessBucketsSeconds() {
  static const std::vector<double> buckets = {0.0001, 0.0005, 0.001, 0.002, 0.005, 0.01, 0.02,
                                              0.05,   0.1,    0.25,  0.5,   1.0,   2.5};
  return buckets;
}

#ifdef YEB_HAVE_PROMETHEUS

namespace {

double Seconds(int64_t ns) { return static_cast<double>(ns) / 1e9; }

prometheus::Counter& NewCounter(prometheus::Registry& registry, const char* name,
                                const char* help) {
  return prometheus::BuildCounter().Name(name).Help(help).Register(registry).Add({});
}

prometheus::Gauge& NewGauge(prometheus::Registry& registry, const char* name, const char* help) {
  return prometheus::BuildGauge().Name(name).Help(help).Register(registry).Add({});
}

}  // namespace

struct StressMetrics::Parts {
  explicit Parts(prometheus::Registry& r)
      : packets(NewCounter(r, "yeb_sent_packets_total", "Packets sent to the YEB")),
        bytes(NewCounter(r, "yeb_sent_bytes_total", "Bytes sent to the YEB")),
        transfers(NewCounter(r, "yeb_transfers_total", "Transfers (connections) started")),
        connected(NewGauge(r, "yeb_connected", "1 while a YEB is connected")),
        cycles(NewCounter(r, "yeb_cycles_total", "One-second cycles completed")),
        late(NewCounter(r, "yeb_late_packets_total",
                        "Packets sent more than one packet period after their due time")),
        restarts(NewCounter(r, "yeb_schedule_restarts_total",
                            "Times the pacing gave up its schedule and started again from now")),
        blocked(NewCounter(r, "yeb_send_blocked_seconds_total", "Time spent inside the sends")),
        lateness(prometheus::BuildHistogram()
                     .Name("yeb_packet_lateness_seconds")
                     .Help("How late each packet went out against its due time")
                     .Register(r)
                     .Add({}, LatenessBucketsSeconds())),
        cycleP99(NewGauge(r, "yeb_cycle_lateness_p99_seconds",
                          "The last cycle's 99th percentile of lateness")),
        cycleMax(
            NewGauge(r, "yeb_cycle_lateness_max_seconds", "The last cycle's largest lateness")),
        dataTime(NewGauge(r, "yeb_data_time_seconds", "The stream's data time")),
        nominal(NewGauge(r, "yeb_nominal_packets_per_second", "The packet rate the tool keeps to")),
        faults(prometheus::BuildCounter()
                   .Name("yeb_faults_injected_total")
                   .Help("Fault script events injected, by action")
                   .Register(r)) {}

  prometheus::Counter& packets;
  prometheus::Counter& bytes;
  prometheus::Counter& transfers;
  prometheus::Gauge& connected;
  prometheus::Counter& cycles;
  prometheus::Counter& late;
  prometheus::Counter& restarts;
  prometheus::Counter& blocked;
  prometheus::Histogram& lateness;
  prometheus::Gauge& cycleP99;
  prometheus::Gauge& cycleMax;
  prometheus::Gauge& dataTime;
  prometheus::Gauge& nominal;
  prometheus::Family<prometheus::Counter>& faults;
};

StressMetrics::StressMetrics(Endpoint& endpoint, int nominalPacketRate)
    : parts_(std::make_unique<Parts>(*endpoint.impl().registry)) {
  parts_->nominal.Set(nominalPacketRate);
}

void StressMetrics::Connected() {
  parts_->transfers.Increment();
  parts_->connected.Set(1);
}

void StressMetrics::Ended() { parts_->connected.Set(0); }

void StressMetrics::Cycle(const StressCycle& cycle) {
  Parts& p = *parts_;
  p.packets.Increment(static_cast<double>(cycle.packets));
  p.bytes.Increment(static_cast<double>(cycle.bytes));
  p.cycles.Increment();
  p.late.Increment(static_cast<double>(cycle.latePackets));
  p.restarts.Increment(static_cast<double>(cycle.restarts));
  p.blocked.Increment(Seconds(cycle.sendBlockedNs));
  if (cycle.latenessNs != nullptr) {
    // One bucket count per cycle instead of a lock per packet.
    const std::vector<double>& bounds = LatenessBucketsSeconds();
    std::vector<double> counts(bounds.size() + 1, 0.0);
    double sum = 0.0;
    for (int64_t ns : *cycle.latenessNs) {
      const double s = Seconds(ns);
      sum += s;
      size_t bucket = 0;
      while (bucket < bounds.size() && s > bounds[bucket]) ++bucket;
      counts[bucket] += 1.0;
    }
    p.lateness.ObserveMultiple(counts, sum);
  }
  p.cycleP99.Set(Seconds(cycle.lateP99Ns));
  p.cycleMax.Set(Seconds(cycle.lateMaxNs));
  p.dataTime.Set(cycle.dataTimeSeconds);
}

void StressMetrics::Fault(std::string_view action) {
  parts_->faults.Add({{"action", std::string(action)}}).Increment();
}

#else

struct StressMetrics::Parts {};
StressMetrics::StressMetrics(Endpoint&, int) {}
void StressMetrics::Connected() {}
void StressMetrics::Ended() {}
void StressMetrics::Cycle(const StressCycle&) {}
void StressMetrics::Fault(std::string_view) {}

#endif

StressMetrics::~StressMetrics() = default;

}  // namespace metrics
