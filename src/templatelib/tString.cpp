// tString: buffer management, assign, append and the formatted assign.

#include "templatelib/tString.h"

#include <climits>
#include <cstring>
#include <new>
#include <utility>

namespace {

// Allocates `capacity` usable bytes plus the spare; null on failure or when
// the capacity is outside 1..INT32_MAX.
char* AllocateText(int64_t capacity) {
  if (capacity < 1 || capacity > INT32_MAX) return nullptr;
  return new (std::nothrow) char[static_cast<size_t>(capacity) + tString::kSpareBytes];
}

int32_t TextLength(const char* text) {
  size_t length = std::strlen(text);
  return length > static_cast<size_t>(INT32_MAX - 1) ? INT32_MAX - 1 : static_cast<int32_t>(length);
}

constexpr char kFormatErrorText[] = "Format Error";

}  // namespace

int32_t DoubledCapacity(int32_t current, int64_t needed, int32_t initial) {
  int64_t capacity = current >= 1 ? current : initial;
  if (capacity < 1) capacity = 1;
  while (capacity < needed) {
    capacity *= 2;
    if (capacity > INT32_MAX) return 0;
  }
  return static_cast<int32_t>(capacity);
}

tString::~tString() { delete[] text_; }

tString::tString(tString&& other) noexcept
    : text_(std::exchange(other.text_, nullptr)), capacity_(std::exchange(other.capacity_, 0)) {}

tString& tString::operator=(tString&& other) noexcept {
  if (this != &other) {
    delete[] text_;
    text_ = std::exchange(other.text_, nullptr);
    capacity_ = std::exchange(other.capacity_, 0);
  }
  return *this;
}

int32_t tString::Length() const { return text_ != nullptr ? TextLength(text_) : 0; }

void tString::Empty() {
  if (text_ != nullptr) text_[0] = '\0';
}

void tString::Release() {
  delete[] text_;
  text_ = nullptr;
  capacity_ = 0;
}

HRESULT tString::Reallocate(int64_t capacity, bool keepText) {
  char* grown = AllocateText(capacity);
  if (grown == nullptr) return E_OUTOFMEMORY;
  grown[0] = '\0';
  if (keepText && text_ != nullptr) {
    size_t keep = std::strlen(text_);
    if (keep >= static_cast<size_t>(capacity)) keep = static_cast<size_t>(capacity) - 1;
    std::memcpy(grown, text_, keep);
    grown[keep] = '\0';
  }
  delete[] text_;
  text_ = grown;
  capacity_ = static_cast<int32_t>(capacity);
  return S_OK;
}

HRESULT tString::Reserve(int32_t capacity) {
  if (text_ != nullptr && capacity <= capacity_) return S_OK;
  return Reallocate(capacity < 1 ? 1 : capacity, /*keepText=*/true);
}

HRESULT tString::Assign(const char* text) {
  if (text == nullptr) {
    Empty();
    return S_OK;
  }
  return AssignN(text, INT32_MAX);
}

HRESULT tString::Assign(const tString& other) {
  if (&other == this) return S_OK;
  return Assign(other.text_);
}

HRESULT tString::AssignN(const char* text, int32_t length) {
  if (text == nullptr) {
    Empty();
    return S_OK;
  }
  size_t count = length > 0 ? strnlen(text, static_cast<size_t>(length)) : 0;
  if (count >= static_cast<size_t>(INT32_MAX)) return E_OUTOFMEMORY;
  int64_t needed = static_cast<int64_t>(count) + 1;
  if (text_ != nullptr && needed <= capacity_) {
    std::memmove(text_, text, count);  // the source may lie inside this buffer
    text_[count] = '\0';
    return S_OK;
  }
  // The new buffer is filled before the old one goes, so a source inside
  // the old buffer stays readable.
  char* fresh = AllocateText(needed);
  if (fresh == nullptr) return E_OUTOFMEMORY;
  std::memcpy(fresh, text, count);
  fresh[count] = '\0';
  delete[] text_;
  text_ = fresh;
  capacity_ = static_cast<int32_t>(needed);
  return S_OK;
}

HRESULT tString::Append(const char* text, int32_t reserve) {
  if (text == nullptr) return S_OK;
  int64_t length = Length();
  int64_t added = static_cast<int64_t>(std::strlen(text));
  int64_t joined = length + added;
  if (text_ != nullptr && joined + 1 <= capacity_) {
    std::memmove(text_ + length, text, static_cast<size_t>(added));
    text_[joined] = '\0';
    return S_OK;
  }
  int64_t capacity = joined + (reserve > 0 ? reserve : 0) + 1;
  if (capacity > INT32_MAX) return E_OUTOFMEMORY;
  char* fresh = AllocateText(capacity);
  if (fresh == nullptr) return E_OUTOFMEMORY;
  if (length > 0) std::memcpy(fresh, text_, static_cast<size_t>(length));
  std::memcpy(fresh + length, text, static_cast<size_t>(added));
  fresh[joined] = '\0';
  delete[] text_;
  text_ = fresh;
  capacity_ = static_cast<int32_t>(capacity);
  return S_OK;
}

HRESULT tString::Append(const tString& other, int32_t reserve) {
  return Append(other.text_, reserve);
}

HRESULT tString::AppendChar(char c, int32_t reserve) {
  const char one[2] = {c, '\0'};
  return Append(one, reserve);
}

HRESULT tString::Format(const char* format, ...) {
  va_list args;
  va_start(args, format);
  HRESULT hr = FormatV(format, args);
  va_end(args);
  return hr;
}

HRESULT tString::FormatV(const char* format, va_list args) {
  if (format == nullptr) {
    Assign(kFormatErrorText);
    return E_FAIL;
  }
  if (text_ == nullptr && Reallocate(kFormatInitialCapacity, /*keepText=*/false) != S_OK) {
    return E_OUTOFMEMORY;
  }
  for (;;) {
    // Each attempt formats from its own copy of the arguments: a va_list
    // that one attempt has walked cannot be walked again.
    va_list attempt;
    va_copy(attempt, args);
    int written = std::vsnprintf(text_, static_cast<size_t>(capacity_), format, attempt);
    va_end(attempt);
    if (written < 0) {
      Assign(kFormatErrorText);
      return E_FAIL;
    }
    if (written < capacity_) return S_OK;
    // Doubling until the text fits gives the same buffer as retrying after
    // every doubling, with one more attempt instead of many.
    int32_t grown =
        DoubledCapacity(capacity_, static_cast<int64_t>(written) + 1, kFormatInitialCapacity);
    if (grown == 0 || Reallocate(grown, /*keepText=*/false) != S_OK) {
      Empty();
      return E_OUTOFMEMORY;
    }
  }
}

HRESULT tString::FormatTime(int64_t nanoseconds, int32_t fractionDigits, int32_t showDay) {
  constexpr int64_t kNsPerSecond = 1'000'000'000;
  constexpr int64_t kNsPerMinute = 60 * kNsPerSecond;
  constexpr int64_t kNsPerHour = 60 * kNsPerMinute;
  constexpr int64_t kNsPerDay = 24 * kNsPerHour;

  int64_t days = nanoseconds / kNsPerDay;
  int64_t rest = nanoseconds % kNsPerDay;
  int hours = static_cast<int>((rest / kNsPerHour) % 24);
  int minutes = static_cast<int>((rest / kNsPerMinute) % 60);
  int seconds = static_cast<int>((rest / kNsPerSecond) % 60);
  int digits = fractionDigits < 0 ? 0 : (fractionDigits > 9 ? 9 : fractionDigits);
  int64_t divisor = 1;
  for (int i = digits; i < 9; ++i) divisor *= 10;
  int fraction = static_cast<int>((rest % kNsPerSecond) / divisor);
  // The day field shows the low 32 bits of the day count.
  int dayField = static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(days)));

  if (showDay != 0) {
    if (digits > 0) {
      return Format("%03d:%02d:%02d:%02d.%0*d", dayField, hours, minutes, seconds, digits,
                    fraction);
    }
    return Format("%03d:%02d:%02d:%02d", dayField, hours, minutes, seconds);
  }
  if (digits > 0) return Format("%02d:%02d:%02d.%0*d", hours, minutes, seconds, digits, fraction);
  return Format("%02d:%02d:%02d", hours, minutes, seconds);
}
