#include "packet/SignalPlan.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <unordered_map>
#include <utility>

namespace packet {

namespace {

bool SameWithQuestionMarks(std::string_view pattern, std::string_view text) {
  for (size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] != '?' && pattern[i] != text[i]) return false;
  }
  return true;
}

}  // namespace

bool NameMatches(std::string_view pattern, std::string_view name) {
  // The fixed ends first: most names a pattern does not select differ there,
  // and a file of many wildcard rules over a large table is mostly such
  // rejections.
  const size_t firstStar = pattern.find('*');
  if (firstStar == std::string_view::npos) {
    return pattern.size() == name.size() && SameWithQuestionMarks(pattern, name);
  }
  const std::string_view head = pattern.substr(0, firstStar);
  const std::string_view tail = pattern.substr(pattern.rfind('*') + 1);
  if (name.size() < head.size() + tail.size() || !SameWithQuestionMarks(head, name) ||
      !SameWithQuestionMarks(tail, name.substr(name.size() - tail.size()))) {
    return false;
  }
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

namespace {

// The parameters no later rule has decided yet, walked in table order. The
// rules are resolved from the last to the first, so the first rule to reach
// a parameter is the one that decides it, and each parameter leaves this
// set once: a file of many rules over a large table stays linear in both
// for every selector but names with wildcards.
class Undecided {
 public:
  explicit Undecided(size_t count) : next_(count + 1) {
    for (size_t i = 0; i <= count; ++i) next_[i] = i;
  }
  // The first undecided parameter at or after `i` (the count when none).
  size_t From(size_t i) {
    size_t root = i;
    while (next_[root] != root) root = next_[root];
    while (next_[i] != root) i = std::exchange(next_[i], root);
    return root;
  }
  void Decide(size_t i) { next_[i] = i + 1; }

 private:
  std::vector<size_t> next_;
};

// The parameters grouped by sample rate, the rates sorted, so that a rate
// selector finds its parameters without a pass over the table, and a group
// every parameter of which is decided is passed over.
struct RateGroups {
  std::vector<double> rates;                 // sorted, distinct
  std::vector<std::vector<size_t>> members;  // parameters of each rate, in table order
  std::vector<size_t> undecided;             // members no rule has decided yet
  std::vector<size_t> groupOf;               // by parameter

  explicit RateGroups(const std::vector<double>& parameterRates) : groupOf(parameterRates.size()) {
    std::map<double, std::vector<size_t>> byRate;
    for (size_t i = 0; i < parameterRates.size(); ++i) byRate[parameterRates[i]].push_back(i);
    for (auto& [rate, indices] : byRate) {
      for (size_t i : indices) groupOf[i] = rates.size();
      rates.push_back(rate);
      undecided.push_back(indices.size());
      members.push_back(std::move(indices));
    }
  }
};

}  // namespace

SignalPlan::SignalPlan(const SignalsFile& file, const std::vector<std::string>& names,
                       const std::vector<double>& rates) {
  const size_t count = names.size();
  std::vector<int32_t> ruleOf(count, -1);
  std::vector<bool> used(file.rules.size(), false);
  Undecided undecided(count);
  std::unordered_map<std::string_view, std::vector<size_t>> byName;
  for (size_t i = 0; i < count; ++i) byName[names[i]].push_back(i);
  RateGroups groups(rates);

  for (size_t r = file.rules.size(); r-- > 0;) {
    const SignalSelector& selector = file.rules[r].selector;
    const int32_t rule = static_cast<int32_t>(r);
    auto decide = [&](size_t i) {
      if (ruleOf[i] < 0) {
        ruleOf[i] = rule;
        undecided.Decide(i);
        --groups.undecided[groups.groupOf[i]];
      }
    };
    switch (selector.kind) {
      case SelectorKind::kAll:
      case SelectorKind::kPositions: {
        size_t first = 0, last = count;  // [first, last)
        if (selector.kind == SelectorKind::kPositions) {
          first = static_cast<size_t>(std::clamp<int64_t>(selector.first - 1, 0, count));
          last = static_cast<size_t>(std::clamp<int64_t>(selector.last, 0, count));
        }
        used[r] = first < last;
        for (size_t i = undecided.From(first); i < last; i = undecided.From(i)) decide(i);
        break;
      }
      case SelectorKind::kRate: {
        // Only rates near the selector's can match it; walk out from there.
        const auto near = std::lower_bound(groups.rates.begin(), groups.rates.end(),
                                           selector.rate - 1e-6 - 1e-11 * selector.rate);
        for (auto at = near;
             at != groups.rates.end() && *at <= selector.rate + 1e-6 + 1e-11 * selector.rate;
             ++at) {
          if (!SelectorMatches(selector, "", *at, 0)) continue;
          used[r] = true;
          const size_t group = static_cast<size_t>(at - groups.rates.begin());
          if (groups.undecided[group] == 0) continue;
          for (size_t i : groups.members[group]) decide(i);
        }
        break;
      }
      case SelectorKind::kName: {
        if (!HasWildcard(selector.name)) {
          if (auto found = byName.find(selector.name); found != byName.end()) {
            used[r] = true;
            for (size_t i : found->second) decide(i);
          }
          break;
        }
        for (size_t i = undecided.From(0); i < count; i = undecided.From(i + 1)) {
          if (NameMatches(selector.name, names[i])) {
            used[r] = true;
            decide(i);
          }
        }
        // A rule every parameter of which a later rule decides still selects.
        for (size_t i = 0; i < count && !used[r]; ++i) {
          used[r] = ruleOf[i] != rule && NameMatches(selector.name, names[i]);
        }
        break;
      }
    }
  }
  for (size_t r = 0; r < used.size(); ++r) {
    if (!used[r]) unusedRules_.push_back(file.rules[r].line);
  }
  sourceOf_.assign(count, kCounter);
  std::map<std::pair<int32_t, double>, int32_t> made;
  uint64_t tableRoom = kMaxSignalTableTotalSamples;
  for (size_t i = 0; i < count; ++i) {
    if (ruleOf[i] < 0) continue;
    const SignalRule& rule = file.rules[static_cast<size_t>(ruleOf[i])];
    if (rule.pattern == SignalPattern::kCounter) continue;
    auto [at, fresh] =
        made.try_emplace({ruleOf[i], rates[i]}, static_cast<int32_t>(sources_.size()));
    if (fresh) {
      sources_.push_back(std::make_unique<SignalSource>(rule, rates[i], tableRoom));
      tableRoom -= sources_.back()->tableSamples();
    }
    sourceOf_[i] = at->second;
    ++signalled_;
  }
}

}  // namespace packet
