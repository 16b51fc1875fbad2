// Runs one of our programs as a child process for integration tests, with
// pipes on its standard input and output, and reads its output with time
// limits so that a test never hangs on a child that misbehaves.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace testsupport {

class ChildProcess {
 public:
  // Starts `program` with `args` in `workDir` (empty: the current folder).
  // Standard error is merged into standard output.
  ChildProcess(const std::string& program, const std::vector<std::string>& args,
               const std::string& workDir = "");
  ~ChildProcess();  // kills (SIGKILL) and reaps the child if it still runs
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool started() const { return pid_ > 0; }

  // Writes bytes to the child's standard input; false once the pipe is gone.
  bool writeInput(const std::string& bytes);
  void closeInput();

  // Reads output until `text` has appeared (true) or the time is up (false).
  bool waitForOutput(const std::string& text, std::chrono::milliseconds limit);
  // Everything the child has printed so far (reads what is pending first).
  const std::string& output();

  // Waits for the child to end; returns its exit status, 128 + signal when a
  // signal ended it, or -1 when it still runs at the limit.
  int waitForExit(std::chrono::milliseconds limit);
  void sendSignal(int signal);
  pid_t pid() const { return pid_; }

 private:
  void drain(int timeoutMs);

  pid_t pid_ = -1;
  int inputFd_ = -1;
  int outputFd_ = -1;
  int exitStatus_ = -1;
  bool exited_ = false;
  std::string output_;
};

// A TCP port on 127.0.0.1 that was free a moment ago (bound to port 0 and
// released).
int FreeLoopbackPort();

// A fresh, empty folder under the temporary folder, removed with its content
// when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

std::string ReadWholeFile(const std::string& path);
void WriteWholeFile(const std::string& path, const std::string& bytes);

}  // namespace testsupport
