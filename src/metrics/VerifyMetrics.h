// yebverify's metrics, as the endpoint serves them (Prometheus' naming, the
// yeb_verify_ prefix so that one Prometheus can scrape both programs):
//
//   yeb_verify_received_packets_total, yeb_verify_received_bytes_total
//   yeb_verify_checked_samples_total
//   yeb_verify_failures_total{kind}                 by the verifier's failure kinds
//   yeb_verify_packet_lateness_seconds              histogram, against the tool's schedule
//   yeb_verify_steady_packets_per_second            the steady rate over the run so far
//   yeb_verify_nominal_packets_per_second
//   yeb_verify_connections_total
//
// Thread safety: updated from the verifier's thread; served from the
// endpoint's.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "metrics/Endpoint.h"

namespace metrics {

class VerifyMetrics {
 public:
  // Registers the metrics on `endpoint`, which must outlive this object.
  VerifyMetrics(Endpoint& endpoint, int nominalPacketRate);
  ~VerifyMetrics();
  VerifyMetrics(const VerifyMetrics&) = delete;
  VerifyMetrics& operator=(const VerifyMetrics&) = delete;

  void Connected();
  void Packet(uint64_t bytes, uint64_t samples, int64_t latenessNs);
  void Failure(std::string_view kind);
  void SteadyRate(double packetsPerSecond);

 private:
  struct Parts;
  std::unique_ptr<Parts> parts_;
};

}  // namespace metrics
