#include "packet/SendBuffer.h"

#include <cstring>
#include <memory>
#include <new>

namespace packet {

bool SendBuffer::Allocate(int64_t size) {
  Release();
  if (size < 0) return false;
  // At least one byte, so that an empty packet still has an address.
  const size_t bytes = size == 0 ? 1 : static_cast<size_t>(size);
  bytes_ = platform::LargeBlock::Allocate(bytes);
  if (!bytes_.held()) return false;
  std::memset(bytes_.data(), 0, bytes);
  size_ = size;
  return true;
}

void SendBuffer::Release() {
  bytes_ = platform::LargeBlock();
  size_ = 0;
}

bool CanAllocate(int64_t size) {
  if (size < 0) return false;
  std::unique_ptr<uint8_t[]> probe(new (std::nothrow)
                                       uint8_t[size == 0 ? 1 : static_cast<size_t>(size)]);
  return probe != nullptr;
}

}  // namespace packet
