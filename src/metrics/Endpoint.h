// The HTTP endpoint that serves /metrics in the Prometheus text format, for
// a Prometheus server (or a person with curl) to read while a run goes on.
//
// It listens on one address (127.0.0.1 unless told otherwise: the figures
// of a test stand are not for the whole network) and serves from a thread
// of its own, so a slow scraper never holds up the stream; the metrics it
// reads are updated by the stream's thread with the library's atomic
// counters and locked histograms.
//
// A port that cannot be had is found out at start, with the system's
// reason, before the run has done anything. The Windows build has no
// endpoint: Start says so.
//
// Thread safety: Start and the destructor on one thread; the metric sets
// built on it may be updated from any one thread while it serves.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/Status.h"

namespace metrics {

struct EndpointImpl;  // the library's exposer and registry

// Where the endpoint was asked to listen, for messages and the manifest.
struct EndpointAddress {
  std::string bind = "127.0.0.1";
  uint32_t bindIp = 0x7f000001;  // host order
  uint16_t port = 0;
};

class Endpoint {
 public:
  // Serves http://ADDRESS:PORT/metrics. An error names the address, the
  // port and why (the port is taken, the address is not this machine's, the
  // build has no endpoint).
  static platform::Status Start(const EndpointAddress& address, std::unique_ptr<Endpoint>& out);
  ~Endpoint();
  Endpoint(const Endpoint&) = delete;
  Endpoint& operator=(const Endpoint&) = delete;

  // "http://127.0.0.1:9464/metrics", for the run's first lines.
  std::string Url() const;
  EndpointImpl& impl() { return *impl_; }

 private:
  explicit Endpoint(std::unique_ptr<EndpointImpl> impl);
  std::unique_ptr<EndpointImpl> impl_;
};

// True when this build serves metrics at all.
bool EndpointBuilt();

}  // namespace metrics
