#include "Failures.h"

namespace yebverify {

const char* FailureKindName(FailureKind kind) {
  switch (kind) {
    case FailureKind::kGreeting:
      return "greeting";
    case FailureKind::kSize:
      return "size";
    case FailureKind::kSequence:
      return "sequence";
    case FailureKind::kHeader:
      return "header";
    case FailureKind::kDay:
      return "day";
    case FailureKind::kTime:
      return "time";
    case FailureKind::kNepTime:
      return "nep-time";
    case FailureKind::kTag:
      return "tag";
    case FailureKind::kRate:
      return "rate";
    case FailureKind::kValue:
      return "value";
    case FailureKind::kPadding:
      return "padding";
    case FailureKind::kTruncated:
      return "truncated";
    case FailureKind::kDropped:
      return "dropped";
    case FailureKind::kDuplicated:
      return "duplicated";
    case FailureKind::kCorrupted:
      return "corrupted";
    case FailureKind::kDisconnected:
      return "disconnected";
    case FailureKind::kTimeJump:
      return "time-jump";
    case FailureKind::kFaultNotSeen:
      return "fault-not-seen";
    case FailureKind::kCount:
      break;
  }
  return "?";
}

void FailureLog::Add(FailureRecord record) {
  described_.push_back(std::move(record));
  if (listener_) listener_(described_.back());
}

std::string FailureLog::CountsText() const {
  std::string text;
  for (size_t i = 0; i < counts_.size(); ++i) {
    if (counts_[i] == 0) continue;
    if (!text.empty()) text += ", ";
    text += FailureKindName(static_cast<FailureKind>(i));
    text += ' ';
    text += std::to_string(counts_[i]);
  }
  return text.empty() ? "none" : text;
}

FailureText Mismatch(std::string_view prefix, std::string expected, std::string found,
                     std::string_view what) {
  std::string text(prefix);
  text += "expected ";
  text += what;
  text += expected;
  text += ", found ";
  text += found;
  return FailureText{std::move(text), std::move(expected), std::move(found)};
}

std::string FormatFailure(const FailureRecord& record) {
  return std::string(FailureKindName(record.kind)) + ": packet " + std::to_string(record.packet) +
         ", offset " + std::to_string(record.offset) + ": " + record.text;
}

}  // namespace yebverify
