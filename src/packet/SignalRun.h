// What the packet builders need to send signals and to say what they sent:
// for each record its signal source (or the counter), its sample number n
// and its place in a tabled period, and whether its samples are logged.
//
// Without a SignalRun the builders take the counter path untouched. With
// one, records that carry no signal and are not logged still take it; the
// others take their values from their source at their sample number, which
// counts every sample taken from 0 at process start and carries on across
// transfers, as the counter does (a Custom sample left pending at the end
// of a packet is taken all the same). For every logged sample written to
// the packet the builder appends a SampleTap, so that the value log can
// read back, once the packet went out, exactly the bytes that were sent.
//
// Thread safety: main thread only, like the builders.
#pragma once

#include <cstdint>
#include <vector>

#include "packet/SignalPlan.h"

namespace packet {

struct SignalCursor {
  uint64_t n = 0;       // the number of the record's next sample
  uint32_t phase = 0;   // n modulo the source's tabled period
  int32_t source = -1;  // index into SignalRun::sources, or -1 for the counter
  bool logged = false;
  bool plain = true;  // the counter and not logged: the builders' fast path
};

struct SampleTap {
  int32_t record = 0;   // table index, from 0
  int32_t j = 0;        // the record's j-th sample in this packet, from 0
  uint64_t n = 0;       // the sample number
  uint32_t offset = 0;  // of the 4-byte value in the packet
};

class SignalRun {
 public:
  // `plan` (null: every record keeps the counter) must outlive the run.
  SignalRun(const SignalPlan* plan, int32_t parmCount);
  SignalRun(const SignalRun&) = delete;
  SignalRun& operator=(const SignalRun&) = delete;

  void MarkLogged(int32_t record);
  bool anyLogged() const { return anyLogged_; }

  std::vector<SignalCursor> cursors;         // one per record
  std::vector<const SignalSource*> sources;  // owned by the plan
  std::vector<SampleTap> taps;               // of the packet built last

 private:
  bool anyLogged_ = false;
};

}  // namespace packet
