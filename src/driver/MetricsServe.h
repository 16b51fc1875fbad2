// /MetricsPort: the run's Prometheus endpoint, started before anything else
// is done, so that a port that cannot be had ends the run at once with the
// reason rather than after the operator has waited for a YEB.
//
// Thread safety: main thread only (the endpoint serves from its own).
#pragma once

#include <memory>

#include "driver/RunSettings.h"
#include "metrics/Endpoint.h"
#include "metrics/StressMetrics.h"
#include "platform/TextOut.h"

namespace driver {

struct ServedMetrics {
  std::unique_ptr<metrics::Endpoint> endpoint;  // declared first: the figures live in it
  std::unique_ptr<metrics::StressMetrics> stream;
};

// Nothing when the settings ask for no endpoint; else the endpoint and its
// line "- Metrics: http://...". False, with the error and its reason
// printed, when it cannot be served.
bool ServeMetrics(const RunSettings& settings, platform::TextOut& out, ServedMetrics& served);

}  // namespace driver
