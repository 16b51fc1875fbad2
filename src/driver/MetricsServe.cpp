#include "driver/MetricsServe.h"

#include "driver/Reasons.h"

namespace driver {

bool ServeMetrics(const RunSettings& settings, platform::TextOut& out, ServedMetrics& served) {
  if (settings.metricsPort < 0) return true;
  const metrics::EndpointAddress address{settings.metricsBind, settings.metricsBindIp,
                                         static_cast<uint16_t>(settings.metricsPort)};
  if (platform::Status started = metrics::Endpoint::Start(address, served.endpoint);
      !started.ok()) {
    out.Write("** Error - Unable to serve the metrics (/MetricsPort) - quiting...\n");
    PrintReason(out, started);
    return false;
  }
  served.stream = std::make_unique<metrics::StressMetrics>(*served.endpoint, settings.packetRate);
  platform::Printf(out, "- Metrics: %s\n\n", served.endpoint->Url().c_str());
  return true;
}

}  // namespace driver
