#include "platform/LargeBlock.h"

#include <sys/mman.h>

#include <cstdlib>

namespace platform {
namespace {

constexpr size_t kHugePage = size_t{2} << 20;

}  // namespace

LargeBlock LargeBlock::Allocate(size_t size) {
  if (size < kHugePage) return LargeBlock(std::malloc(size == 0 ? 1 : size));
  // Whole huge pages, aligned to one, so that every page of the block can
  // be one; the advice is only advice, and a refusal leaves small pages.
  const size_t rounded = (size + kHugePage - 1) / kHugePage * kHugePage;
  if (rounded < size) return LargeBlock();
  void* data = std::aligned_alloc(kHugePage, rounded);
  if (data != nullptr) {
#ifdef MADV_HUGEPAGE
    ::madvise(data, rounded, MADV_HUGEPAGE);
#endif
  }
  return LargeBlock(data);
}

}  // namespace platform
