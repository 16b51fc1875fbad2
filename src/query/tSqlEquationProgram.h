// The token program of a loaded where clause: the skeleton's parentheses
// and operators, slots as their record index, plus the parentheses that
// make one left-to-right pass give the outcomes of the pass-by-pass
// reduction (see tSqlEquationProgram.cpp).
#pragma once

#include <cstdint>

namespace query {

// Program tokens; slots are their record index (>= 0).
inline constexpr int32_t kTokOpen = -1;
inline constexpr int32_t kTokClose = -2;
inline constexpr int32_t kTokAnd = -3;
inline constexpr int32_t kTokOr = -4;

}  // namespace query
