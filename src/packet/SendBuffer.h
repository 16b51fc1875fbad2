// The one buffer in which every packet is built.
//
// Allocated once before streaming starts and touched in full at once, so
// that the first packets do not pay for page faults; released when the
// program ends. Owns its memory; not copyable.
//
// Thread safety: main thread only.
#pragma once

#include <cstdint>

#include "platform/LargeBlock.h"

namespace packet {

class SendBuffer {
 public:
  SendBuffer() = default;
  SendBuffer(const SendBuffer&) = delete;
  SendBuffer& operator=(const SendBuffer&) = delete;

  // Replaces any held memory with `size` zeroed bytes; false (and nothing
  // held) when the memory cannot be had or the size is negative.
  bool Allocate(int64_t size);
  void Release();

  uint8_t* data() { return static_cast<uint8_t*>(bytes_.data()); }
  int64_t size() const { return size_; }
  bool held() const { return bytes_.held(); }

 private:
  platform::LargeBlock bytes_;  // in huge pages where the system offers them
  int64_t size_ = 0;
};

// True when a block of `size` bytes could be had right now; the block is
// released at once.
bool CanAllocate(int64_t size);

}  // namespace packet
