// A slow, obviously correct model of the packet rules, for checking the
// builders: every sample is taken one at a time into a list, and the list is
// then laid out byte by byte.
#pragma once

#include <cstdint>
#include <vector>

#include "packet/PacketFormat.h"
#include "packet/PacketState.h"
#include "packet/ParmTable.h"
#include "packet/SignalRules.h"

namespace packettest {

struct ModelRecord {
  double sampleRate = 0.0;
  int32_t valuesPerPacket = 0;
  int32_t packetCountdown = 0;
  int32_t packetsPerSample = 0;
  uint16_t tag = 0;
  int32_t nepTag = 0;
  float value = 0.0f;
  // A signal in place of the counter (not owned), the record's table
  // position from 1 and its next sample number.
  const packet::SignalRule* signal = nullptr;
  uint64_t position = 0;
  uint64_t n = 0;
};

struct ModelState {
  int32_t timeValuesPerPacket = 0;
  int32_t packetBufferSize = 0;
  uint32_t sequence = 0;
  int32_t packetCounter = 1;
  uint32_t timeTick = 0;
  uint64_t nepTime = 0;
};

// Classifies a record of `rate` at `packetRate` as the reader does.
ModelRecord MakeModelRecord(double rate, int32_t packetRate);

// Size of the buffer by the size rule.
int32_t ModelBufferSize(const packet::PacketFormat& format,
                        const std::vector<ModelRecord>& records);

std::vector<uint8_t> ModelCustomPacket(const packet::PacketFormat& format,
                                       std::vector<ModelRecord>& records, ModelState& state);
std::vector<uint8_t> ModelNepPacket(const packet::PacketFormat& format,
                                    std::vector<ModelRecord>& records, ModelState& state);

// Copies the model's records into a real table.
void LoadTable(const std::vector<ModelRecord>& records, packet::ParmTable& table);

}  // namespace packettest
