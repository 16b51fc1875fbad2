#include "reference/PacketReference.h"

#include <cstring>
#include <utility>

#include "packet/SignalValues.h"

namespace packettest {
namespace {

void Put32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void Put16(std::vector<uint8_t>& out, uint16_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}
void PutFloat(std::vector<uint8_t>& out, float f) {
  uint32_t v;
  std::memcpy(&v, &f, 4);
  Put32(out, v);
}

float Step(ModelRecord& r, int addCount) {
  // A signal takes one sample per sample, straight from the formula.
  if (r.signal != nullptr) return packet::SignalValue(*r.signal, r.sampleRate, r.position, r.n++);
  float sent = r.value;
  double limit = r.packetsPerSample == 0 ? r.sampleRate : 1000.0;
  float v = r.value;
  for (int i = 0; i < addCount; ++i) {
    float next = v + 1.0f;
    if (next == v) {  // no longer moves: wrap
      v = 0.0f;
      r.value = v;
      return sent;
    }
    v = next;
  }
  r.value = v > limit ? 0.0f : v;
  return sent;
}

// Samples of one packet, in order, as (record index, value).
std::vector<std::pair<size_t, float>> TakeSamples(const packet::PacketFormat& format,
                                                  std::vector<ModelRecord>& records,
                                                  int32_t counter, bool nep) {
  std::vector<std::pair<size_t, float>> samples;
  for (size_t i = 0; i < records.size(); ++i) {
    ModelRecord& r = records[i];
    if (r.packetsPerSample == 0) {
      for (int32_t k = 0; k < r.valuesPerPacket; ++k) samples.emplace_back(i, Step(r, 1));
    } else if (format.superStress) {
      if (r.packetsPerSample >= counter) samples.emplace_back(i, Step(r, nep ? 2 : 1));
    } else {
      if (r.packetCountdown == 0) {
        samples.emplace_back(i, Step(r, 1));
        r.packetCountdown = r.packetsPerSample;
      }
      r.packetCountdown -= 1;
    }
  }
  return samples;
}

}  // namespace

ModelRecord MakeModelRecord(double rate, int32_t packetRate) {
  ModelRecord r;
  r.sampleRate = rate;
  if (rate >= packetRate) {
    r.valuesPerPacket = static_cast<int32_t>(rate / packetRate);
  } else {
    r.packetsPerSample = static_cast<int32_t>(packetRate / rate);
  }
  return r;
}

int32_t ModelBufferSize(const packet::PacketFormat& format,
                        const std::vector<ModelRecord>& records) {
  const int32_t tvpp = 10000 / format.packetRate;
  const bool nep = format.sourceType == packet::kSourceNep;
  int32_t size = nep ? 4 + 12 * tvpp : 44 + 6 * tvpp;
  for (const ModelRecord& r : records) {
    int32_t slots = r.packetsPerSample == 0 ? r.valuesPerPacket : 1;
    size += (nep ? 8 : 6) * slots;
  }
  return size;
}

std::vector<uint8_t> ModelCustomPacket(const packet::PacketFormat& format,
                                       std::vector<ModelRecord>& records, ModelState& state) {
  std::vector<uint8_t> out;
  state.sequence += 1;
  Put32(out, static_cast<uint32_t>(state.packetBufferSize - 4));
  Put32(out, state.sequence);
  Put32(out, state.sequence);
  for (int i = 0; i < 5; ++i) Put32(out, 0);
  const uint16_t dayTag = static_cast<uint16_t>(format.tagOffset + 1);
  const uint16_t timeTag = static_cast<uint16_t>(format.tagOffset + 2);
  Put16(out, dayTag);
  Put16(out, dayTag);
  Put32(out, 1);
  Put32(out, 1);
  for (int32_t i = 0; i < state.timeValuesPerPacket / 2; ++i) {
    Put16(out, timeTag);
    Put16(out, timeTag);
    Put32(out, state.timeTick);
    Put32(out, state.timeTick + 1);
    state.timeTick += 2;
  }
  bool pending = false;
  uint16_t pendingTag = 0;
  float pendingValue = 0;
  for (auto [index, value] : TakeSamples(format, records, state.packetCounter, false)) {
    const uint16_t tag = records[index].tag;
    if (!pending) {
      pendingTag = tag;
      pendingValue = value;
      pending = tag != 0;  // a half tagged 0 counts as empty
      continue;
    }
    Put16(out, pendingTag);
    Put16(out, tag);
    PutFloat(out, pendingValue);
    PutFloat(out, value);
    pending = false;
  }
  out.resize(static_cast<size_t>(state.packetBufferSize), 0);
  state.packetCounter += 1;
  if (state.packetCounter > format.packetRate) state.packetCounter = 1;
  return out;
}

std::vector<uint8_t> ModelNepPacket(const packet::PacketFormat& format,
                                    std::vector<ModelRecord>& records, ModelState& state) {
  std::vector<uint8_t> out;
  Put32(out, 0);  // patched below
  for (int32_t i = 0; i < state.timeValuesPerPacket; ++i) {
    state.nepTime += 100000;
    Put32(out, 0x80000001u);
    Put32(out, static_cast<uint32_t>(state.nepTime));
    Put32(out, static_cast<uint32_t>(state.nepTime >> 32));
  }
  for (auto [index, value] : TakeSamples(format, records, state.packetCounter, true)) {
    Put32(out, static_cast<uint32_t>(records[index].nepTag));
    PutFloat(out, value);
  }
  const uint32_t follows = static_cast<uint32_t>(out.size() - 4);
  for (int i = 0; i < 4; ++i)
    out[static_cast<size_t>(i)] = static_cast<uint8_t>(follows >> (8 * i));
  state.packetCounter += 1;
  if (state.packetCounter > format.packetRate) state.packetCounter = 1;
  return out;
}

void LoadTable(const std::vector<ModelRecord>& records, packet::ParmTable& table) {
  table.parmCount = static_cast<int32_t>(records.size());
  for (size_t i = 0; i < records.size(); ++i) {
    const ModelRecord& m = records[i];
    packet::ParmRecord& r = table.records[i];
    r.sampleRate = m.sampleRate;
    r.valuesPerPacket = m.valuesPerPacket;
    r.packetCountdown = m.packetCountdown;
    r.packetsPerSample = m.packetsPerSample;
    r.tag = m.tag;
    r.nepTag = m.nepTag;
    r.value = m.value;
  }
}

}  // namespace packettest
