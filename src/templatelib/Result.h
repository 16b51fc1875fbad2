// Status codes of the template library.
//
// Every library operation that can fail returns a 32-bit status word in the
// HRESULT style: zero or positive means success, the high bit means failure.
// Callers compare with S_OK; Succeeded()/Failed() test the high bit for the
// places where any success will do. The values are fixed: they are what peers
// and stored diagnostics have always seen.
//
// Thread safety: constants and pure functions only.
#pragma once

#include <cstdint>

using HRESULT = int32_t;

namespace templatelib_detail {
// The failure codes are written as unsigned hex; converting them to the
// signed type is modular (well defined since C++20).
constexpr HRESULT MakeStatus(uint32_t bits) { return static_cast<HRESULT>(bits); }
}  // namespace templatelib_detail

inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;
inline constexpr HRESULT E_NOTIMPL = templatelib_detail::MakeStatus(0x80004001u);
inline constexpr HRESULT E_POINTER = templatelib_detail::MakeStatus(0x80004003u);
inline constexpr HRESULT E_ABORT = templatelib_detail::MakeStatus(0x80004004u);
inline constexpr HRESULT E_FAIL = templatelib_detail::MakeStatus(0x80004005u);
inline constexpr HRESULT E_OUTOFMEMORY = templatelib_detail::MakeStatus(0x8007000Eu);
inline constexpr HRESULT E_INVALIDARG = templatelib_detail::MakeStatus(0x80070057u);
inline constexpr HRESULT E_UNEXPECTED = templatelib_detail::MakeStatus(0x8000FFFFu);

// True for S_OK, S_FALSE and every other non-negative status.
constexpr bool Succeeded(HRESULT hr) { return hr >= 0; }
// True for every E_ status.
constexpr bool Failed(HRESULT hr) { return hr < 0; }
