// Unique row ids and the host name in them.
#include "templatelib/UniqueId.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/System.h"

namespace {

TEST(UniqueId, HasCounterTimeHostAndProcessId) {
  schema::UniqueIdGenerator ids([] { return std::string("flighthost"); });
  tString first;
  tString second;
  ASSERT_EQ(ids.Next(&first), S_OK);
  ASSERT_EQ(ids.Next(&second), S_OK);
  const std::string pid = std::to_string(platform::ProcessId());
  // "0-" + "Www" + "Mmm" + day, time and year with the blanks gone.
  const std::string text = first.Text();
  ASSERT_EQ(text.rfind("0-", 0), 0u) << text;
  EXPECT_NE(std::string("SunMonTueWedThuFriSat").find(text.substr(2, 3)), std::string::npos);
  EXPECT_NE(std::string("JanFebMarAprMayJunJulAugSepOctNovDec").find(text.substr(5, 3)),
            std::string::npos);
  const size_t at = text.find('@');
  ASSERT_NE(at, std::string::npos);
  const std::string clock = text.substr(8, at - 8);  // e.g. "820:22:052026"
  EXPECT_TRUE(clock.size() == 13 || clock.size() == 14) << clock;
  EXPECT_EQ(std::count(clock.begin(), clock.end(), ':'), 2) << clock;
  EXPECT_EQ(clock.find_first_not_of("0123456789:"), std::string::npos) << clock;
  EXPECT_EQ(text.substr(at), "@flighthost-" + pid);
  EXPECT_EQ(std::string(second.Text()).rfind("1-", 0), 0u) << second.Text();
  EXPECT_EQ(std::string(second.Text()).substr(std::string(second.Text()).rfind('-') + 1), pid);
  EXPECT_EQ(ids.Next(nullptr), E_POINTER);
}

TEST(UniqueId, AMissingHostNameReadsNoHostNameAndIsRetried) {
  int lookups = 0;
  std::string answer;
  schema::UniqueIdGenerator ids([&] {
    ++lookups;
    return answer;
  });
  tString id;
  ASSERT_EQ(ids.Next(&id), S_OK);
  EXPECT_NE(std::string(id.Text()).find("@noHostName-"), std::string::npos) << id.Text();
  EXPECT_STREQ(ids.LocalHostName(), "noHostName");
  answer = "later";
  ASSERT_EQ(ids.Next(&id), S_OK);
  EXPECT_NE(std::string(id.Text()).find("@later-"), std::string::npos) << id.Text();
  ASSERT_EQ(ids.Next(&id), S_OK);
  EXPECT_EQ(lookups, 3);  // found once, then kept
}

TEST(UniqueId, TheTimeTextHasTheFixedFormBeforeBlanksGo) {
  EXPECT_EQ(schema::AscTimeText({2026, 12, 8, 2, 20, 22, 5}), "Tue Dec  8 20:22:05 2026");
  EXPECT_EQ(schema::AscTimeText({1999, 1, 31, 0, 0, 0, 0}), "Sun Jan 31 00:00:00 1999");
  EXPECT_EQ(schema::AscTimeText({2026, 12, 8, 2, 20, 22, 5}).size(), 24u);
}

}  // namespace
