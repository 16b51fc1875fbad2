// A fault script: the faults a real source and network make, on a timeline
// that starts again with every transfer.
//
// The script is text, one event a line: "SECONDS ACTION [ARGUMENT]"; a "#"
// starts a comment, on its own line or after an event, and blank lines are
// ignored. SECONDS (a decimal, at least
// 0) counts from the start of a transfer. Actions and their arguments:
//   drop N          build the next N packets but do not send them
//   duplicate N     send the next packet N more times
//   corrupt         flip one bit in one sample of the next packet
//   truncate BYTES  send the first BYTES bytes of the next packet, then close
//   stall MS        send nothing for MS milliseconds
//   disconnect      close the connection
//   timejump SECS   add SECS (may be negative) to the data time
// Actions are matched without regard to case. Events run in time order
// (lines of the same time in file order), each once per transfer.
//
// The same script serves the stress tool (which makes the faults) and the
// verifier (which expects them), so parsing lives here, below both.
//
// Thread safety: plain values; one thread at a time per object.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Status.h"

namespace io {

enum class FaultAction { kDrop, kDuplicate, kCorrupt, kTruncate, kStall, kDisconnect, kTimeJump };

struct FaultEvent {
  int64_t atNs = 0;  // from the start of the transfer
  FaultAction action = FaultAction::kDrop;
  int64_t count = 0;     // drop and duplicate: packets; truncate: bytes; stall: ms
  double seconds = 0.0;  // timejump
  int32_t line = 0;      // in the script, from 1
  std::string text;      // the event as written, white space trimmed
};

struct FaultScript {
  std::vector<FaultEvent> events;  // in time order
};

// The action's word in a script ("drop", "timejump").
const char* FaultActionName(FaultAction action);

// Limits that keep a hostile script from sizing anything.
inline constexpr size_t kMaxFaultScriptBytes = 1 << 20;
inline constexpr size_t kMaxFaultEvents = 100000;

// Parses a script. Fails with "line N: what is wrong" (or a whole-script
// reason) when any line cannot be read; nothing is half-read.
platform::Status ParseFaultScript(std::string_view text, FaultScript* script);
// Reads and parses a script file (a regular file of at most
// kMaxFaultScriptBytes); the failure does not name the path.
platform::Status LoadFaultScript(const std::string& path, FaultScript* script);

// The events of one transfer, handed out once each as they fall due.
class FaultTimeline {
 public:
  explicit FaultTimeline(const FaultScript* script) : script_(script) {}
  // The next event due at `elapsedNs` into the transfer, or null.
  const FaultEvent* NextDue(int64_t elapsedNs);
  // The time of the next event not handed out yet, or -1 when none is left.
  int64_t NextAtNs() const;

 private:
  const FaultScript* script_;
  size_t next_ = 0;
};

}  // namespace io
