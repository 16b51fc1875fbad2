// Memory for the large buffers a run walks in full many times a second:
// the send buffer and the parameter table, megabytes each at the whole
// table.
//
// Where the system offers it, a block of 2 MiB or more asks for huge pages
// (on Linux, transparent huge pages advised for the block). A 7.86 MB
// packet spans 1,920 pages of 4 KiB, and on a virtual machine each miss in
// the address cache is a walk through two levels of page tables: the
// kernel's copy of every packet into the socket pays for them. Elsewhere a
// block is plain heap memory.
//
// Thread safety: a block is used by one thread at a time.
#pragma once

#include <cstddef>

namespace platform {

class LargeBlock {
 public:
  LargeBlock() = default;
  ~LargeBlock();
  LargeBlock(LargeBlock&& other) noexcept;
  LargeBlock& operator=(LargeBlock&& other) noexcept;
  LargeBlock(const LargeBlock&) = delete;
  LargeBlock& operator=(const LargeBlock&) = delete;

  // A block of at least `size` bytes, not cleared; an empty block when the
  // memory cannot be had.
  static LargeBlock Allocate(size_t size);

  void* data() const { return data_; }
  bool held() const { return data_ != nullptr; }

 private:
  explicit LargeBlock(void* data) : data_(data) {}

  void* data_ = nullptr;
};

}  // namespace platform
