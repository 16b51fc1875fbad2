#include "metrics/VerifyMetrics.h"

#include <algorithm>
#include <string>

#include "metrics/EndpointImpl.h"
#include "metrics/StressMetrics.h"

#ifdef YEB_HAVE_PROMETHEUS
#include <prometheus/counter.h>
#include <prometheus/gauge.h>
#include <prometheus/histogram.h>
#endif

namespace metrics {

#ifdef YEB_HAVE_PROMETHEUS

struct VerifyMetrics::Parts {
  template <typename Builder>
  static auto& One(Builder builder, prometheus::Registry& r, const char* name, const char* help) {
    return builder.Name(name).Help(help).Register(r).Add({});
  }

  explicit Parts(prometheus::Registry& r)
      : packets(One(prometheus::BuildCounter(), r, "yeb_verify_received_packets_total",
                    "Packets received and checked")),
        bytes(One(prometheus::BuildCounter(), r, "yeb_verify_received_bytes_total",
                  "Bytes of the packets received")),
        samples(One(prometheus::BuildCounter(), r, "yeb_verify_checked_samples_total",
                    "Samples checked")),
        connections(One(prometheus::BuildCounter(), r, "yeb_verify_connections_total",
                        "Connections made to the tool")),
        steady(One(prometheus::BuildGauge(), r, "yeb_verify_steady_packets_per_second",
                   "Packets per second over the whole cycles of the run so far")),
        nominal(One(prometheus::BuildGauge(), r, "yeb_verify_nominal_packets_per_second",
                    "The packet rate the tool was told")),
        lateness(prometheus::BuildHistogram()
                     .Name("yeb_verify_packet_lateness_seconds")
                     .Help("How late each packet arrived against the tool's schedule")
                     .Register(r)
                     .Add({}, LatenessBucketsSeconds())),
        failures(prometheus::BuildCounter()
                     .Name("yeb_verify_failures_total")
                     .Help("Failed checks, by kind")
                     .Register(r)) {}

  prometheus::Counter& packets;
  prometheus::Counter& bytes;
  prometheus::Counter& samples;
  prometheus::Counter& connections;
  prometheus::Gauge& steady;
  prometheus::Gauge& nominal;
  prometheus::Histogram& lateness;
  prometheus::Family<prometheus::Counter>& failures;
};

VerifyMetrics::VerifyMetrics(Endpoint& endpoint, int nominalPacketRate)
    : parts_(std::make_unique<Parts>(*endpoint.impl().registry)) {
  parts_->nominal.Set(nominalPacketRate);
}

void VerifyMetrics::Connected() { parts_->connections.Increment(); }

void VerifyMetrics::Packet(uint64_t bytes, uint64_t samples, int64_t latenessNs) {
  parts_->packets.Increment();
  parts_->bytes.Increment(static_cast<double>(bytes));
  parts_->samples.Increment(static_cast<double>(samples));
  // Early counts as on time, as the tool counts it.
  parts_->lateness.Observe(static_cast<double>(std::max<int64_t>(latenessNs, 0)) / 1e9);
}

void VerifyMetrics::Failure(std::string_view kind) {
  parts_->failures.Add({{"kind", std::string(kind)}}).Increment();
}

void VerifyMetrics::SteadyRate(double packetsPerSecond) { parts_->steady.Set(packetsPerSecond); }

#else

struct VerifyMetrics::Parts {};
VerifyMetrics::VerifyMetrics(Endpoint&, int) {}
void VerifyMetrics::Connected() {}
void VerifyMetrics::Packet(uint64_t, uint64_t, int64_t) {}
void VerifyMetrics::Failure(std::string_view) {}
void VerifyMetrics::SteadyRate(double) {}

#endif

VerifyMetrics::~VerifyMetrics() = default;

}  // namespace metrics
