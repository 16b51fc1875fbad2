#include "driver/ConnectionSet.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <thread>
#include <utility>

#include "driver/PacketQueue.h"
#include "packet/PacketBuilder.h"
#include "platform/Clock.h"
#include "platform/TextOut.h"

namespace driver {
namespace {

// How long the end of a transfer waits for the senders to send what is
// queued before it closes their connections regardless.
constexpr int64_t kDrainNs = 1'000'000'000;

double Ms(int64_t ns) { return static_cast<double>(ns) / 1e6; }

}  // namespace

std::string AddressText(const platform::SocketAddress& address) {
  char text[32];
  std::snprintf(text, sizeof text, "%u.%u.%u.%u:%u", (address.ip >> 24) & 0xFF,
                (address.ip >> 16) & 0xFF, (address.ip >> 8) & 0xFF, address.ip & 0xFF,
                static_cast<unsigned>(address.port));
  return text;
}

// One connection and its sender thread. The thread owns the socket from
// its start to its end; the loop's thread reads only the atomics and the
// queue.
class ConnectionSet::Connection {
 public:
  Connection(int64_t number, std::unique_ptr<net::utServerSocket> socket, QueueLimits limits,
             bool greet)
      : number_(number),
        address_(AddressText(socket->address())),
        socket_(std::move(socket)),
        queue_(limits) {
    sender_ = std::thread([this, greet] { SendLoop(greet); });
  }
  ~Connection() {
    Stop();
    Join();
  }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  int64_t number() const { return number_; }
  const std::string& address() const { return address_; }
  PacketQueue& queue() { return queue_; }
  bool finished() const { return finished_.load(std::memory_order_acquire); }
  bool failed() const { return failed_.load(std::memory_order_acquire); }
  int64_t sentPackets() const { return sentPackets_.load(std::memory_order_relaxed); }
  int64_t sentBytes() const { return sentBytes_.load(std::memory_order_relaxed); }
  int64_t blockedNs() const { return blockedNs_.load(std::memory_order_relaxed); }

  // Ends the sender without sending what is queued; a send waiting for the
  // peer gives up within its slice.
  void Stop() {
    stop_.store(true, std::memory_order_release);
    queue_.Abort();
  }
  void Join() {
    if (sender_.joinable()) sender_.join();
  }

  // The loop thread's own bookkeeping.
  bool closing = false;  // closed as behind; its end is already told
  int64_t reportedPackets = 0;
  int64_t reportedBytes = 0;
  int64_t reportedBlockedNs = 0;

 private:
  void SendLoop(bool greet) {
    if (!greet || SendOne(packet::kCustomGreeting, sizeof packet::kCustomGreeting, false)) {
      while (PacketBytes packet = queue_.WaitPop()) {
        if (!SendOne(packet->data(), packet->size(), true)) break;
      }
    }
    finished_.store(true, std::memory_order_release);
  }

  bool SendOne(const uint8_t* bytes, size_t size, bool counted) {
    const int64_t startNs = platform::CounterNow();
    const bool ok = socket_->Send(bytes, static_cast<int32_t>(size), giveUp_) == 0;
    blockedNs_.fetch_add(platform::CounterNow() - startNs, std::memory_order_relaxed);
    if (!ok) {
      failed_.store(!stop_.load(std::memory_order_acquire), std::memory_order_release);
      queue_.Abort();  // later pushes are refused, not counted as falling behind
      return false;
    }
    if (counted) {
      sentPackets_.fetch_add(1, std::memory_order_relaxed);
      sentBytes_.fetch_add(static_cast<int64_t>(size), std::memory_order_relaxed);
    }
    return true;
  }

  const int64_t number_;
  const std::string address_;
  std::unique_ptr<net::utServerSocket> socket_;
  PacketQueue queue_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> finished_{false};
  std::atomic<bool> failed_{false};  // the peer went away (not stopped by us)
  std::atomic<int64_t> sentPackets_{0};
  std::atomic<int64_t> sentBytes_{0};
  std::atomic<int64_t> blockedNs_{0};
  const net::utServerSocket::GiveUpCheck giveUp_ = [this] {
    return stop_.load(std::memory_order_acquire);
  };
  std::thread sender_;  // last: started when everything above is ready
};

ConnectionSet::ConnectionSet(net::utServerSocket& listener, const ConnectionSetOptions& options,
                             RunEnvironment& env, StatsFile* stats, int64_t& connectionCount)
    : listener_(listener),
      options_(options),
      env_(env),
      stats_(stats),
      connectionCount_(connectionCount) {}

ConnectionSet::~ConnectionSet() = default;  // each Connection stops and joins its sender

size_t ConnectionSet::open() const {
  return static_cast<size_t>(std::count_if(connections_.begin(), connections_.end(),
                                           [](const auto& c) { return !c->closing; }));
}

void ConnectionSet::Add(std::unique_ptr<net::utServerSocket> socket, bool greet) {
  const int64_t number = ++connectionCount_;
  const QueueLimits limits{std::max<int64_t>(options_.packetRate, 1), kMaxQueueBytes};
  connections_.push_back(std::make_unique<Connection>(number, std::move(socket), limits, greet));
  const Connection& c = *connections_.back();
  platform::Printf(env_.out, "- Connection %lld (%s) open, %d of %d\n",
                   static_cast<long long>(number), c.address().c_str(), static_cast<int>(open()),
                   static_cast<int>(options_.maxConnections));
  if (stats_ != nullptr) {
    stats_->WriteEvent("connect", {StatsField::Integer("connection", number),
                                   StatsField::Text("address", c.address())});
  }
}

void ConnectionSet::TakeWaitingConnections() {
  while (std::unique_ptr<net::utServerSocket> socket = listener_.TryAccept()) {
    if (open() >= static_cast<size_t>(options_.maxConnections)) {
      platform::Printf(env_.out,
                       "- Connection from %s refused: %d connections are open, the most "
                       "/Connections allows\n",
                       AddressText(socket->address()).c_str(), options_.maxConnections);
      continue;  // closed as it goes
    }
    Add(std::move(socket), options_.customGreeting);
  }
}

bool ConnectionSet::Send(const uint8_t* bytes, int32_t length,
                         const net::utServerSocket::GiveUpCheck& /*giveUp*/) {
  ReapFinished();
  TakeWaitingConnections();
  if (open() == 0) return false;
  const PacketBytes packet = SharePacket(bytes, length);
  const int64_t nowNs = env_.clock.NowNs();
  for (const auto& c : connections_) {
    if (c->closing) continue;
    if (c->queue().Push(packet, nowNs) == PacketQueue::PushResult::kFull) CloseBehind(*c, nowNs);
  }
  return open() > 0;
}

void ConnectionSet::CloseBehind(Connection& c, int64_t nowNs) {
  const Backlog behind = c.queue().BacklogAt(nowNs);
  c.closing = true;
  c.Stop();
  platform::Printf(env_.out,
                   "- Connection %lld (%s) fell behind by %lld packets (%.1f MiB, %.3f s) and is "
                   "closed; the others go on\n",
                   static_cast<long long>(c.number()), c.address().c_str(),
                   static_cast<long long>(behind.packets),
                   static_cast<double>(behind.bytes) / (1024.0 * 1024.0),
                   static_cast<double>(behind.oldestAgeNs) / 1e9);
}

void ConnectionSet::ReapFinished() {
  for (auto it = connections_.begin(); it != connections_.end();) {
    Connection& c = **it;
    if (!c.finished()) {
      ++it;
      continue;
    }
    if (!c.closing) {
      c.closing = true;
      platform::Printf(env_.out,
                       "- Connection %lld (%s) closed by the YEB after %lld packets, %d open\n",
                       static_cast<long long>(c.number()), c.address().c_str(),
                       static_cast<long long>(c.sentPackets()), static_cast<int>(open()));
      Finish(c, TransferEndName(TransferEnd::kClosed));
    } else {
      Finish(c, "behind");
    }
    it = connections_.erase(it);
  }
}

void ConnectionSet::Finish(Connection& c, const char* reason) {
  c.Join();
  if (stats_ == nullptr) return;
  stats_->WriteEvent(
      "end",
      {StatsField::Integer("connection", c.number()), StatsField::Text("address", c.address()),
       StatsField::Integer("packets", c.sentPackets()), StatsField::Integer("bytes", c.sentBytes()),
       StatsField::Text("reason", reason)});
}

SinkCycleReport ConnectionSet::TakeCycleReport() {
  SinkCycleReport report;
  nlohmann::ordered_json figures = nlohmann::ordered_json::array();
  report.line = "- Connections:";
  bool any = false;
  for (const auto& c : connections_) {
    if (c->closing) continue;
    const int64_t packets = c->sentPackets(), bytes = c->sentBytes(), blocked = c->blockedNs();
    const int64_t cyclePackets = packets - c->reportedPackets;
    const int64_t cycleBlockedNs = blocked - c->reportedBlockedNs;
    platform::AppendFormat(report.line, "%s %lld (%s) %lld packets, %.3f ms blocked",
                           any ? ";" : "", static_cast<long long>(c->number()),
                           c->address().c_str(), static_cast<long long>(cyclePackets),
                           Ms(cycleBlockedNs));
    nlohmann::ordered_json one;
    one["connection"] = c->number();
    one["address"] = c->address();
    one["packets"] = cyclePackets;
    one["bytes"] = bytes - c->reportedBytes;
    one["send_blocked_ms"] = std::round(Ms(cycleBlockedNs) * 1000.0) / 1000.0;
    one["queued"] = c->queue().BacklogAt(0).packets;
    figures.push_back(std::move(one));
    c->reportedPackets = packets;
    c->reportedBytes = bytes;
    c->reportedBlockedNs = blocked;
    any = true;
  }
  report.line += any ? "\n" : " none open\n";
  report.fields.push_back(StatsField::Json("connections", std::move(figures)));
  return report;
}

void ConnectionSet::TransferEnded(TransferEnd end) {
  for (const auto& c : connections_) c->queue().Close();
  const int64_t giveUpAt = platform::CounterNow() + kDrainNs;
  for (const auto& c : connections_) {
    while (!c->finished() && platform::CounterNow() < giveUpAt) platform::SleepMs(1);
  }
  for (const auto& c : connections_) {
    c->Stop();
    const char* reason = c->closing    ? "behind"
                         : c->failed() ? TransferEndName(TransferEnd::kClosed)
                                       : TransferEndName(end);
    Finish(*c, reason);
  }
  connections_.clear();
}

}  // namespace driver
