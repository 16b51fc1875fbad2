// Runs one of our programs as a child process for integration tests, with
// pipes on its standard input and output, and reads its output with time
// limits so that a test never hangs on a child that misbehaves. On POSIX the
// child is forked; on Windows it is created with inherited pipe handles.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

class ChildProcess {
 public:
  // Starts `program` with `args` in `workDir` (empty: the current folder).
  // Standard error is merged into standard output.
  ChildProcess(const std::string& program, const std::vector<std::string>& args,
               const std::string& workDir = "");
  ~ChildProcess();  // kills (SIGKILL, TerminateProcess) and reaps the child if it still runs
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
  // POSIX only: Windows has no signals to send to another process.
  void sendSignal(int signal);
  int pid() const { return pid_; }

 private:
  void drain(int timeoutMs);

  int pid_ = -1;
  // Descriptors on POSIX; on Windows HANDLEs (the process's, too).
  intptr_t process_ = -1;
  intptr_t inputFd_ = -1;
  intptr_t outputFd_ = -1;
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
// Sets or removes a variable of this process's environment (children
// started later inherit it).
void SetEnvironment(const std::string& name, const std::string& value);
void UnsetEnvironment(const std::string& name);
void WriteWholeFile(const std::string& path, const std::string& bytes);

}  // namespace testsupport
