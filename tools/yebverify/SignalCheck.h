// What the checker needs to check signals and to write what it received:
// the signals file resolved against the parameter list (the same plan the
// stress tool made), which parameters go to --values-out, and the file.
//
// A signal sample must equal the rule's value at its sample number bit for
// bit (any NaN for a NaN), except a sine, which may be one unit in the last
// place off, since sine libraries may differ in the last bit.
//
// Thread safety: one object per stream, used from one thread.
#pragma once

#include <bit>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "packet/SignalPlan.h"
#include "packet/ValueCsv.h"
#include "platform/Status.h"

namespace yebverify {

// One parameter's signal values from its sample n on, one after another:
// its table read round and round without a division per sample, or the
// formula where there is no table.
class SignalCursor {
 public:
  SignalCursor(const packet::SignalSource& source, uint64_t position, uint64_t n)
      : source_(source), table_(source.table()), position_(position), n_(n) {
    if (table_ != nullptr) {
      period_ = source.period();
      phase_ = n % period_;
    }
  }
  // The float bits of the next sample.
  uint32_t Next() {
    if (table_ == nullptr) return std::bit_cast<uint32_t>(source_.At(position_, n_++));
    const float value = table_[phase_];
    if (++phase_ == period_) phase_ = 0;
    return std::bit_cast<uint32_t>(value);
  }

 private:
  const packet::SignalSource& source_;
  const float* table_;
  uint64_t position_, n_;
  uint64_t period_ = 0, phase_ = 0;
};

// True when `found` is an acceptable sample of `expected` from a source of
// `pattern`.
bool SignalValueMatches(uint32_t found, uint32_t expected, packet::SignalPattern pattern);

// The --values-out file: lines gathered, written in blocks and at the end.
class ValuesOut {
 public:
  // Fails, naming the file and why, when it cannot be written.
  static platform::Status Open(const std::string& path, std::unique_ptr<ValuesOut>& out);
  ~ValuesOut();
  ValuesOut(const ValuesOut&) = delete;
  ValuesOut& operator=(const ValuesOut&) = delete;

  void Add(const packet::ValueCsvSample& sample);
  void Flush();

 private:
  explicit ValuesOut(std::FILE* file) : file_(file) {}
  std::FILE* file_;
  std::string pending_;
};

struct SignalCheck {
  const packet::SignalPlan* plan = nullptr;  // null: counters only
  ValuesOut* valuesOut = nullptr;            // null: no --values-out
  std::vector<uint8_t> logged;               // per listed parameter
  std::string runId;
};

}  // namespace yebverify
