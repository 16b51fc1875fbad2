// A plain, slow model of the stress tool's stream for the verifier's tests:
// the parameter table, both packet builders and both parameter lists,
// written straight from the packet rules with no shortcuts, so the checker
// can be tried on streams it did not produce itself. Faults are injected by
// editing the bytes it returns.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace yebverify_test {

struct ReferenceConfig {
  bool nep = false;
  int packetRate = 50;
  bool superStress = false;
  int32_t tagOffset = 0;
  std::vector<double> rates;  // one parameter per entry, in table order
};

class ReferenceTool {
 public:
  explicit ReferenceTool(const ReferenceConfig& config);

  // The list the tool writes: the PRN list or the NEP XML list (CR LF).
  std::string ListText() const;
  std::vector<uint8_t> Greeting() const { return {0x01, 0, 0, 0, 0}; }
  // Starts a transfer: the Custom time tick starts again at `startTick`.
  void BeginTransfer(uint32_t startTick = 0) { timeTick_ = startTick; }
  std::vector<uint8_t> NextPacket();
  // The tick of the next time sample (the tool's timeTick).
  uint32_t& timeTick() { return timeTick_; }
  // The sequence number of the last packet built.
  uint32_t& sequence() { return sequence_; }

 private:
  struct Record {
    double sampleRate;
    int32_t valuesPerPacket;
    int32_t packetCountdown;
    int32_t packetsPerSample;
    uint16_t tag;
    int32_t nepTag;
    float value;
  };
  float TakeSample(Record& r, bool twice);
  std::vector<uint8_t> BuildCustom();
  std::vector<uint8_t> BuildNep();
  bool Sampled(Record& r);  // decides one slow record's sample for this packet

  ReferenceConfig config_;
  std::vector<Record> records_;
  int timeValuesPerPacket_;
  int32_t packetBufferSize_;
  uint32_t sequence_ = 0;
  int32_t packetCounter_ = 1;
  uint32_t timeTick_ = 0;
  uint64_t nepTime_ = 0;
};

// Little-endian field writes for editing packets in tests.
void PutLe16(std::vector<uint8_t>& bytes, size_t at, uint16_t value);
void PutLe32(std::vector<uint8_t>& bytes, size_t at, uint32_t value);
uint32_t GetLe32(const std::vector<uint8_t>& bytes, size_t at);
void PutFloat(std::vector<uint8_t>& bytes, size_t at, float value);

}  // namespace yebverify_test
