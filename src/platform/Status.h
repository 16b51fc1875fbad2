// The result of an operation of our own code: success, or a failure with a
// code and a message that says what failed and why, naming the file, line,
// port or statement fragment concerned ("parmInfo.txt: does not exist").
//
// The reason travels with the result up to the person who reads it; nothing
// is kept in a global error number. The library's HRESULT codes and the
// 0/1 results of the socket and file wrappers stay where they are; at those
// edges one line turns them into a Status.
//
// A system error number becomes a Status in exactly one place per system
// (SystemError, in posix/ and win32/), so every message about a failed
// system call reads the same way.
//
// Thread safety: a value type; distinct objects may be used on any thread.
#pragma once

#include <string>
#include <string_view>

namespace platform {

class Status {
 public:
  enum class Code {
    kOk,
    kNotFound,         // the file, folder or name does not exist
    kInvalidArgument,  // the input was read and is wrong: a bad number, a bad line
    kIoError,          // the system refused or failed an operation
    kUnsupported,      // asked for something this build or mode does not do
  };

  Status() = default;  // success
  static Status Ok() { return Status(); }
  static Status NotFound(std::string message) {
    return Status(Code::kNotFound, std::move(message));
  }
  static Status InvalidArgument(std::string message) {
    return Status(Code::kInvalidArgument, std::move(message));
  }
  static Status IoError(std::string message) { return Status(Code::kIoError, std::move(message)); }
  static Status Unsupported(std::string message) {
    return Status(Code::kUnsupported, std::move(message));
  }

  bool ok() const { return code_ == Code::kOk; }
  Code code() const { return code_; }
  // Empty on success.
  const std::string& message() const { return message_; }

  // The same failure with `context` put in front ("reading zarnYEB.config: "
  // + message), for a caller that knows what the callee was doing it for.
  Status WithContext(std::string_view context) const;
  // The same code with `message` in place of this one's, for a caller that
  // words the failure for its own reader.
  Status WithMessage(std::string message) const;

 private:
  Status(Code code, std::string message) : code_(code), message_(std::move(message)) {}

  Code code_ = Code::kOk;
  std::string message_;
};

// The system's words for an error number: errno on POSIX, GetLastError()
// (or a Winsock error) on Windows. "does not exist" for a missing file or
// folder on both systems, so that reason reads alike everywhere.
std::string SystemErrorText(int errorNumber);

// `subject` (a path, "port 49000", ...), a colon and the system's words for
// `errorNumber`, with the code that fits the number.
Status SystemError(std::string_view subject, int errorNumber);

// The error number of the calling thread's last failed system call.
int LastSystemError();

// The system's own numbers for the failures a fake file system (tests)
// reports, and the call that makes one the thread's last error, so that the
// reason reads exactly as the real failure's would.
enum class SystemFailure { kDiskFull, kAccessDenied, kIoFailure };
int SystemErrorNumber(SystemFailure failure);
void SetLastSystemError(int errorNumber);

// "PATH: is a folder, not a file" or "PATH: is not a regular file" (a device
// or a pipe), for readers that want a file's contents.
Status NotRegularFile(std::string_view path, bool isFolder);

}  // namespace platform

namespace platform {

// The same for an errno value set by the C runtime (fopen, fwrite, ...),
// which on Windows is not a system error code.
Status CRuntimeError(std::string_view subject, int errnoValue);

}  // namespace platform
