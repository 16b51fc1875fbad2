#include "driver/PacketQueue.h"

#include <utility>

namespace driver {

PacketBytes SharePacket(const uint8_t* bytes, int32_t length) {
  return std::make_shared<const std::vector<uint8_t>>(bytes, bytes + (length > 0 ? length : 0));
}

PacketQueue::PushResult PacketQueue::Push(PacketBytes packet, int64_t nowNs) {
  const int64_t size = static_cast<int64_t>(packet->size());
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (closed_) return PushResult::kClosed;
    if (static_cast<int64_t>(entries_.size()) + 1 > limits_.packets ||
        bytes_ + size > limits_.bytes) {
      return PushResult::kFull;
    }
    entries_.push_back(Entry{std::move(packet), nowNs});
    bytes_ += size;
  }
  ready_.notify_one();
  return PushResult::kQueued;
}

PacketBytes PacketQueue::PopFront() {
  if (entries_.empty()) return nullptr;
  PacketBytes packet = std::move(entries_.front().packet);
  entries_.pop_front();
  bytes_ -= static_cast<int64_t>(packet->size());
  return packet;
}

PacketBytes PacketQueue::TryPop() {
  std::lock_guard<std::mutex> lock(mutex_);
  return PopFront();
}

PacketBytes PacketQueue::WaitPop() {
  std::unique_lock<std::mutex> lock(mutex_);
  ready_.wait(lock, [this] { return closed_ || !entries_.empty(); });
  return PopFront();
}

void PacketQueue::Close() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    closed_ = true;
  }
  ready_.notify_all();
}

void PacketQueue::Abort() {
  std::deque<Entry> dropped;  // released outside the lock
  {
    std::lock_guard<std::mutex> lock(mutex_);
    closed_ = true;
    dropped.swap(entries_);
    bytes_ = 0;
  }
  ready_.notify_all();
}

Backlog PacketQueue::BacklogAt(int64_t nowNs) const {
  std::lock_guard<std::mutex> lock(mutex_);
  Backlog b;
  b.packets = static_cast<int64_t>(entries_.size());
  b.bytes = bytes_;
  if (!entries_.empty()) b.oldestAgeNs = nowNs - entries_.front().pushedNs;
  return b;
}

}  // namespace driver
