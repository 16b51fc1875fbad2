// GCC 12 warns, wrongly, of uninitialized members inside std::regex's
// automaton when sanitizers are on; the warning sits in library headers,
// so it is turned off before any of them is read.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

#include "driver_fakes_support.h"

#include <chrono>
#include <cstring>
#include <nlohmann/json.hpp>

namespace drivertest {

std::vector<uint8_t> ReadUntilClosed(platform::TcpStream& stream, int limitMs) {
  std::vector<uint8_t> bytes;
  std::vector<uint8_t> chunk(1 << 16);
  const auto limit = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
  while (std::chrono::steady_clock::now() < limit) {
    platform::ReceiveResult r = stream.Receive(chunk.data(), chunk.size(), 100);
    if (r.status == platform::ReceiveStatus::kData) {
      bytes.insert(bytes.end(), chunk.begin(),
                   chunk.begin() + static_cast<std::ptrdiff_t>(r.bytes));
    } else if (r.status != platform::ReceiveStatus::kTimeout) {
      break;
    }
  }
  return bytes;
}

WallClockKeys::WallClockKeys(int afterMs)
    : pressAtNs_(platform::CounterNow() + int64_t{afterMs} * 1000000) {}

bool WallClockKeys::KeyPending() { return !consumed_ && platform::CounterNow() >= pressAtNs_; }

int WallClockKeys::ReadKey() {
  ++reads;
  if (!KeyPending()) return platform::kEndOfInput;
  consumed_ = true;
  return 'k';
}

std::string LittleEndianWord(uint32_t v) {
  return {static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16),
          static_cast<char>(v >> 24)};
}

std::string PlaybackRecord(uint32_t size, int32_t stamp, uint8_t seed) {
  std::string r = LittleEndianWord(size - 4);
  for (uint32_t w = 1; w < 8; ++w) {
    r += LittleEndianWord(w == 6 ? static_cast<uint32_t>(stamp) : seed * 1000u + w);
  }
  for (uint32_t i = 32; i < size; ++i) r += static_cast<char>(seed + i * 7);
  return r;
}

std::vector<std::pair<std::string, std::string>> ParseFlatJson(const std::string& line) {
  std::vector<std::pair<std::string, std::string>> members;
  const nlohmann::ordered_json object = nlohmann::ordered_json::parse(line, nullptr, false);
  if (!object.is_object()) return members;
  for (const auto& [name, value] : object.items()) {
    if (value.is_object() || value.is_array()) return {};  // events are flat
    members.emplace_back(name, value.is_string() ? value.get<std::string>() : value.dump());
  }
  return members;
}

uint32_t U32At(const std::vector<uint8_t>& b, size_t at) {
  return uint32_t{b[at]} | uint32_t{b[at + 1]} << 8 | uint32_t{b[at + 2]} << 16 |
         uint32_t{b[at + 3]} << 24;
}

float FloatAt(const std::vector<uint8_t>& bytes, size_t at) {
  uint32_t v = U32At(bytes, at);
  float f;
  std::memcpy(&f, &v, 4);
  return f;
}

}  // namespace drivertest
