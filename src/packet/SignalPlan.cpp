#include "packet/SignalPlan.h"

#include <cmath>
#include <map>
#include <utility>

namespace packet {

bool NameMatches(std::string_view pattern, std::string_view name) {
  // Greedy with one step back to the last '*': linear for the patterns
  // people write, and never recursive.
  size_t p = 0, n = 0;
  size_t starP = std::string_view::npos, starN = 0;
  while (n < name.size()) {
    if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == name[n])) {
      ++p;
      ++n;
    } else if (p < pattern.size() && pattern[p] == '*') {
      starP = p++;
      starN = n;
    } else if (starP != std::string_view::npos) {
      p = starP + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

bool SelectorMatches(const SignalSelector& selector, std::string_view name, double rate,
                     int64_t position) {
  switch (selector.kind) {
    case SelectorKind::kAll:
      return true;
    case SelectorKind::kName:
      return NameMatches(selector.name, name);
    case SelectorKind::kRate:
      // The lists write rates with six decimals; the tool holds them whole.
      return std::fabs(selector.rate - rate) <= 5e-7 + 1e-12 * selector.rate;
    case SelectorKind::kPositions:
      return position >= selector.first && position <= selector.last;
  }
  return false;
}

SignalPlan::SignalPlan(const SignalsFile& file, const std::vector<std::string>& names,
                       const std::vector<double>& rates) {
  const size_t count = names.size();
  std::vector<int32_t> ruleOf(count, -1);
  std::vector<bool> used(file.rules.size(), false);
  for (size_t r = 0; r < file.rules.size(); ++r) {
    const SignalSelector& selector = file.rules[r].selector;
    for (size_t i = 0; i < count; ++i) {
      if (SelectorMatches(selector, names[i], rates[i], static_cast<int64_t>(i) + 1)) {
        ruleOf[i] = static_cast<int32_t>(r);
        used[r] = true;
      }
    }
  }
  for (size_t r = 0; r < used.size(); ++r) {
    if (!used[r]) unusedRules_.push_back(file.rules[r].line);
  }
  sourceOf_.assign(count, kCounter);
  std::map<std::pair<int32_t, double>, int32_t> made;
  for (size_t i = 0; i < count; ++i) {
    if (ruleOf[i] < 0) continue;
    const SignalRule& rule = file.rules[static_cast<size_t>(ruleOf[i])];
    if (rule.pattern == SignalPattern::kCounter) continue;
    auto [at, fresh] =
        made.try_emplace({ruleOf[i], rates[i]}, static_cast<int32_t>(sources_.size()));
    if (fresh) sources_.push_back(std::make_unique<SignalSource>(rule, rates[i]));
    sourceOf_[i] = at->second;
    ++signalled_;
  }
}

}  // namespace packet
