// Fakes of the platform services the run sequence and the streaming loop
// use, shared by the driver tests.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "platform/Clock.h"
#include "platform/Console.h"
#include "platform/Socket.h"

namespace drivertest {

// A clock that moves only when slept on: every sleep ends exactly at its
// deadline, and every reading costs `tickNs`. After each reading it also
// moves on by what `afterRead` returns, which lets a test stall one step.
class FakeClock final : public platform::Clock {
 public:
  explicit FakeClock(int64_t tickNs = 0) : tickNs_(tickNs) {}
  int64_t NowNs() override {
    const int64_t reading = now_ += tickNs_;
    if (afterRead) now_ += afterRead();
    return reading;
  }
  void SleepUntilNs(int64_t deadlineNs) override {
    if (deadlineNs > now_) now_ = deadlineNs;
  }
  int64_t now() const { return now_; }
  std::function<int64_t()> afterRead;

 private:
  int64_t now_ = 1'000'000'000;
  int64_t tickNs_;
};

// A key press that arrives when the fake clock reaches a set time; reads
// answer 'k' (or end of input when no press is due) and consume it.
class ClockKeys final : public platform::KeySource {
 public:
  explicit ClockKeys(FakeClock& clock) : clock_(clock) {}
  bool KeyPending() override { return pressAtNs_ > 0 && clock_.now() >= pressAtNs_; }
  int ReadKey() override {
    ++reads;
    if (!KeyPending()) return platform::kEndOfInput;
    pressAtNs_ = 0;
    return 'k';
  }
  // Presses a key `afterNs` of fake time from now.
  void PressAfter(int64_t afterNs) { pressAtNs_ = clock_.now() + afterNs; }
  int reads = 0;

 private:
  FakeClock& clock_;
  int64_t pressAtNs_ = 0;
};

// A key press that arrives after a stretch of real time.
class WallClockKeys final : public platform::KeySource {
 public:
  explicit WallClockKeys(int afterMs);
  bool KeyPending() override;
  int ReadKey() override;
  int reads = 0;

 private:
  int64_t pressAtNs_;
  bool consumed_ = false;
};

// Reads everything a stream delivers until it closes or `limitMs` pass.
std::vector<uint8_t> ReadUntilClosed(platform::TcpStream& stream, int limitMs);

// A playback record of `size` bytes (at least 32) with time stamp `stamp`;
// every other byte comes from `seed`, so records differ everywhere.
std::string PlaybackRecord(uint32_t size, int32_t stamp, uint8_t seed);
// The four little-endian bytes of `v`.
std::string LittleEndianWord(uint32_t v);

// The members of a one-level JSON object in their order, each value as its
// JSON text (a string unquoted and unescaped); empty when `line` is no such
// object.
std::vector<std::pair<std::string, std::string>> ParseFlatJson(const std::string& line);

uint32_t U32At(const std::vector<uint8_t>& bytes, size_t at);
float FloatAt(const std::vector<uint8_t>& bytes, size_t at);

}  // namespace drivertest
