// tWString, the wide twin of tString, and the stand-in for the platform's
// string allocator that supplies its buffers.

#include <climits>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <new>
#include <utility>

#include "templatelib/tStrCpy.h"
#include "templatelib/tString.h"

wchar_t* AllocWideStringBuffer(int32_t chars) {
  if (chars < 1) return nullptr;
  return new (std::nothrow) wchar_t[static_cast<size_t>(chars) + tString::kSpareBytes];
}

void FreeWideStringBuffer(wchar_t* buffer) { delete[] buffer; }

namespace {

inline wchar_t UpperAscii(wchar_t c) {
  return (c >= L'a' && c <= L'z') ? static_cast<wchar_t>(c - (L'a' - L'A')) : c;
}

// The largest capacity a wide buffer may record.
constexpr int64_t kLargestWideCapacity = INT32_MAX / static_cast<int64_t>(sizeof(wchar_t));

}  // namespace

tWString::~tWString() { FreeWideStringBuffer(text_); }

tWString::tWString(tWString&& other) noexcept
    : text_(std::exchange(other.text_, nullptr)), capacity_(std::exchange(other.capacity_, 0)) {}

tWString& tWString::operator=(tWString&& other) noexcept {
  if (this != &other) {
    FreeWideStringBuffer(text_);
    text_ = std::exchange(other.text_, nullptr);
    capacity_ = std::exchange(other.capacity_, 0);
  }
  return *this;
}

int32_t tWString::Length() const {
  return text_ != nullptr ? static_cast<int32_t>(std::wcslen(text_)) : 0;
}

void tWString::Empty() {
  if (text_ != nullptr) text_[0] = L'\0';
}

void tWString::Release() {
  FreeWideStringBuffer(text_);
  text_ = nullptr;
  capacity_ = 0;
}

HRESULT tWString::Reallocate(int64_t capacity, bool keepText) {
  if (capacity < 1 || capacity > kLargestWideCapacity) return E_OUTOFMEMORY;
  wchar_t* grown = AllocWideStringBuffer(static_cast<int32_t>(capacity));
  if (grown == nullptr) return E_OUTOFMEMORY;
  grown[0] = L'\0';
  if (keepText && text_ != nullptr) {
    size_t keep = std::wcslen(text_);
    if (keep >= static_cast<size_t>(capacity)) keep = static_cast<size_t>(capacity) - 1;
    std::wmemcpy(grown, text_, keep);
    grown[keep] = L'\0';
  }
  FreeWideStringBuffer(text_);
  text_ = grown;
  capacity_ = static_cast<int32_t>(capacity);
  return S_OK;
}

HRESULT tWString::Assign(const wchar_t* text) {
  if (text == nullptr) {
    Empty();
    return S_OK;
  }
  int64_t count = static_cast<int64_t>(std::wcslen(text));
  if (text_ != nullptr && count + 1 <= capacity_) {
    std::wmemmove(text_, text, static_cast<size_t>(count));
    text_[count] = L'\0';
    return S_OK;
  }
  tWString fresh;
  HRESULT hr = fresh.Reallocate(count + 1, /*keepText=*/false);
  if (hr != S_OK) return hr;
  std::wmemcpy(fresh.text_, text, static_cast<size_t>(count));
  fresh.text_[count] = L'\0';
  *this = std::move(fresh);
  return S_OK;
}

HRESULT tWString::AssignNarrow(const char* text) {
  if (text == nullptr) {
    Empty();
    return S_OK;
  }
  // A multibyte text never yields more wide characters than it has bytes.
  int64_t count = static_cast<int64_t>(std::strlen(text)) + 1;
  if (text_ == nullptr || count > capacity_) {
    HRESULT hr = Reallocate(count, /*keepText=*/false);
    if (hr != S_OK) return hr;
  }
  return tStrCpy(text_, text, capacity_, /*terminate=*/true);
}

HRESULT tWString::Append(const wchar_t* text, int32_t reserve) {
  if (text == nullptr) return S_OK;
  int64_t length = Length();
  int64_t added = static_cast<int64_t>(std::wcslen(text));
  int64_t joined = length + added;
  if (text_ != nullptr && joined + 1 <= capacity_) {
    std::wmemmove(text_ + length, text, static_cast<size_t>(added));
    text_[joined] = L'\0';
    return S_OK;
  }
  tWString fresh;
  HRESULT hr = fresh.Reallocate(joined + (reserve > 0 ? reserve : 0) + 1, /*keepText=*/false);
  if (hr != S_OK) return hr;
  if (length > 0) std::wmemcpy(fresh.text_, text_, static_cast<size_t>(length));
  std::wmemcpy(fresh.text_ + length, text, static_cast<size_t>(added));
  fresh.text_[joined] = L'\0';
  *this = std::move(fresh);
  return S_OK;
}

HRESULT tWString::Format(const wchar_t* format, ...) {
  if (format == nullptr) {
    Assign(L"Format Error");
    return E_FAIL;
  }
  if (text_ == nullptr) {
    HRESULT hr = Reallocate(tString::kFormatInitialCapacity, /*keepText=*/false);
    if (hr != S_OK) return hr;
  }
  va_list args;
  va_start(args, format);
  HRESULT result = S_OK;
  // vswprintf cannot say how much room a text needs, nor tell "too long"
  // from a real failure; keep doubling up to a generous bound. Some C
  // libraries (mingw's C99 one) instead return the full length of a text
  // they cut short, which is "too long" as well.
  constexpr int64_t kLargestAttempt = int64_t{1} << 26;
  for (;;) {
    va_list attempt;
    va_copy(attempt, args);
    int written = std::vswprintf(text_, static_cast<size_t>(capacity_), format, attempt);
    va_end(attempt);
    if (written >= 0 && written < capacity_) break;
    int64_t grown = static_cast<int64_t>(capacity_) * 2;
    if (grown > kLargestAttempt) {
      Assign(L"Format Error");
      result = E_FAIL;
      break;
    }
    if (Reallocate(grown, /*keepText=*/false) != S_OK) {
      Empty();
      result = E_OUTOFMEMORY;
      break;
    }
  }
  va_end(args);
  return result;
}

HRESULT tWString::ToNarrow(tString* out) const {
  if (out == nullptr) return E_POINTER;
  if (text_ == nullptr) {
    out->Release();
    return S_OK;
  }
  int64_t room = static_cast<int64_t>(Length()) * static_cast<int64_t>(MB_CUR_MAX) + 1;
  if (room > INT32_MAX) return E_OUTOFMEMORY;
  HRESULT hr = out->Reserve(static_cast<int32_t>(room));
  if (hr != S_OK) return hr;
  return tStrCpy(out->Buffer(), text_, out->Capacity(), /*terminate=*/true);
}

int32_t tWString::CompareNoCase(const wchar_t* a, const wchar_t* b) {
  if (a == nullptr || b == nullptr)
    return (a == nullptr && b == nullptr) ? 0 : (a == nullptr ? -1 : 1);
  for (;; ++a, ++b) {
    wchar_t ca = UpperAscii(*a);
    wchar_t cb = UpperAscii(*b);
    if (ca != cb) return ca < cb ? -1 : 1;
    if (ca == L'\0') return 0;
  }
}
