// What the metric sets share with the endpoint: the library's registry.
// Included only by the implementation files, and only where the library is.
#pragma once

#ifdef YEB_HAVE_PROMETHEUS

#include <prometheus/exposer.h>
#include <prometheus/registry.h>

#include <memory>
#include <string>

namespace metrics {

struct EndpointImpl {
  std::string url;
  std::shared_ptr<prometheus::Registry> registry = std::make_shared<prometheus::Registry>();
  std::unique_ptr<prometheus::Exposer> exposer;
};

}  // namespace metrics

#else

namespace metrics {
struct EndpointImpl {};
}  // namespace metrics

#endif
