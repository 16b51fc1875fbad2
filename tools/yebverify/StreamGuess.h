// What the first bytes of a stream look like, for a hint when they fail:
// a verifier told the wrong source or packet rate (a NEP run checked with
// the Custom list a Custom run left behind) reports framing or size
// failures that say nothing about the cause.
//
// Both sources carry their time in a run of entries with one tag at a fixed
// place: a Custom stream starts with the greeting 01 00 00 00 00 and each
// packet holds 10000 / rate time values in pairs from byte 44; a NEP packet
// holds 10000 / rate time entries (a tag word with the top bit set and 8
// bytes of time) from byte 4. The run's length gives the rate.
//
// Thread safety: pure functions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "StreamModel.h"

namespace yebverify {

// The source and rate the first bytes of a connection show, if they show
// one clearly.
std::optional<StreamShape> GuessStreamShape(const uint8_t* bytes, size_t size);

// "this looks like a NEP stream: try --source nep or --manifest" when
// `seen` differs from what the verifier was told; empty otherwise.
std::string MismatchHint(const StreamShape& told, const StreamShape& seen);

}  // namespace yebverify
