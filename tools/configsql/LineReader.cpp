#include "LineReader.h"

#include <csignal>

#include "platform/Termination.h"

namespace configsql {
namespace {

class PlainLineReader : public LineReader {
 public:
  PlainLineReader(std::FILE* in, std::FILE* out, bool terminal)
      : in_(in), out_(out), terminal_(terminal) {}

  Result Read(const char* prompt, std::string* line) override {
    if (terminal_) {
      std::fputs(prompt, out_);
      std::fflush(out_);
    }
    line->clear();
    for (;;) {
      const int c = std::fgetc(in_);
      if (c == EOF) {
        if (platform::TerminationSignal() == SIGINT && terminal_) {
          platform::ResetTerminationRequest();
          std::clearerr(in_);
          std::fputc('\n', out_);
          return Result::kInterrupted;
        }
        // A last line without its line feed still counts.
        return line->empty() ? Result::kEnd : Result::kLine;
      }
      if (c == '\n') break;
      line->push_back(static_cast<char>(c));
    }
    if (!line->empty() && line->back() == '\r') line->pop_back();
    return Result::kLine;
  }

 private:
  std::FILE* in_;
  std::FILE* out_;
  bool terminal_;
};

}  // namespace

std::unique_ptr<LineReader> MakeLineReader(std::FILE* in, std::FILE* out, bool terminal) {
  if (terminal && in == stdin) {
    if (auto editing = MakeEditingLineReader()) return editing;
  }
  return std::make_unique<PlainLineReader>(in, out, terminal);
}

}  // namespace configsql
