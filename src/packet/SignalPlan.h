// Which parameter carries which signal: the rules of a signals file
// resolved against the parameters of a run.
//
// Each parameter is known by its name as the run's parameter list writes
// it, its sample rate and its table position (from 1). The last rule that
// selects a parameter decides; a parameter no rule selects, or whose last
// rule is `counter`, keeps the counter. Values come from one SignalSource
// per pattern rule and sample rate, so that parameters of the same rule
// and rate share one table.
//
// The stress tool and the verifier resolve the same file against the same
// list, so both see the same plan.
//
// Thread safety: immutable once made.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "packet/SignalRules.h"
#include "packet/SignalValues.h"

namespace packet {

// `*` and `?` wildcards, matched exactly otherwise.
bool NameMatches(std::string_view pattern, std::string_view name);

// Whether `selector` picks the parameter. Rates match when they agree to
// the six decimals of the parameter lists.
bool SelectorMatches(const SignalSelector& selector, std::string_view name, double rate,
                     int64_t position);

class SignalPlan {
 public:
  static constexpr int32_t kCounter = -1;

  SignalPlan() = default;
  // `file` must outlive the plan. `names` and `rates` are in table order.
  SignalPlan(const SignalsFile& file, const std::vector<std::string>& names,
             const std::vector<double>& rates);

  // The source of parameter `index` (from 0), or kCounter.
  int32_t SourceOf(size_t index) const { return sourceOf_.empty() ? kCounter : sourceOf_[index]; }
  const SignalSource& source(int32_t id) const { return *sources_[static_cast<size_t>(id)]; }
  size_t sourceCount() const { return sources_.size(); }
  // Parameters that carry a pattern other than the counter.
  int64_t signalled() const { return signalled_; }
  // Line numbers of the rules that select no parameter of this run.
  const std::vector<int32_t>& unusedRules() const { return unusedRules_; }

 private:
  std::vector<int32_t> sourceOf_;
  // Pointers so that a source's table stays put while more are added.
  std::vector<std::unique_ptr<SignalSource>> sources_;
  int64_t signalled_ = 0;
  std::vector<int32_t> unusedRules_;
};

}  // namespace packet
