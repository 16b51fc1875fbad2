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

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "packet/SignalPlan.h"
#include "packet/ValueCsv.h"

namespace yebverify {

// True when `found` is an acceptable sample of `expected` from a source of
// `pattern`.
bool SignalValueMatches(uint32_t found, uint32_t expected, packet::SignalPattern pattern);

// The --values-out file: lines gathered, written in blocks and at the end.
class ValuesOut {
 public:
  // Empty with `error` when the file cannot be written.
  static std::unique_ptr<ValuesOut> Open(const std::string& path, std::string& error);
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
