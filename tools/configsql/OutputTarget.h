// Where the shell's output goes: standard output, a file named by .output
// (until the next .output), or a file named by .once (for the next command
// or statement only).
//
// Thread safety: one thread.
#pragma once

#include <cstdio>
#include <string>

#include "platform/Status.h"

namespace configsql {

class OutputTarget {
 public:
  explicit OutputTarget(std::FILE* standard) : standard_(standard) {}
  ~OutputTarget() { Close(); }
  OutputTarget(const OutputTarget&) = delete;
  OutputTarget& operator=(const OutputTarget&) = delete;

  std::FILE* stream() const { return file_ != nullptr ? file_ : standard_; }

  // An empty path goes back to standard output.
  platform::Status Redirect(const std::string& path, bool once);
  // After each command: a .once target has had its turn.
  platform::Status CommandDone();

 private:
  platform::Status Close();

  std::FILE* standard_;
  std::FILE* file_ = nullptr;
  std::string path_;
  bool once_ = false;
  bool armed_ = false;  // the .once command itself has run; the next one writes
};

}  // namespace configsql
