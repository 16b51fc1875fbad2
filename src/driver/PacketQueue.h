// One connection's packets not yet sent, for the fan-out of several
// connections (ConnectionSet.h).
//
// The streaming loop pushes every packet it builds to the queue of each
// connection; the connection's sender thread takes them off and sends them.
// A packet is built once and shared by all queues (PacketBytes is a shared,
// immutable copy), so a queue holds pointers, and the memory of a packet
// goes when the slowest connection has sent it.
//
// The queue is bounded, by packets and by bytes. A push that would pass
// either bound is refused and leaves the queue as it was: the caller then
// gives up on the connection rather than let one slow reader hold memory
// without limit or hold up the stream of the others. Times are passed in
// (the clock is the caller's), so that how far behind a connection is can
// be told and tested without a real clock.
//
// Thread safety: Push, Close and Abort from one thread (the streaming
// loop), WaitPop from another (the sender); every call takes the queue's
// one lock. TryPop and Backlog may be called from either.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

namespace driver {

using PacketBytes = std::shared_ptr<const std::vector<uint8_t>>;

// A copy of `length` bytes to share among the queues.
PacketBytes SharePacket(const uint8_t* bytes, int32_t length);

struct QueueLimits {
  int64_t packets = 0;
  int64_t bytes = 0;
};

// What a queue holds: packets, their bytes, and how long the oldest has
// waited.
struct Backlog {
  int64_t packets = 0;
  int64_t bytes = 0;
  int64_t oldestAgeNs = 0;
};

class PacketQueue {
 public:
  enum class PushResult { kQueued, kFull, kClosed };

  explicit PacketQueue(QueueLimits limits) : limits_(limits) {}
  PacketQueue(const PacketQueue&) = delete;
  PacketQueue& operator=(const PacketQueue&) = delete;

  // Queues `packet`, pushed at `nowNs`. kFull when one more packet or its
  // bytes would pass a limit; kClosed after Close or Abort. Only kQueued
  // changes the queue.
  PushResult Push(PacketBytes packet, int64_t nowNs);
  // The oldest packet; empty when there is none.
  PacketBytes TryPop();
  // Waits for the oldest packet. Empty once the queue is closed and
  // drained, or aborted.
  PacketBytes WaitPop();
  // No more pushes; what is queued is still handed out.
  void Close();
  // No more pushes, and what is queued is dropped.
  void Abort();

  Backlog BacklogAt(int64_t nowNs) const;

 private:
  struct Entry {
    PacketBytes packet;
    int64_t pushedNs;
  };

  PacketBytes PopFront();  // REQUIRES: mutex_ held

  const QueueLimits limits_;
  mutable std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<Entry> entries_;
  int64_t bytes_ = 0;
  bool closed_ = false;
};

}  // namespace driver
