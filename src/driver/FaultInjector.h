// Makes the faults of a fault script (io/FaultScript.h) happen in one
// transfer.
//
// The streaming loop calls it at three points of every packet: before the
// packet is built (events that fall due fire here), after it is built (a
// corruption is applied to the bytes, never to the builder's state), and in
// place of the plain send (withheld, repeated or cut packets).
//
// When an event fires: at the first packet whose scheduled due time, counted
// from the start of the transfer, is at or after the event's time. The
// schedule is the ideal one of the pacing rules: packets one period apart
// within a one-second cycle, each cycle one second after the last, a cycle
// ending after the packet that brings the packet counter to the packet rate.
// It does not depend on the real clock, so the packet an event lands on is
// the same on every run and the verifier can work it out.
//
// Effects:
//   drop N        the packet and the N - 1 after it are built, not sent
//   stall MS      packets due before the event's packet's time + MS are
//                 built, not sent; the schedule is not moved
//   duplicate N   the next packet sent goes out N + 1 times
//   corrupt       bit 0 of one sample of the next packet sent is flipped:
//                 the first parameter sample, else (no parameter sample in
//                 the packet) the Custom day word or the last NEP time entry
//   truncate B    the first B bytes of the next packet sent go out, then the
//                 transfer ends (the connection is closed)
//   disconnect    the transfer ends before the packet is built
//   timejump S    S seconds (rounded to the 100 us of a time sample; the time
//                 stops at 0 rather than wrapping) are added to the Custom
//                 time tick or the NEP time before the packet is built
// Withheld packets do not take a pending duplicate, corruption or
// truncation: those wait for the next packet that is sent.
//
// Each event prints "- Fault at %.3f s (data %s): %s\n" (its packet's
// scheduled time, the data time of that packet's first time sample, the
// event as written) and is passed to the listener, if one is set.
//
// Thread safety: main thread only, like the streaming loop.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "driver/CycleStats.h"
#include "driver/PacketSink.h"
#include "driver/RunSettings.h"
#include "io/FaultScript.h"
#include "net/utServerSocket.h"
#include "packet/PacketState.h"
#include "platform/TextOut.h"

namespace driver {

// The script given with /FaultScript, loaded before the first connection;
// empty without the option.
io::FaultScript& ActiveFaultScript();

class FaultInjector {
 public:
  // Hears each event as it fires: the event, its packet's scheduled time in
  // seconds from the start of the transfer, and the data time text.
  using Listener =
      std::function<void(const io::FaultEvent&, double seconds, const std::string& dataTime)>;

  FaultInjector(const io::FaultScript& script, const RunSettings& settings,
                packet::PacketState& state, platform::TextOut& out);
  FaultInjector(const FaultInjector&) = delete;
  FaultInjector& operator=(const FaultInjector&) = delete;

  void SetListener(Listener listener) { listener_ = std::move(listener); }

  // Fires the events due at the next packet. False when the transfer ends
  // here (a disconnect); the packet is then not built.
  bool BeforeBuild();
  // The packet as built, `length` bytes in `packet`.
  void AfterBuild(uint8_t* packet, int32_t length);
  // Sends the packet as the faults say. False when the transfer ends: the
  // send failed, or a truncation closed the connection.
  bool Send(PacketSink& connection, const uint8_t* packet, int32_t length,
            const net::utServerSocket::GiveUpCheck& giveUp);
  // True when the packet just handled was built but not sent (drop, stall).
  bool withheld() const { return withheld_; }
  // True when a fault, not the YEB, ended the transfer.
  bool endedTransfer() const { return ended_; }
  // The script's line that ended it, as written ("2.5 disconnect"), when one did.
  const std::string& endingFault() const { return endingFault_; }

 private:
  void Fire(const io::FaultEvent& event);
  void JumpDataTime(double seconds);
  std::string DataTimeOfNextPacket() const;
  int32_t CorruptOffset(const uint8_t* packet, int32_t length) const;

  io::FaultTimeline timeline_;
  const bool idle_;  // no events: every call returns at once
  const RunSettings& settings_;
  packet::PacketState& state_;
  platform::TextOut& out_;
  Listener listener_;
  const int64_t periodNs_;

  // The ideal schedule of this transfer.
  bool first_ = true;
  bool cycleEnded_ = false;  // the last packet built closed its cycle
  int64_t cycleStartNs_ = 0;
  int64_t dueNs_ = 0;  // of the packet being handled

  int64_t dropLeft_ = 0;
  int64_t stallUntilNs_ = -1;
  int64_t copiesPending_ = 0;
  bool corruptPending_ = false;
  int64_t truncateBytes_ = -1;  // -1: no truncation pending
  bool withheld_ = false;       // the packet being handled is not sent
  bool ended_ = false;
  std::string truncateText_;  // the truncation pending, as written
  std::string endingFault_;
};

// {"event":"fault","t":...,"connection":...,"data_time":...,"line":...,
// "fault":"the event as written"} in the statistics file, if there is one.
void WriteFaultEvent(const StatsTarget& target, const io::FaultEvent& event, double seconds,
                     const std::string& dataTime);

}  // namespace driver
