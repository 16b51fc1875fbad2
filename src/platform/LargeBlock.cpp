#include "platform/LargeBlock.h"

#include <cstdlib>
#include <utility>

namespace platform {

LargeBlock::~LargeBlock() { std::free(data_); }

LargeBlock::LargeBlock(LargeBlock&& other) noexcept : data_(std::exchange(other.data_, nullptr)) {}

LargeBlock& LargeBlock::operator=(LargeBlock&& other) noexcept {
  if (this != &other) {
    std::free(data_);
    data_ = std::exchange(other.data_, nullptr);
  }
  return *this;
}

}  // namespace platform
