#include "support/ChildProcess.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

#include "platform/Socket.h"

namespace testsupport {

#ifndef _WIN32

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& args,
                           const std::string& workDir) {
  int in[2], out[2];
  if (pipe2(in, O_CLOEXEC) != 0) return;
  if (pipe2(out, O_CLOEXEC) != 0) {
    close(in[0]);
    close(in[1]);
    return;
  }
  std::vector<std::string> argStore;
  argStore.push_back(program);
  argStore.insert(argStore.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : argStore) argv.push_back(a.data());
  argv.push_back(nullptr);

  pid_ = fork();
  if (pid_ == 0) {
    dup2(in[0], STDIN_FILENO);
    dup2(out[1], STDOUT_FILENO);
    dup2(out[1], STDERR_FILENO);
    if (!workDir.empty() && chdir(workDir.c_str()) != 0) _exit(126);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  close(in[0]);
  close(out[1]);
  inputFd_ = in[1];
  outputFd_ = out[0];
  signal(SIGPIPE, SIG_IGN);  // a child that ends must not kill the test
}

ChildProcess::~ChildProcess() {
  if (pid_ > 0 && !exited_) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  if (inputFd_ >= 0) close(static_cast<int>(inputFd_));
  if (outputFd_ >= 0) close(static_cast<int>(outputFd_));
}

bool ChildProcess::writeInput(const std::string& bytes) {
  if (inputFd_ < 0) return false;
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = write(static_cast<int>(inputFd_), bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

void ChildProcess::closeInput() {
  if (inputFd_ >= 0) close(static_cast<int>(inputFd_));
  inputFd_ = -1;
}

void ChildProcess::drain(int timeoutMs) {
  if (outputFd_ < 0) return;
  pollfd p{static_cast<int>(outputFd_), POLLIN, 0};
  while (poll(&p, 1, timeoutMs) > 0) {
    char buf[65536];
    ssize_t n = read(static_cast<int>(outputFd_), buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      close(static_cast<int>(outputFd_));
      outputFd_ = -1;
      return;
    }
    output_.append(buf, static_cast<size_t>(n));
    timeoutMs = 0;
  }
}

int ChildProcess::waitForExit(std::chrono::milliseconds limit) {
  if (exited_) return exitStatus_;
  auto deadline = std::chrono::steady_clock::now() + limit;
  for (;;) {
    int status = 0;
    pid_t r = waitpid(pid_, &status, WNOHANG);
    if (r == pid_) {
      exited_ = true;
      exitStatus_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      drain(0);
      return exitStatus_;
    }
    if (std::chrono::steady_clock::now() >= deadline) return -1;
    drain(10);
    if (outputFd_ < 0) usleep(10000);
  }
}

void ChildProcess::sendSignal(int sig) {
  if (pid_ > 0 && !exited_) kill(pid_, sig);
}

void SetEnvironment(const std::string& name, const std::string& value) {
  setenv(name.c_str(), value.c_str(), 1);
}

void UnsetEnvironment(const std::string& name) { unsetenv(name.c_str()); }

#else  // _WIN32

namespace {

HANDLE H(intptr_t h) { return reinterpret_cast<HANDLE>(h); }

// One argument as the runtime's command-line parser reads it back.
std::string Quoted(const std::string& arg) {
  if (!arg.empty() && arg.find_first_of(" \t\"") == std::string::npos) return arg;
  std::string out = "\"";
  size_t backslashes = 0;
  for (char c : arg) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    out.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
    backslashes = 0;
    out.push_back(c);
  }
  out.append(2 * backslashes, '\\');
  return out + "\"";
}

}  // namespace

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& args,
                           const std::string& workDir) {
  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE inRead, inWrite, outRead, outWrite;
  if (!CreatePipe(&inRead, &inWrite, &inherit, 0)) return;
  // Output is read only when a test asks for it; a pipe as large as a
  // POSIX one (the default here is a few KiB) keeps a chatty child from
  // blocking in between, as it would not on Linux.
  constexpr DWORD kOutputPipeBytes = 64 * 1024;
  if (!CreatePipe(&outRead, &outWrite, &inherit, kOutputPipeBytes)) {
    CloseHandle(inRead);
    CloseHandle(inWrite);
    return;
  }
  // Only the child's ends are inherited.
  SetHandleInformation(inWrite, HANDLE_FLAG_INHERIT, 0);
  SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);

  std::string commandLine = Quoted(program);
  for (const std::string& a : args) commandLine += " " + Quoted(a);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = inRead;
  startup.hStdOutput = outWrite;
  startup.hStdError = outWrite;
  PROCESS_INFORMATION info{};
  const BOOL created =
      CreateProcessA(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                     workDir.empty() ? nullptr : workDir.c_str(), &startup, &info);
  CloseHandle(inRead);
  CloseHandle(outWrite);
  if (!created) {
    CloseHandle(inWrite);
    CloseHandle(outRead);
    return;
  }
  CloseHandle(info.hThread);
  pid_ = static_cast<int>(info.dwProcessId);
  process_ = reinterpret_cast<intptr_t>(info.hProcess);
  inputFd_ = reinterpret_cast<intptr_t>(inWrite);
  outputFd_ = reinterpret_cast<intptr_t>(outRead);
}

ChildProcess::~ChildProcess() {
  if (process_ != -1) {
    if (!exited_) {
      TerminateProcess(H(process_), 137);
      WaitForSingleObject(H(process_), 10000);
    }
    CloseHandle(H(process_));
  }
  if (inputFd_ != -1) CloseHandle(H(inputFd_));
  if (outputFd_ != -1) CloseHandle(H(outputFd_));
}

bool ChildProcess::writeInput(const std::string& bytes) {
  if (inputFd_ == -1) return false;
  size_t done = 0;
  while (done < bytes.size()) {
    DWORD n = 0;
    if (!WriteFile(H(inputFd_), bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &n,
                   nullptr) ||
        n == 0)
      return false;
    done += n;
  }
  return true;
}

void ChildProcess::closeInput() {
  if (inputFd_ != -1) CloseHandle(H(inputFd_));
  inputFd_ = -1;
}

// Anonymous pipes cannot be waited on: peek in short steps until the time
// is up or the writer is gone.
void ChildProcess::drain(int timeoutMs) {
  if (outputFd_ == -1) return;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    DWORD available = 0;
    if (!PeekNamedPipe(H(outputFd_), nullptr, 0, nullptr, &available, nullptr)) {
      CloseHandle(H(outputFd_));
      outputFd_ = -1;
      return;
    }
    if (available > 0) {
      char buf[65536];
      DWORD n = 0;
      const DWORD want = std::min<DWORD>(available, sizeof buf);
      if (!ReadFile(H(outputFd_), buf, want, &n, nullptr) || n == 0) {
        CloseHandle(H(outputFd_));
        outputFd_ = -1;
        return;
      }
      // The child's standard output is in text mode, as a console program's
      // is on Windows: its line ends come as CR LF and are read back as LF,
      // so the same expectations hold on both systems. A pair split between
      // two reads is joined by starting one byte back.
      const size_t from = output_.empty() ? 0 : output_.size() - 1;
      output_.append(buf, n);
      size_t kept = from;
      for (size_t i = from; i < output_.size(); ++i) {
        if (output_[i] == '\r' && i + 1 < output_.size() && output_[i + 1] == '\n') continue;
        output_[kept++] = output_[i];
      }
      output_.resize(kept);
      continue;
    }
    if (std::chrono::steady_clock::now() >= deadline) return;
    Sleep(2);
  }
}

int ChildProcess::waitForExit(std::chrono::milliseconds limit) {
  if (exited_) return exitStatus_;
  if (process_ == -1) return -1;
  const auto deadline = std::chrono::steady_clock::now() + limit;
  for (;;) {
    if (WaitForSingleObject(H(process_), 0) == WAIT_OBJECT_0) {
      DWORD code = 0;
      GetExitCodeProcess(H(process_), &code);
      exited_ = true;
      exitStatus_ = static_cast<int>(code);
      drain(50);
      return exitStatus_;
    }
    if (std::chrono::steady_clock::now() >= deadline) return -1;
    drain(10);
  }
}

void ChildProcess::sendSignal(int /*signal*/) {}

void SetEnvironment(const std::string& name, const std::string& value) {
  _putenv_s(name.c_str(), value.c_str());
}

void UnsetEnvironment(const std::string& name) { _putenv_s(name.c_str(), ""); }

#endif  // _WIN32

bool ChildProcess::waitForOutput(const std::string& text, std::chrono::milliseconds limit) {
  auto deadline = std::chrono::steady_clock::now() + limit;
  while (output_.find(text) == std::string::npos) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0 || outputFd_ == -1) {
      drain(0);
      return output_.find(text) != std::string::npos;
    }
    drain(static_cast<int>(std::min<long long>(left.count(), 50)));
  }
  return true;
}

const std::string& ChildProcess::output() {
  drain(0);
  return output_;
}

int FreeLoopbackPort() {
  platform::SocketStatus status;
  platform::Socket socket = platform::Socket::OpenTcp(status);
  if (!socket.IsOpen() || !socket.Bind(platform::SocketAddress{platform::kLoopbackIp, 0}).ok())
    return -1;
  const uint16_t port = socket.LocalPort();
  return port == 0 ? -1 : port;
}

TempDir::TempDir() {
  // create_directory reports whether it made the folder: a name someone
  // else holds is never taken over.
  std::random_device seed;
  std::mt19937_64 random(seed());
  const std::filesystem::path base = std::filesystem::temp_directory_path();
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::filesystem::path candidate =
        base / ("yebtest." + std::to_string(random() % 1'000'000'000));
    std::error_code ec;
    if (std::filesystem::create_directory(candidate, ec)) {
      std::filesystem::permissions(candidate, std::filesystem::perms::owner_all,
                                   std::filesystem::perm_options::replace, ec);
      path_ = candidate.string();
      return;
    }
  }
  throw std::runtime_error("cannot make a temporary folder");
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::add, ec);
  std::filesystem::remove_all(path_, ec);
}

std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteWholeFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace testsupport
