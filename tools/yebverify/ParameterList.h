// The parameter list the stress tool wrote for the stream it sends: the PRN
// list ("zarnYEB.prn") for the Custom source, the XML list ("NEP.xml") for
// the NEP source. The checker takes every tag and rate from here, in list
// order, which is also the order of the samples in every packet.
//
// Readers accept LF and CR LF line ends. A list that cannot be understood is
// refused with one line naming the line (PRN) or the block (XML) at fault.
//
// Thread safety: plain values and pure functions.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Status.h"

namespace yebverify {

enum class SourceKind { kCustom, kNep };

struct ListedParameter {
  uint32_t tag = 0;  // 16-bit for the Custom source, 32-bit for NEP
  double rate = 0.0;
  std::string name;
};

struct ParameterList {
  SourceKind source = SourceKind::kCustom;
  // Custom: the tags of the day word and the millisecond word.
  uint32_t dayTag = 0;
  uint32_t millisecondTag = 0;
  // NEP: the tag number of the time parameter (its entries carry it under
  // the top bit).
  uint32_t timeTag = 0;
  std::vector<ListedParameter> parameters;
};

// Each fails, saying where and why, when the text is not a list of its kind.
platform::Status ParsePrnList(std::string_view text, ParameterList& list);
platform::Status ParseNepXmlList(std::string_view text, ParameterList& list);

// Reads the file at `path` and parses it as the list of `source`; a
// failure names the file.
platform::Status LoadParameterList(const std::string& path, SourceKind source, ParameterList& list);

}  // namespace yebverify

namespace yebverify {

// Whether the list's tags are the ones tag offset `offset` gives (Custom:
// the day word offset + 1, the millisecond word + 2, the parameters + 3
// onward, in 16 bits; NEP: the parameters offset + 2 onward). On a mismatch
// `mismatch` names the first one.
bool ListTagsFollowOffset(const ParameterList& list, int64_t offset, std::string& mismatch);

}  // namespace yebverify
