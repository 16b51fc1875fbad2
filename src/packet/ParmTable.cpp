#include "packet/ParmTable.h"

#include <new>
#include <type_traits>

namespace packet {

RecordArray::RecordArray()
    : block_(platform::LargeBlock::Allocate(sizeof(ParmRecord) * kParmTableCapacity)) {
  // As `new ParmRecord[]` would, a failure to get the memory throws.
  if (!block_.held()) throw std::bad_alloc();
  static_assert(std::is_trivially_destructible_v<ParmRecord>);
  ParmRecord* records = get();
  for (int32_t i = 0; i < kParmTableCapacity; ++i) new (records + i) ParmRecord();
}

}  // namespace packet
