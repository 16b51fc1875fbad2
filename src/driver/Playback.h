// Playback mode: replays a recorded data file to each YEB that connects, at
// the pace of the records' time stamps.
//
// The file is opened once and read on across connections: each new
// connection gets the Custom greeting, and its first record serves only as
// the time reference. Every further record is due at the previous record's
// due time plus its gap (see RecordGapMs), divided by /PlaybackSpeed; due
// times are absolute on the injected clock, so rounding and timer lateness
// do not add up over a long recording. A YEB that stops reading, a key press
// or a termination signal still ends the wait or the send.
//
// With /PlaybackLoop, /PlaybackStart, /PlaybackMaxGap (or /PlaybackInfo)
// the file's headers are scanned first: playback then begins at the start
// point, starts again at the first record at the end of each pass with the
// schedule running on, and shows its progress under each time line.
//
// A record that could not be sent (the YEB went away, a key or a signal
// ended the transfer before it went out) is the next connection's time
// reference, so a new connection resumes right after the last record sent.
//
// Prints its numbered steps and messages to the environment's output; the
// caller prints "Ciao..." and runs the exit sequence after it returns.
//
// Thread safety: main thread only.
#pragma once

#include <cstdint>

#include "driver/RunEnvironment.h"
#include "driver/StatsFile.h"
#include "packet/SendBuffer.h"
#include "platform/Status.h"

namespace driver {

enum class PlaybackEnd {
  kFileComplete,  // the file ran out (or ends inside a record)
  kReadError,     // a corrupt size word, a failed read, no memory for a record
  kCannotOpen,    // the playback file cannot be opened for reading
  kNoSocket,      // the listening socket could not be created
  kBadAccept,     // Accept failed
  kTerminated,    // SIGINT or SIGTERM
};

// One record that went out, with the times on the environment's clock.
struct SentRecord {
  int32_t timeStamp = 0;
  int64_t bytes = 0;
  int64_t dueNs = 0;        // when the schedule wanted it sent
  int64_t sendStartNs = 0;  // when its send began
  int64_t sendEndNs = 0;    // when its send returned
};

// Told about every record sent, for statistics.
class PlaybackObserver {
 public:
  virtual ~PlaybackObserver() = default;
  virtual void RecordSent(const SentRecord& record) = 0;
};

// Runs playback with the process-wide run settings (port, playback file
// path, /PlaybackSpeed). Records are read into `recordBuffer`, which grows to
// the largest record seen. `observer` may be null. Each connection's
// connect, cycle (one second of wall time) and end events go to `stats`,
// when there is one. After kCannotOpen, *failure (when given) says why.
PlaybackEnd RunPlayback(RunEnvironment& env, packet::SendBuffer& recordBuffer,
                        PlaybackObserver* observer = nullptr, StatsFile* stats = nullptr,
                        platform::Status* failure = nullptr);

// /PlaybackInfo: prints the scan of the playback file and the replay time
// the settings give. False (with the reason printed) when there is no
// playback file or it cannot be read.
bool PrintPlaybackInfo(platform::TextOut& out);

}  // namespace driver
