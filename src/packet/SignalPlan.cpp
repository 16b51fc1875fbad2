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

// Reads the rules from the last to the first, so that the first rule to
// reach a parameter is the one that decides it: which rule decides each
// parameter (-1: none), and whether each rule selects any parameter at all.
class RuleResolver {
 public:
  RuleResolver(const std::vector<std::string>& names, const std::vector<double>& rates,
               size_t ruleCount)
      : names_(names),
        ruleOf_(names.size(), -1),
        used_(ruleCount, false),
        undecided_(names.size()),
        groups_(rates) {
    for (size_t i = 0; i < names.size(); ++i) byName_[names[i]].push_back(i);
  }

  void Apply(const SignalSelector& selector, int32_t rule) {
    const size_t count = names_.size();
    bool selects = false;
    switch (selector.kind) {
      case SelectorKind::kAll:
        selects = DecideRange(0, count, rule);
        break;
      case SelectorKind::kPositions:
        selects =
            DecideRange(static_cast<size_t>(std::clamp<int64_t>(selector.first - 1, 0, count)),
                        static_cast<size_t>(std::clamp<int64_t>(selector.last, 0, count)), rule);
        break;
      case SelectorKind::kRate:
        selects = DecideRate(selector, rule);
        break;
      case SelectorKind::kName:
        selects = HasWildcard(selector.name) ? DecideWildcard(selector.name, rule)
                                             : DecideName(selector.name, rule);
        break;
    }
    used_[static_cast<size_t>(rule)] = selects;
  }

  const std::vector<int32_t>& ruleOf() const { return ruleOf_; }
  const std::vector<bool>& used() const { return used_; }

 private:
  void Decide(size_t i, int32_t rule) {
    if (ruleOf_[i] >= 0) return;
    ruleOf_[i] = rule;
    undecided_.Decide(i);
    --groups_.undecided[groups_.groupOf[i]];
  }

  // Parameters [first, last).
  bool DecideRange(size_t first, size_t last, int32_t rule) {
    for (size_t i = undecided_.From(first); i < last; i = undecided_.From(i)) Decide(i, rule);
    return first < last;
  }

  bool DecideRate(const SignalSelector& selector, int32_t rule) {
    // Only rates near the selector's can match it; walk out from there.
    const double low = selector.rate - 1e-6 - 1e-11 * selector.rate;
    const double high = selector.rate + 1e-6 + 1e-11 * selector.rate;
    bool selects = false;
    for (auto at = std::lower_bound(groups_.rates.begin(), groups_.rates.end(), low);
         at != groups_.rates.end() && *at <= high; ++at) {
      if (!SelectorMatches(selector, "", *at, 0)) continue;
      selects = true;
      const size_t group = static_cast<size_t>(at - groups_.rates.begin());
      if (groups_.undecided[group] == 0) continue;
      for (size_t i : groups_.members[group]) Decide(i, rule);
    }
    return selects;
  }

  bool DecideName(const std::string& name, int32_t rule) {
    const auto found = byName_.find(name);
    if (found == byName_.end()) return false;
    for (size_t i : found->second) Decide(i, rule);
    return true;
  }

  bool DecideWildcard(const std::string& pattern, int32_t rule) {
    const size_t count = names_.size();
    bool selects = false;
    for (size_t i = undecided_.From(0); i < count; i = undecided_.From(i + 1)) {
      if (NameMatches(pattern, names_[i])) {
        selects = true;
        Decide(i, rule);
      }
    }
    // A rule every parameter of which a later rule decides still selects.
    for (size_t i = 0; i < count && !selects; ++i) {
      selects = ruleOf_[i] != rule && NameMatches(pattern, names_[i]);
    }
    return selects;
  }

  const std::vector<std::string>& names_;
  std::vector<int32_t> ruleOf_;
  std::vector<bool> used_;
  Undecided undecided_;
  RateGroups groups_;
  std::unordered_map<std::string_view, std::vector<size_t>> byName_;
};

}  // namespace

SignalPlan::SignalPlan(const SignalsFile& file, const std::vector<std::string>& names,
                       const std::vector<double>& rates) {
  const size_t count = names.size();
  RuleResolver resolver(names, rates, file.rules.size());
  for (size_t r = file.rules.size(); r-- > 0;) {
    resolver.Apply(file.rules[r].selector, static_cast<int32_t>(r));
  }
  const std::vector<int32_t>& ruleOf = resolver.ruleOf();
  const std::vector<bool>& used = resolver.used();
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
