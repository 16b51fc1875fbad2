#include "metrics/Endpoint.h"

#include <exception>

#include "metrics/EndpointImpl.h"
#include "platform/Socket.h"

namespace metrics {
namespace {

std::string Where(const EndpointAddress& address) {
  return address.bind + ":" + std::to_string(address.port);
}

}  // namespace

#ifdef YEB_HAVE_PROMETHEUS

bool EndpointBuilt() { return true; }

platform::Status Endpoint::Start(const EndpointAddress& address, std::unique_ptr<Endpoint>& out) {
  const std::string where = Where(address);
  // The library only says that it could not bind; a bind of our own first
  // gets the system's words ("Address already in use").
  {
    platform::SocketStatus status;
    platform::Socket probe = platform::Socket::OpenTcp(status);
    if (probe.IsOpen()) {
      probe.AllowAddressReuse();
      status = probe.Bind(platform::SocketAddress{address.bindIp, address.port});
    }
    if (!status.ok()) {
      return platform::Status::IoError("cannot serve the metrics on " + where + ": " +
                                       status.ToString());
    }
  }
  auto impl = std::make_unique<EndpointImpl>();
  try {
    impl->exposer = std::make_unique<prometheus::Exposer>(where, 1);
  } catch (const std::exception& error) {
    return platform::Status::IoError("cannot serve the metrics on " + where + ": " + error.what());
  }
  impl->exposer->RegisterCollectable(impl->registry);
  impl->url = "http://" + where + "/metrics";
  out.reset(new Endpoint(std::move(impl)));
  return platform::Status::Ok();
}

#else

bool EndpointBuilt() { return false; }

platform::Status Endpoint::Start(const EndpointAddress& address, std::unique_ptr<Endpoint>&) {
  return platform::Status::Unsupported("cannot serve the metrics on " + Where(address) +
                                       ": this build has no metrics endpoint (the Windows build "
                                       "is made without prometheus-cpp)");
}

#endif

Endpoint::Endpoint(std::unique_ptr<EndpointImpl> impl) : impl_(std::move(impl)) {}
Endpoint::~Endpoint() = default;

std::string Endpoint::Url() const {
#ifdef YEB_HAVE_PROMETHEUS
  return impl_->url;
#else
  return {};
#endif
}

}  // namespace metrics
