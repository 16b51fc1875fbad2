// The line form of a value log, shared by the stress tool (what it sent)
// and the verifier (what it received), so that the two files can be
// compared line by line:
//
//   run,connection,sequence,data_time_s,parameter,tag,sample,value
//
// data_time_s is the packet's data time (its first time word, or the NEP
// packet's first time entry) plus j / rate for the parameter's j-th sample
// in the packet, in seconds, worked out as ns / 1e9 + j / rate in double
// precision and written in the shortest form that reads back to the same
// double. value is written in the shortest form that reads back to the
// same float; infinities are "inf" and "-inf", and every NaN is "nan".
// Texts holding a comma, a quote or a line end are quoted, quotes doubled.
//
// Thread safety: pure functions.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace packet {

inline constexpr char kValueCsvHeader[] =
    "run,connection,sequence,data_time_s,parameter,tag,sample,value\n";

struct ValueCsvSample {
  std::string_view run;
  int64_t connection = 0;
  uint64_t sequence = 0;
  int64_t packetTimeNs = 0;  // the packet's first time word or entry
  int64_t j = 0;             // the parameter's sample in the packet, from 0
  double rate = 0.0;
  std::string_view parameter;
  uint32_t tag = 0;
  uint64_t sample = 0;  // n
  uint32_t valueBits = 0;
};

void AppendValueCsvLine(std::string& out, const ValueCsvSample& sample);

}  // namespace packet
