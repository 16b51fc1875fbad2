#include "packet/ValueCsv.h"

#include <bit>
#include <charconv>
#include <cmath>

namespace packet {
namespace {

void AppendText(std::string& out, std::string_view text) {
  if (text.find_first_of(",\"\r\n") == std::string_view::npos) {
    out += text;
    return;
  }
  out += '"';
  for (char c : text) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
}

template <typename T>
void AppendNumber(std::string& out, T value) {
  char text[64];
  const auto result = std::to_chars(text, text + sizeof text, value);
  out.append(text, result.ptr);
}

}  // namespace

void AppendValueCsvLine(std::string& out, const ValueCsvSample& s) {
  AppendText(out, s.run);
  out += ',';
  AppendNumber(out, s.connection);
  out += ',';
  AppendNumber(out, s.sequence);
  out += ',';
  AppendNumber(out, static_cast<double>(s.packetTimeNs) / 1e9 + static_cast<double>(s.j) / s.rate);
  out += ',';
  AppendText(out, s.parameter);
  out += ',';
  AppendNumber(out, s.tag);
  out += ',';
  AppendNumber(out, s.sample);
  out += ',';
  const float value = std::bit_cast<float>(s.valueBits);
  if (std::isnan(value)) {
    out += "nan";
  } else if (std::isinf(value)) {
    out += value > 0 ? "inf" : "-inf";
  } else {
    AppendNumber(out, value);
  }
  out += '\n';
}

}  // namespace packet
