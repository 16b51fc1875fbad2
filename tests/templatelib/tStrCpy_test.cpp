// tStrCpy: narrow/wide conversion, including the 'X' stand-ins for
// characters the encoding cannot carry. Tests run in the C locale, where
// only ASCII converts.

#include "templatelib/tStrCpy.h"

#include <gtest/gtest.h>

#include <cstring>
#include <cwchar>
#include <string>

#include "support/DebugCapture.h"

namespace {

using namespace std::string_literals;

// Each case converts into a destination filled with '#' first, so that the
// expected bytes also show where writing stopped.
struct NarrowCase {
  const char* name;
  const wchar_t* source;
  int32_t count;
  bool terminate;
  std::string expected;  // the destination's first bytes
  const char* reported;  // the text the diagnostic names; null: no diagnostic
};

TEST(tStrCpyNarrow, Conversions) {
  const wchar_t* cut = L"a\u4e2dbcdefghijklmnop";
  const NarrowCase cases[] = {
      {"plain text", L"config.zip", -1, true, "config.zip\0#"s, nullptr},
      {"unconvertible: prefix then X", L"ab\u4e2dcd", -1, true, "abXXX\0#"s, "abXXX"},
      {"X fill stops before the count's terminator", cut, 4, true, "aXX\0#"s, "aXX"},
      {"X fill stops at the count", cut, 4, false, "aXXX#"s, "aXXX"},
      {"count cuts, terminated", L"abcdef", 4, true, "abc\0#"s, nullptr},
      {"count cuts, unterminated", L"abcdef", 4, false, "abcd#"s, nullptr},
      {"count zero writes nothing", L"abcdef", 0, true, "#"s, nullptr},
      {"null source gives empty text", nullptr, -1, true, "\0#"s, nullptr},
  };
  for (const NarrowCase& c : cases) {
    SCOPED_TRACE(c.name);
    testsupport::DebugCapture capture;
    char dest[16];
    std::memset(dest, '#', sizeof dest);
    ASSERT_EQ(tStrCpy(dest, c.source, c.count, c.terminate), S_OK);
    EXPECT_EQ(std::string(dest, c.expected.size()), c.expected);
    if (c.reported == nullptr) {
      EXPECT_TRUE(capture.messages().empty());
    } else {
      ASSERT_EQ(capture.messages().size(), 1u);
      EXPECT_EQ(capture.messages()[0],
                "tStrCpy: wcstombs encountered a wide character that it couldn't convert. String "
                "truncated to (" +
                    std::string(c.reported) + ")\n");
    }
  }
  EXPECT_EQ(tStrCpy(static_cast<char*>(nullptr), L"x"), E_POINTER);
}

struct WideCase {
  const char* name;
  const char* source;
  std::wstring expected;
  const char* reported;
};

TEST(tStrCpyWide, Conversions) {
  const WideCase cases[] = {
      {"plain text", "entry/name.txt", L"entry/name.txt\0#"s, nullptr},
#ifndef _WIN32  // the Windows C locale converts every byte, so none is invalid
      {"invalid byte: prefix then X", "ab\xe9z", L"abXX\0#"s, "abXX"},
#endif
      {"null source gives empty text", nullptr, L"\0#"s, nullptr},
  };
  for (const WideCase& c : cases) {
    SCOPED_TRACE(c.name);
    testsupport::DebugCapture capture;
    wchar_t dest[16];
    std::wmemset(dest, L'#', 16);
    ASSERT_EQ(tStrCpy(dest, c.source), S_OK);
    EXPECT_EQ(std::wstring(dest, c.expected.size()), c.expected);
    if (c.reported == nullptr) {
      EXPECT_TRUE(capture.messages().empty());
    } else {
      ASSERT_EQ(capture.messages().size(), 1u);
      EXPECT_EQ(capture.messages()[0],
                "tStrCpy: mbstowcs encounter a wide character that it couldn't convert. String "
                "truncated to (" +
                    std::string(c.reported) + ")\n");
    }
  }
  EXPECT_EQ(tStrCpy(static_cast<wchar_t*>(nullptr), "x"), E_POINTER);
}

}  // namespace
