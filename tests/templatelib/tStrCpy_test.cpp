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

TEST(tStrCpyNarrow, ConvertsPlainText) {
  char dest[16];
  ASSERT_EQ(tStrCpy(dest, L"config.zip"), S_OK);
  EXPECT_STREQ(dest, "config.zip");
}

TEST(tStrCpyNarrow, UnconvertibleCharacterGivesPrefixThenX) {
  testsupport::DebugCapture capture;
  char dest[16];
  std::memset(dest, '#', sizeof dest);
  ASSERT_EQ(tStrCpy(dest,
                    L"ab\x4e2d"
                    L"cd"),
            S_OK);
  EXPECT_STREQ(dest, "abXXX");
  EXPECT_EQ(dest[6], '#') << "nothing written past the text and its terminator";
  ASSERT_EQ(capture.messages().size(), 1u);
  EXPECT_EQ(capture.messages()[0],
            "tStrCpy: wcstombs encountered a wide character that it couldn't convert. String "
            "truncated to (abXXX)\n");
}

TEST(tStrCpyNarrow, XFillNeverPassesTheDestinationCount) {
  testsupport::DebugCapture capture;
  char dest[8];
  std::memset(dest, '#', sizeof dest);
  ASSERT_EQ(tStrCpy(dest,
                    L"a\x4e2d"
                    L"bcdefghijklmnop",
                    4, true),
            S_OK);
  EXPECT_STREQ(dest, "aXX");
  EXPECT_EQ(dest[4], '#');
  std::memset(dest, '#', sizeof dest);
  ASSERT_EQ(tStrCpy(dest,
                    L"a\x4e2d"
                    L"bcdefghijklmnop",
                    4, false),
            S_OK);
  EXPECT_EQ(std::string(dest, 4), "aXXX");
  EXPECT_EQ(dest[4], '#');
}

TEST(tStrCpyNarrow, CountCutsAndTerminationIsHonoured) {
  char dest[8];
  std::memset(dest, '#', sizeof dest);
  ASSERT_EQ(tStrCpy(dest, L"abcdef", 4, true), S_OK);
  EXPECT_STREQ(dest, "abc");
  std::memset(dest, '#', sizeof dest);
  ASSERT_EQ(tStrCpy(dest, L"abcdef", 4, false), S_OK);
  EXPECT_EQ(std::string(dest, 5), "abcd#");
}

TEST(tStrCpyNarrow, NullArguments) {
  char dest[4] = {'q', 'q', 'q', 'q'};
  EXPECT_EQ(tStrCpy(dest, static_cast<const wchar_t*>(nullptr)), S_OK);
  EXPECT_STREQ(dest, "");
  EXPECT_EQ(tStrCpy(static_cast<char*>(nullptr), L"x"), E_POINTER);
}

TEST(tStrCpyWide, ConvertsPlainText) {
  wchar_t dest[16];
  ASSERT_EQ(tStrCpy(dest, "entry/name.txt"), S_OK);
  EXPECT_STREQ(dest, L"entry/name.txt");
}

TEST(tStrCpyWide, InvalidByteGivesPrefixThenXAndAWideMessage) {
#ifdef _WIN32
  GTEST_SKIP() << "the Windows C locale converts every byte, so none is invalid";
#endif
  testsupport::DebugCapture capture;
  wchar_t dest[16];
  ASSERT_EQ(tStrCpy(dest, "ab\xe9z"), S_OK);
  EXPECT_STREQ(dest, L"abXX");
  ASSERT_EQ(capture.messages().size(), 1u);
  EXPECT_EQ(capture.messages()[0],
            "tStrCpy: mbstowcs encounter a wide character that it couldn't convert. String "
            "truncated to (abXX)\n");
}

TEST(tStrCpyWide, NullArguments) {
  wchar_t dest[2] = {L'q', L'q'};
  EXPECT_EQ(tStrCpy(dest, static_cast<const char*>(nullptr)), S_OK);
  EXPECT_EQ(dest[0], L'\0');
  EXPECT_EQ(tStrCpy(static_cast<wchar_t*>(nullptr), "x"), E_POINTER);
}

}  // namespace
