// --source playback: checks a replay of a recording by the stress tool.
//
// Every record received must equal, byte for byte, the next record of the
// file in the order the tool reads it (PlaybackPlan: the start point, the
// passes). The first record the tool reads on each connection is only its
// time reference and is never sent, so one record is skipped at the start
// of every connection. When the verifier itself closed the connection before
// (--packets, --seconds), the records the tool had already handed to the
// system are lost in the socket: they are skipped and counted, not failed.
// After a connection that the tool ended, anything missing but the reference
// is a failure.
//
// Pacing: each record is due at the first arrival of its connection plus the
// waits before it (the clamped gaps of the stamps) divided by the speed.
// Lateness is how long after that a record came (early counts as 0); drift
// is the last arrival against the due time of the last record, as a share
// of the time between the first and the last.
//
// Exit status as for the other sources: 0 passed, 1 a check failed or the
// replay ended before the plan without a limit met, 2 usage or connection
// error.
//
// Thread safety: main thread only.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "Options.h"
#include "Verifier.h"

namespace yebverify {

// Reads the playback options (--file, --playback-*) at args[i]; fails,
// saying why, when the option is one of them and its value is wrong.
// `matched` says whether it was one of them; `i` moves past its value.
platform::Status ParsePlaybackOption(const std::vector<std::string>& args, size_t& i,
                                     VerifyOptions& options, bool& matched);

struct PlaybackOutcome {
  int exitStatus = kExitOk;
  std::string summary;  // the lines printed at the end
};

PlaybackOutcome VerifyPlayback(const VerifyOptions& options, Connector& connector,
                               const std::function<bool()>& stopRequested,
                               const std::function<void(const std::string&)>& out);

}  // namespace yebverify
