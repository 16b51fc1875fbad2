// The status type, its one mapping from system error numbers, and the
// diagnostics capture that lets a failed step show the library's reasons.

#include "platform/Status.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "platform/DebugOutput.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

using platform::Status;

TEST(Status, CarriesCodeAndReasonAndTakesContext) {
  EXPECT_TRUE(Status().ok());
  EXPECT_TRUE(Status::Ok().message().empty());
  const Status failed = Status::InvalidArgument("line 3: \"abc\" is not a number");
  EXPECT_FALSE(failed.ok());
  EXPECT_EQ(failed.code(), Status::Code::kInvalidArgument);
  const Status wrapped = failed.WithContext("parmInfo.txt");
  EXPECT_EQ(wrapped.message(), "parmInfo.txt: line 3: \"abc\" is not a number");
  EXPECT_EQ(wrapped.code(), Status::Code::kInvalidArgument);
  EXPECT_TRUE(Status::Ok().WithContext("x").ok());
}

TEST(Status, SystemErrorsReadAlikeOnEverySystem) {
#ifdef _WIN32
  const int missing = ERROR_FILE_NOT_FOUND, missingPath = ERROR_PATH_NOT_FOUND;
  const int denied = ERROR_ACCESS_DENIED;
#else
  const int missing = ENOENT, missingPath = ENOENT;
  const int denied = EACCES;
#endif
  for (int number : {missing, missingPath}) {
    const Status s = platform::SystemError("parmInfo.txt", number);
    EXPECT_EQ(s.code(), Status::Code::kNotFound);
    EXPECT_EQ(s.message(), "parmInfo.txt: does not exist");
  }
  const Status s = platform::SystemError("port 49000", denied);
  EXPECT_EQ(s.code(), Status::Code::kIoError);
  // The system's words, on one line, without the system's own line end.
  const std::string& text = s.message();
  ASSERT_GT(text.size(), std::string("port 49000: ").size());
  EXPECT_EQ(text.rfind("port 49000: ", 0), 0u);
  EXPECT_EQ(text.find_first_of("\r\n"), std::string::npos);
  EXPECT_NE(text.back(), '.');
  EXPECT_EQ(platform::CRuntimeError("a.txt", ENOENT).message(), "a.txt: does not exist");
}

TEST(DiagnosticsCapture, KeepsWhatATakerWantsAndForwardsTheRest) {
  std::vector<std::string> outer;
  platform::DebugSink saved =
      platform::SetDebugSink([&outer](std::string_view m) { outer.emplace_back(m); });
  {
    platform::DiagnosticsCapture capture;
    platform::WriteDebugString("first\n");
    EXPECT_EQ(capture.Take(), std::vector<std::string>{"first\n"});
    platform::WriteDebugString("second\n");
    EXPECT_TRUE(outer.empty());
  }
  // What was not taken reaches the sink the capture replaced, and that sink
  // is in place again.
  platform::WriteDebugString("third\n");
  platform::SetDebugSink(std::move(saved));
  EXPECT_EQ(outer, (std::vector<std::string>{"second\n", "third\n"}));
}

}  // namespace
