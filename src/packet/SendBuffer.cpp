#include "packet/SendBuffer.h"

#include <cstring>
#include <new>

namespace packet {

bool SendBuffer::Allocate(int64_t size) {
  Release();
  if (size < 0) return false;
  // At least one byte, so that an empty packet still has an address.
  const size_t bytes = size == 0 ? 1 : static_cast<size_t>(size);
  bytes_.reset(new (std::nothrow) uint8_t[bytes]);
  if (!bytes_) return false;
  std::memset(bytes_.get(), 0, bytes);
  size_ = size;
  return true;
}

void SendBuffer::Release() {
  bytes_.reset();
  size_ = 0;
}

bool CanAllocate(int64_t size) {
  if (size < 0) return false;
  std::unique_ptr<uint8_t[]> probe(new (std::nothrow)
                                       uint8_t[size == 0 ? 1 : static_cast<size_t>(size)]);
  return probe != nullptr;
}

}  // namespace packet
