#include "driver_fakes_support.h"

#include <cctype>
#include <chrono>
#include <cstring>

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

namespace {

void SkipBlanks(const std::string& text, size_t& at) {
  while (at < text.size() && (text[at] == ' ' || text[at] == '\t')) ++at;
}

// A JSON string at `at` (the opening quote), unescaped into `out`.
bool ReadJsonString(const std::string& text, size_t& at, std::string& out) {
  if (at >= text.size() || text[at] != '"') return false;
  out.clear();
  for (++at; at < text.size(); ++at) {
    const char c = text[at];
    if (c == '"') {
      ++at;
      return true;
    }
    if (static_cast<unsigned char>(c) < 0x20) return false;
    if (c == '\\') {
      if (++at >= text.size() || std::strchr("\"\\/bfnrtu", text[at]) == nullptr) return false;
      if (text[at] == 'u') {
        if (at + 4 >= text.size()) return false;
        out += static_cast<char>(std::stoi(text.substr(at + 1, 4), nullptr, 16));
        at += 4;
        continue;
      }
    }
    out += text[at];
  }
  return false;
}

bool ReadJsonScalar(const std::string& text, size_t& at, std::string& out) {
  if (at < text.size() && text[at] == '"') return ReadJsonString(text, at, out);
  const size_t from = at;
  while (at < text.size() && std::strchr(",} \t", text[at]) == nullptr) ++at;
  out = text.substr(from, at - from);
  if (out == "null" || out == "true" || out == "false") return true;
  // -?digits[.digits]
  size_t i = out.starts_with('-') ? 1 : 0;
  const size_t digits = i;
  while (i < out.size() && std::isdigit(static_cast<unsigned char>(out[i]))) ++i;
  if (i == digits) return false;
  if (i < out.size() && out[i] == '.') {
    const size_t fraction = ++i;
    while (i < out.size() && std::isdigit(static_cast<unsigned char>(out[i]))) ++i;
    if (i == fraction) return false;
  }
  return i == out.size();
}

bool WalkFlatJson(const std::string& line,
                  const std::function<void(const std::string&, const std::string&)>& member) {
  size_t at = 0;
  SkipBlanks(line, at);
  if (at >= line.size() || line[at++] != '{') return false;
  for (bool first = true;; first = false) {
    SkipBlanks(line, at);
    if (first && at < line.size() && line[at] == '}') break;
    std::string key, value;
    if (!ReadJsonString(line, at, key)) return false;
    SkipBlanks(line, at);
    if (at >= line.size() || line[at++] != ':') return false;
    SkipBlanks(line, at);
    if (!ReadJsonScalar(line, at, value)) return false;
    member(key, value);
    SkipBlanks(line, at);
    if (at < line.size() && line[at] == ',') {
      ++at;
      continue;
    }
    if (at < line.size() && line[at] == '}') break;
    return false;
  }
  ++at;
  SkipBlanks(line, at);
  return at == line.size();
}

}  // namespace

bool ParseFlatJson(const std::string& line, std::map<std::string, std::string>& members) {
  members.clear();
  bool unique = true;
  const bool ok = WalkFlatJson(line, [&](const std::string& key, const std::string& value) {
    unique = members.emplace(key, value).second && unique;
  });
  return ok && unique;
}

std::vector<std::string> JsonKeys(const std::string& line) {
  std::vector<std::string> keys;
  WalkFlatJson(line, [&](const std::string& key, const std::string&) { keys.push_back(key); });
  return keys;
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
