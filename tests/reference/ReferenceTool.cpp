#include "reference/ReferenceTool.h"

#include <cstdio>
#include <cstring>

namespace yebverify_test {

void PutLe16(std::vector<uint8_t>& b, size_t at, uint16_t v) {
  b[at] = static_cast<uint8_t>(v);
  b[at + 1] = static_cast<uint8_t>(v >> 8);
}

void PutLe32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

uint32_t GetLe32(const std::vector<uint8_t>& b, size_t at) {
  return static_cast<uint32_t>(b[at]) | static_cast<uint32_t>(b[at + 1]) << 8 |
         static_cast<uint32_t>(b[at + 2]) << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

void PutFloat(std::vector<uint8_t>& b, size_t at, float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, 4);
  PutLe32(b, at, bits);
}

ReferenceTool::ReferenceTool(const ReferenceConfig& config) : config_(config) {
  timeValuesPerPacket_ = 10000 / config_.packetRate;
  if (config_.nep) {
    packetBufferSize_ = 4 + 12 * timeValuesPerPacket_;
  } else {
    packetBufferSize_ = 32 + 12 + 6 * timeValuesPerPacket_;
  }
  uint16_t nextTag = static_cast<uint16_t>(config_.tagOffset + 3);
  int32_t nextNepTag = config_.tagOffset + 2;
  for (double rate : config_.rates) {
    Record r{};
    r.sampleRate = rate;
    int slots;
    if (config_.packetRate <= rate) {
      r.valuesPerPacket = static_cast<int32_t>(rate / config_.packetRate);
      slots = r.valuesPerPacket;
    } else {
      r.packetsPerSample = static_cast<int32_t>(config_.packetRate / rate);
      slots = 1;
    }
    packetBufferSize_ += (config_.nep ? 8 : 6) * slots;
    if (config_.nep) {
      r.nepTag = nextNepTag++;
    } else {
      r.tag = nextTag++;
    }
    records_.push_back(r);
  }
}

std::string ReferenceTool::ListText() const {
  std::string text;
  char line[512];
  if (!config_.nep) {
    std::snprintf(line, sizeof line, "%u TIME$_DAY %f 1\r\n",
                  static_cast<uint16_t>(config_.tagOffset + 1), 100.0);
    text += line;
    std::snprintf(line, sizeof line, "%u TIME$_MILLISEC %f 1\r\n",
                  static_cast<uint16_t>(config_.tagOffset + 2), 10000.0);
    text += line;
    for (size_t i = 0; i < records_.size(); ++i) {
      std::snprintf(line, sizeof line, "%u S01_Parm%d %f 2\r\n", records_[i].tag,
                    config_.tagOffset + static_cast<int>(i) + 1, records_[i].sampleRate);
      text += line;
    }
    return text;
  }
  text += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n";
  text += "<FullList xmlns:NEPpa=\"http://example.org/NEPpa\" xsi:type=\"NEPpa:FullList\">\r\n";
  text += "<parameter-attributes xsi:type=\"NEPpa:Full\">\r\n";
  text += " <parameter xsi:type=\"xsd:string\"><![CDATA[ZARN_TIME]]></parameter>\r\n";
  text += " <parameter-type>4</parameter-type>\r\n";
  text += " <stream xsi:type=\"xsd:string\"><![CDATA[time]]></stream>\r\n";
  text += " <sps>10000</sps>\r\n";
  text += " <units-of-measure xsi:type=\"xsd:string\"><![CDATA[Seconds]]></units-of-measure>\r\n";
  text += " <tag-number>1</tag-number>\r\n";
  text += "</parameter-attributes>\r\n";
  for (size_t i = 0; i < records_.size(); ++i) {
    text += "<parameter-attributes xsi:type=\"NEPpa:Full\">\r\n";
    std::snprintf(line, sizeof line,
                  " <parameter xsi:type=\"xsd:string\"><![CDATA[Parm%zu]]></parameter>\r\n", i + 1);
    text += line;
    text += " <stream xsi:type=\"xsd:string\"><![CDATA[PSO_TM1]]></stream>\r\n";
    text += " <parameter-type>2</parameter-type>\r\n";
    std::snprintf(line, sizeof line, " <sps>%f</sps>\r\n", records_[i].sampleRate);
    text += line;
    std::snprintf(line, sizeof line, " <tag-number>%d</tag-number>\r\n", records_[i].nepTag);
    text += line;
    text += " <parameter-class xsi:type=\"xsd:string\"><![CDATA[62]]></parameter-class>\r\n";
    text += "</parameter-attributes>\r\n";
  }
  text += "</FullList>\r\n";
  return text;
}

float ReferenceTool::TakeSample(Record& r, bool twice) {
  const float sent = r.value;
  const double limit = r.valuesPerPacket > 0 ? r.sampleRate : 1000.0;
  float stepped = r.value + 1.0f;
  if (twice) stepped = stepped + 1.0f;
  r.value = (stepped > limit || stepped == r.value) ? 0.0f : stepped;
  return sent;
}

bool ReferenceTool::Sampled(Record& r) {
  if (config_.superStress) return r.packetsPerSample >= packetCounter_;
  bool sample = false;
  if (r.packetCountdown == 0) {
    sample = true;
    r.packetCountdown = r.packetsPerSample;
  }
  --r.packetCountdown;
  return sample;
}

std::vector<uint8_t> ReferenceTool::BuildCustom() {
  std::vector<uint8_t> b(static_cast<size_t>(packetBufferSize_), 0);
  ++sequence_;
  PutLe32(b, 0, static_cast<uint32_t>(packetBufferSize_ - 4));
  PutLe32(b, 4, sequence_);
  PutLe32(b, 8, sequence_);
  const uint16_t dayTag = static_cast<uint16_t>(config_.tagOffset + 1);
  const uint16_t msTag = static_cast<uint16_t>(config_.tagOffset + 2);
  PutLe16(b, 32, dayTag);
  PutLe16(b, 34, dayTag);
  PutLe32(b, 36, 1);
  PutLe32(b, 40, 1);
  size_t at = 44;
  for (int i = 0; i < timeValuesPerPacket_ / 2; ++i, at += 12) {
    PutLe16(b, at, msTag);
    PutLe16(b, at + 2, msTag);
    PutLe32(b, at + 4, timeTick_);
    PutLe32(b, at + 8, timeTick_ + 1);
    timeTick_ += 2;
  }
  uint16_t pendingTag = 0;
  float pendingValue = 0.0f;
  auto emit = [&](uint16_t tag, float value) {
    if (pendingTag == 0) {
      pendingTag = tag;
      pendingValue = value;
      return;
    }
    PutLe16(b, at, pendingTag);
    PutLe16(b, at + 2, tag);
    PutFloat(b, at + 4, pendingValue);
    PutFloat(b, at + 8, value);
    at += 12;
    pendingTag = 0;
  };
  for (Record& r : records_) {
    if (r.valuesPerPacket > 0) {
      for (int i = 0; i < r.valuesPerPacket; ++i) emit(r.tag, TakeSample(r, false));
    } else if (Sampled(r)) {
      emit(r.tag, TakeSample(r, false));
    }
  }
  if (++packetCounter_ > config_.packetRate) packetCounter_ = 1;
  return b;
}

std::vector<uint8_t> ReferenceTool::BuildNep() {
  std::vector<uint8_t> b(static_cast<size_t>(packetBufferSize_), 0);
  size_t at = 4;
  for (int i = 0; i < timeValuesPerPacket_; ++i, at += 12) {
    nepTime_ += 100000;
    PutLe32(b, at, 0x80000001u);
    PutLe32(b, at + 4, static_cast<uint32_t>(nepTime_));
    PutLe32(b, at + 8, static_cast<uint32_t>(nepTime_ >> 32));
  }
  auto emit = [&](int32_t tag, float value) {
    PutLe32(b, at, static_cast<uint32_t>(tag));
    PutFloat(b, at + 4, value);
    at += 8;
  };
  for (Record& r : records_) {
    if (r.valuesPerPacket > 0) {
      for (int i = 0; i < r.valuesPerPacket; ++i) emit(r.nepTag, TakeSample(r, false));
    } else if (Sampled(r)) {
      emit(r.nepTag, TakeSample(r, config_.superStress));
    }
  }
  if (++packetCounter_ > config_.packetRate) packetCounter_ = 1;
  b.resize(at);
  PutLe32(b, 0, static_cast<uint32_t>(at - 4));
  return b;
}

std::vector<uint8_t> ReferenceTool::NextPacket() {
  return config_.nep ? BuildNep() : BuildCustom();
}

}  // namespace yebverify_test
