#include "support/ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "platform/Socket.h"

namespace testsupport {

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
  if (inputFd_ >= 0) close(inputFd_);
  if (outputFd_ >= 0) close(outputFd_);
}

bool ChildProcess::writeInput(const std::string& bytes) {
  if (inputFd_ < 0) return false;
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = write(inputFd_, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

void ChildProcess::closeInput() {
  if (inputFd_ >= 0) close(inputFd_);
  inputFd_ = -1;
}

void ChildProcess::drain(int timeoutMs) {
  if (outputFd_ < 0) return;
  pollfd p{outputFd_, POLLIN, 0};
  while (poll(&p, 1, timeoutMs) > 0) {
    char buf[65536];
    ssize_t n = read(outputFd_, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      close(outputFd_);
      outputFd_ = -1;
      return;
    }
    output_.append(buf, static_cast<size_t>(n));
    timeoutMs = 0;
  }
}

bool ChildProcess::waitForOutput(const std::string& text, std::chrono::milliseconds limit) {
  auto deadline = std::chrono::steady_clock::now() + limit;
  while (output_.find(text) == std::string::npos) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0 || outputFd_ < 0) {
      drain(0);
      return output_.find(text) != std::string::npos;
    }
    drain(static_cast<int>(std::min<long>(left.count(), 50)));
  }
  return true;
}

const std::string& ChildProcess::output() {
  drain(0);
  return output_;
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

int FreeLoopbackPort() {
  platform::SocketStatus status;
  platform::Socket socket = platform::Socket::OpenTcp(status);
  if (!socket.IsOpen() || !socket.Bind(platform::SocketAddress{platform::kLoopbackIp, 0}).ok())
    return -1;
  const uint16_t port = socket.LocalPort();
  return port == 0 ? -1 : port;
}

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "yebtest.XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
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
