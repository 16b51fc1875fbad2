#include "Diagnostics.h"

#include <unordered_map>

namespace configsql {

bool IsNoise(std::string_view message) {
  return (message.find(" took ") != std::string_view::npos &&
          message.find(" seconds") != std::string_view::npos) ||
         message.find("Opto alert") != std::string_view::npos;
}

std::vector<std::string> Summarise(const std::vector<std::string>& messages, bool verbose) {
  std::vector<std::string> shown;
  std::vector<size_t> counts;
  std::unordered_map<std::string_view, size_t> seen;
  for (const std::string& message : messages) {
    if (!verbose && IsNoise(message)) continue;
    std::string_view text = message;
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.remove_suffix(1);
    auto [it, added] = seen.emplace(text, shown.size());
    if (added) {
      shown.emplace_back(text);
      counts.push_back(1);
    } else {
      ++counts[it->second];
    }
  }
  for (size_t i = 0; i < shown.size(); ++i) {
    if (counts[i] > 1) shown[i] += " (" + std::to_string(counts[i]) + " times)";
  }
  return shown;
}

void Show(std::FILE* out, const std::vector<std::string>& messages, bool verbose,
          const char* indent) {
  for (const std::string& line : Summarise(messages, verbose)) {
    std::fprintf(out, "%s%s\n", indent, line.c_str());
  }
  std::fflush(out);
}

}  // namespace configsql
