#include "driver/Reasons.h"

#include <string_view>

namespace driver {
namespace {

void PrintIndented(platform::TextOut& out, std::string_view text) {
  while (!text.empty()) {
    const size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (!line.empty()) out.Write("  " + std::string(line) + "\n");
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
}

}  // namespace

void PrintReason(platform::TextOut& out, const platform::Status& reason) {
  if (!reason.ok()) PrintIndented(out, reason.message());
}

void PrintDiagnostics(platform::TextOut& out, const std::vector<std::string>& messages) {
  for (const std::string& message : messages) PrintIndented(out, message);
}

}  // namespace driver
