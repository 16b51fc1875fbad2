// The stress tool's run sequence: banner, command line, the numbered steps,
// then the endless loop of waiting for a YEB and streaming to it.
//
// Every way out goes through one exit sequence: release the send buffer,
// "Hit any key to exit...", read one key, stop the template library's
// threads, and end with status 0 after a normal end or 1 after a failure.
// After a termination signal the key prompt is skipped (nobody is there to
// answer it) and the status is 0.
//
// Works on the process-wide run settings, parameter table and packet state;
// tests reset those before calling it in-process.
//
// Thread safety: main thread only.
#pragma once

#include "driver/RunEnvironment.h"

namespace driver {

inline constexpr int kExitNormal = 0;
inline constexpr int kExitFailure = 1;

// Returns the process exit status.
int RunStressTool(int argc, const char* const* argv, RunEnvironment& env);

}  // namespace driver
