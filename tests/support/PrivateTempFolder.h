// A temporary folder of the test program's own, set as TMPDIR for the whole
// run (children started by the tests inherit it); TMP on Windows.
//
// A configuration save through the temporary ring writes "<temp folder>
// <base>.tmp<n>" and copies it over the target: fixed names, which test
// programs running at the same time would otherwise share, each copying the
// other's configuration. Register once per test program:
//   ::testing::AddGlobalTestEnvironment(new testsupport::PrivateTempFolder);
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "support/ChildProcess.h"

namespace testsupport {

class PrivateTempFolder : public ::testing::Environment {
 public:
  void SetUp() override {
    if (const char* old = std::getenv(kVariable)) saved_ = old;
    folder_ = std::make_unique<TempDir>();
    SetEnvironment(kVariable, folder_->path());
  }
  void TearDown() override {
    if (saved_.empty()) {
      UnsetEnvironment(kVariable);
    } else {
      SetEnvironment(kVariable, saved_);
    }
    folder_.reset();
  }

 private:
  // What the platform's temporary folder follows (GetTempPathA reads TMP).
#ifdef _WIN32
  static constexpr const char* kVariable = "TMP";
#else
  static constexpr const char* kVariable = "TMPDIR";
#endif
  std::string saved_;
  std::unique_ptr<TempDir> folder_;
};

}  // namespace testsupport
