// A temporary folder of the test program's own, set as TMPDIR for the whole
// run (children started by the tests inherit it).
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
    if (const char* old = std::getenv("TMPDIR")) saved_ = old;
    folder_ = std::make_unique<TempDir>();
    setenv("TMPDIR", folder_->path().c_str(), 1);
  }
  void TearDown() override {
    if (saved_.empty()) {
      unsetenv("TMPDIR");
    } else {
      setenv("TMPDIR", saved_.c_str(), 1);
    }
    folder_.reset();
  }

 private:
  std::string saved_;
  std::unique_ptr<TempDir> folder_;
};

}  // namespace testsupport
