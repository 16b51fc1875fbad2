#include "packet/ParmTable.h"

namespace packet {

ParmTable::ParmTable() : records(new ParmRecord[kParmTableCapacity]) {}

}  // namespace packet
