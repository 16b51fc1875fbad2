#include "ParameterList.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <string>

#include "TextFile.h"

namespace yebverify {
namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

std::vector<std::string_view> SplitBlanks(std::string_view s) {
  std::vector<std::string_view> words;
  size_t i = 0;
  while (i < s.size()) {
    while (i < s.size() && IsBlank(s[i])) ++i;
    size_t start = i;
    while (i < s.size() && !IsBlank(s[i])) ++i;
    if (i > start) words.push_back(s.substr(start, i - start));
  }
  return words;
}

bool ReadUnsigned(std::string_view s, uint32_t& value) {
  s = Trim(s);
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
  return ec == std::errc() && end == s.data() + s.size();
}

// A 32-bit tag written as a signed or an unsigned decimal (a negative tag
// offset gives negative NEP tags, which the packets carry in two's complement).
bool ReadTag32(std::string_view s, uint32_t& tag) {
  s = Trim(s);
  int64_t value = 0;
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
  if (ec != std::errc() || end != s.data() + s.size() || value < INT32_MIN || value > UINT32_MAX)
    return false;
  tag = static_cast<uint32_t>(value);
  return true;
}

bool ReadRate(std::string_view s, double& value) {
  s = Trim(s);
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
  return ec == std::errc() && end == s.data() + s.size() && std::isfinite(value) && value > 0.0;
}

bool StartsWith(std::string_view s, std::string_view prefix) {
  return s.substr(0, prefix.size()) == prefix;
}

// The text between <name ...> and </name> inside `block`, CDATA unwrapped.
bool ElementText(std::string_view block, std::string_view name, std::string_view& text) {
  std::string open(1, '<');
  open += name;
  size_t at = 0;
  for (;;) {
    at = block.find(open, at);
    if (at == std::string_view::npos) return false;
    char after = at + open.size() < block.size() ? block[at + open.size()] : '\0';
    if (after == '>' || after == ' ') break;  // not a longer name such as <parameter-type>
    at += open.size();
  }
  size_t start = block.find('>', at);
  std::string close("</");
  close += name;
  close += '>';
  size_t end = block.find(close, at);
  if (start == std::string_view::npos || end == std::string_view::npos || end < start) return false;
  text = Trim(block.substr(start + 1, end - start - 1));
  constexpr std::string_view kCdataOpen = "<![CDATA[";
  constexpr std::string_view kCdataClose = "]]>";
  if (StartsWith(text, kCdataOpen) && text.size() >= kCdataOpen.size() + kCdataClose.size() &&
      text.substr(text.size() - kCdataClose.size()) == kCdataClose) {
    text = text.substr(kCdataOpen.size(), text.size() - kCdataOpen.size() - kCdataClose.size());
  }
  return true;
}

}  // namespace

platform::Status ParsePrnList(std::string_view text, ParameterList& list) {
  list = ParameterList();
  list.source = SourceKind::kCustom;
  int lineNumber = 0;
  int timeWords = 0;
  while (!text.empty()) {
    size_t eol = text.find('\n');
    std::string_view line = text.substr(0, eol);
    text = eol == std::string_view::npos ? std::string_view() : text.substr(eol + 1);
    ++lineNumber;
    std::vector<std::string_view> words = SplitBlanks(line);
    if (words.empty()) continue;
    // The time words may carry "SystemParamType = ..." after the type code.
    for (size_t i = 0; i < words.size(); ++i) {
      if (words[i] == "SystemParamType") {
        words.resize(i);
        break;
      }
    }
    ListedParameter parameter;
    uint32_t typeCode = 0;
    std::string where = "PRN list line " + std::to_string(lineNumber) + ": ";
    if (words.size() < 4 || !ReadUnsigned(words[0], parameter.tag) || parameter.tag > 0xFFFF ||
        !ReadRate(words[words.size() - 2], parameter.rate) ||
        !ReadUnsigned(words[words.size() - 1], typeCode)) {
      return platform::Status::InvalidArgument(where + "expected \"tag name rate type\", found \"" +
                                               std::string(Trim(line)) + "\"");
    }
    for (size_t i = 1; i + 2 < words.size(); ++i) {
      if (i > 1) parameter.name += ' ';
      parameter.name += words[i];
    }
    if (timeWords == 0) {
      if (!StartsWith(parameter.name, "TIME$_DAY")) {
        return platform::Status::InvalidArgument(
            where + "the first word must be TIME$_DAY, found " + parameter.name);
      }
      list.dayTag = parameter.tag;
      ++timeWords;
    } else if (timeWords == 1) {
      if (!StartsWith(parameter.name, "TIME$_MILLISEC")) {
        return platform::Status::InvalidArgument(
            where + "the second word must be TIME$_MILLISEC, found " + parameter.name);
      }
      list.millisecondTag = parameter.tag;
      ++timeWords;
    } else {
      list.parameters.push_back(std::move(parameter));
    }
  }
  if (timeWords < 2) {
    return platform::Status::InvalidArgument(
        "PRN list: the time words TIME$_DAY and TIME$_MILLISEC are missing");
  }
  return platform::Status::Ok();
}

platform::Status ParseNepXmlList(std::string_view text, ParameterList& list) {
  list = ParameterList();
  list.source = SourceKind::kNep;
  constexpr std::string_view kOpen = "<parameter-attributes";
  constexpr std::string_view kClose = "</parameter-attributes>";
  if (text.find("<FullList") == std::string_view::npos) {
    return platform::Status::InvalidArgument("NEP XML list: no FullList element");
  }
  size_t at = 0;
  int block = 0;
  while ((at = text.find(kOpen, at)) != std::string_view::npos) {
    size_t end = text.find(kClose, at);
    if (end == std::string_view::npos) {
      return platform::Status::InvalidArgument("NEP XML list: parameter block " +
                                               std::to_string(block + 1) + " is not closed");
    }
    std::string_view body = text.substr(at, end - at);
    at = end + kClose.size();
    ++block;
    std::string where = "NEP XML list, parameter block " + std::to_string(block) + ": ";
    std::string_view name, sps, tagText;
    ListedParameter parameter;
    if (!ElementText(body, "parameter", name) || !ElementText(body, "sps", sps) ||
        !ElementText(body, "tag-number", tagText)) {
      return platform::Status::InvalidArgument(where + "parameter, sps or tag-number missing");
    }
    if (!ReadRate(sps, parameter.rate)) {
      return platform::Status::InvalidArgument(where + "bad sps \"" + std::string(sps) + "\"");
    }
    if (!ReadTag32(tagText, parameter.tag)) {
      return platform::Status::InvalidArgument(where + "bad tag-number \"" + std::string(tagText) +
                                               "\"");
    }
    parameter.name = std::string(name);
    if (block == 1) {
      if (name != "ZARN_TIME") {
        return platform::Status::InvalidArgument(
            where + "the first block must be the time parameter ZARN_TIME, found " +
            parameter.name);
      }
      list.timeTag = parameter.tag;
    } else {
      list.parameters.push_back(std::move(parameter));
    }
  }
  if (block == 0) {
    return platform::Status::InvalidArgument("NEP XML list: no time parameter block");
  }
  return platform::Status::Ok();
}

namespace {

// The largest list the stress tool writes (262,144 parameters in lines of a
// few hundred bytes) is far below both bounds; anything beyond them is not a
// list and must not be read into memory whole.
constexpr uintmax_t kMaxListBytes = uintmax_t{256} << 20;
constexpr size_t kMaxLineBytes = 65536;

bool LongLineIn(std::string_view text, size_t& lineNumber) {
  size_t begin = 0;
  for (lineNumber = 1; begin < text.size(); ++lineNumber) {
    size_t end = text.find('\n', begin);
    if (end == std::string_view::npos) end = text.size();
    if (end - begin > kMaxLineBytes) return true;
    begin = end + 1;
  }
  return false;
}

}  // namespace

platform::Status LoadParameterList(const std::string& path, SourceKind source,
                                   ParameterList& list) {
  std::string text;
  const platform::Status read = ReadTextFile(path, "parameter list", kMaxListBytes, text);
  if (!read.ok()) return read;
  size_t longLine = 0;
  if (LongLineIn(text, longLine)) {
    return platform::Status::InvalidArgument(path + ": line " + std::to_string(longLine) +
                                             " is longer than " + std::to_string(kMaxLineBytes) +
                                             " bytes");
  }
  const platform::Status parsed =
      source == SourceKind::kCustom ? ParsePrnList(text, list) : ParseNepXmlList(text, list);
  return parsed.WithContext(path);
}

}  // namespace yebverify

namespace yebverify {

bool ListTagsFollowOffset(const ParameterList& list, int64_t offset, std::string& mismatch) {
  auto differs = [&](const std::string& name, uint32_t expected, uint32_t found) {
    mismatch = name + " carries tag " + std::to_string(found) + " in the list, but tag offset " +
               std::to_string(offset) + " gives " + std::to_string(expected);
    return false;
  };
  if (list.source == SourceKind::kCustom) {
    const uint32_t base = static_cast<uint32_t>(offset);
    if (list.dayTag != ((base + 1) & 0xFFFF))
      return differs("TIME$_DAY", (base + 1) & 0xFFFF, list.dayTag);
    if (list.millisecondTag != ((base + 2) & 0xFFFF)) {
      return differs("TIME$_MILLISEC", (base + 2) & 0xFFFF, list.millisecondTag);
    }
    for (size_t i = 0; i < list.parameters.size(); ++i) {
      const uint32_t want = (base + 3 + static_cast<uint32_t>(i)) & 0xFFFF;
      if (list.parameters[i].tag != want)
        return differs(list.parameters[i].name, want, list.parameters[i].tag);
    }
    return true;
  }
  for (size_t i = 0; i < list.parameters.size(); ++i) {
    const uint32_t want = static_cast<uint32_t>(offset) + 2 + static_cast<uint32_t>(i);
    if (list.parameters[i].tag != want)
      return differs(list.parameters[i].name, want, list.parameters[i].tag);
  }
  return true;
}

}  // namespace yebverify
