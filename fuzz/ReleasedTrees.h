// Released trees are destroyed by the attribute pool's deleter thread, later
// and paced. A fuzz target waits for that at the end of each input, so that
// every input frees what it took: otherwise the fuzzer sees more allocations
// than frees after each input and runs a full leak scan every time (60
// inputs a second instead of thousands), and the queue of trees grows faster
// than the paced deleter empties it.
#pragma once

#include "templatelib/tAttribute.h"

inline void FreeReleasedTrees() { AttributePool().StopDeleter(); }
