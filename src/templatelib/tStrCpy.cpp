#include "templatelib/tStrCpy.h"

#include <climits>
#include <cstring>
#include <cwchar>

#include "templatelib/DebugOut.h"

namespace {

// Like the runtime's conversions, an unasked-for terminator is still written
// when there is room for it.
inline bool HasTerminator(size_t destinationCount, size_t written, bool terminate) {
  return terminate || written < destinationCount;
}

}  // namespace

HRESULT tStrCpy(char* dest, const wchar_t* source, int32_t count, bool terminate) {
  if (dest == nullptr) return E_POINTER;
  if (count == 0) return S_OK;
  if (source == nullptr) {
    dest[0] = '\0';
    return S_OK;
  }
  size_t sourceLength = std::wcslen(source);
  size_t destinationCount = count < 0 ? sourceLength + 1 : static_cast<size_t>(count);
  size_t limit = terminate ? destinationCount - 1 : destinationCount;

  std::mbstate_t state{};
  size_t written = 0;
  size_t converted = 0;  // source characters taken
  bool failed = false;
  for (; converted < sourceLength; ++converted) {
    char bytes[MB_LEN_MAX];
    size_t n = std::wcrtomb(bytes, source[converted], &state);
    if (n == static_cast<size_t>(-1)) {
      failed = true;
      break;
    }
    if (written + n > limit) break;  // cut: the destination is full
    std::memcpy(dest + written, bytes, n);
    written += n;
  }
  if (failed) {
    // The convertible prefix, then one 'X' per character left, within the
    // destination's count.
    size_t fill = sourceLength - converted;
    if (written + fill > limit) fill = limit - written;
    std::memset(dest + written, 'X', fill);
    written += fill;
  }
  if (HasTerminator(destinationCount, written, terminate)) dest[written] = '\0';
  if (failed) {
    DebugOut(
        "tStrCpy: wcstombs encountered a wide character that it couldn't convert. String truncated "
        "to (%.*s)\n",
        static_cast<int>(written), dest);
  }
  return S_OK;
}

HRESULT tStrCpy(wchar_t* dest, const char* source, int32_t count, bool terminate) {
  if (dest == nullptr) return E_POINTER;
  if (count == 0) return S_OK;
  if (source == nullptr) {
    dest[0] = L'\0';
    return S_OK;
  }
  size_t sourceLength = std::strlen(source);
  size_t destinationCount = count < 0 ? sourceLength + 1 : static_cast<size_t>(count);
  size_t limit = terminate ? destinationCount - 1 : destinationCount;

  std::mbstate_t state{};
  size_t written = 0;
  size_t consumed = 0;  // source bytes taken
  bool failed = false;
  while (consumed < sourceLength && written < limit) {
    wchar_t wide;
    size_t n = std::mbrtowc(&wide, source + consumed, sourceLength - consumed, &state);
    if (n == static_cast<size_t>(-1) || n == static_cast<size_t>(-2) || n == 0) {
      failed = true;  // invalid or cut-off sequence
      break;
    }
    dest[written++] = wide;
    consumed += n;
  }
  if (failed) {
    size_t fill = sourceLength - consumed;
    if (written + fill > limit) fill = limit - written;
    for (size_t i = 0; i < fill; ++i) dest[written++] = L'X';
  }
  if (HasTerminator(destinationCount, written, terminate)) dest[written] = L'\0';
  if (failed) {
    DebugOutW(
        L"tStrCpy: mbstowcs encounter a wide character that it couldn't convert. String truncated "
        L"to (%.*ls)\n",
        static_cast<int>(written), dest);
  }
  return S_OK;
}
