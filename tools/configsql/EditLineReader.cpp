// The editing line reader over libedit, built where the library was found.
#include "LineReader.h"

#if defined(YEB_HAVE_LIBEDIT)

#include <histedit.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <csignal>
#include <cstdlib>
#include <cwchar>

#include "platform/Termination.h"

namespace configsql {
namespace {

std::string HistoryPath() {
  const char* home = std::getenv("HOME");
  return home != nullptr && *home != '\0' ? std::string(home) + "/.configsql_history" : "";
}

// The prompt of the line being read; libedit asks for it by callback.
const char* gPrompt = "";
const char* PromptOf(EditLine*) { return gPrompt; }

// Reads one character ourselves, so that a signal ends the wait instead of
// being retried inside the library. The UTF-8 sequence is put together by mbrtowc.
int ReadCharacter(EditLine*, wchar_t* out) {
  std::mbstate_t state{};
  for (;;) {
    // A signal that lands between two reads would not interrupt the next
    // one; waiting in slices closes that gap.
    if (platform::TerminationRequested()) return -1;
    pollfd input{STDIN_FILENO, POLLIN, 0};
    const int ready = ::poll(&input, 1, 100);
    if (ready < 0 && errno != EINTR) return -1;
    if (ready <= 0) continue;
    char byte;
    const ssize_t n = ::read(STDIN_FILENO, &byte, 1);
    if (n == 0) return 0;
    if (n < 0) {
      if (errno == EINTR && !platform::TerminationRequested()) continue;
      return -1;
    }
    wchar_t wide;
    const size_t used = std::mbrtowc(&wide, &byte, 1, &state);
    if (used == static_cast<size_t>(-2)) continue;
    if (used == static_cast<size_t>(-1)) {
      state = std::mbstate_t{};
      continue;
    }
    *out = wide;
    return 1;
  }
}

class EditLineReader : public LineReader {
 public:
  EditLineReader()
      : history_(history_init()), editor_(el_init("configsql", stdin, stdout, stderr)) {
    HistEvent event;
    history(history_, &event, H_SETSIZE, 1000);
    history(history_, &event, H_SETUNIQUE, 1);
    if (!path_.empty()) history(history_, &event, H_LOAD, path_.c_str());
    el_set(editor_, EL_EDITOR, "emacs");
    el_set(editor_, EL_PROMPT, &PromptOf);
    el_set(editor_, EL_HIST, history, history_);
    el_set(editor_, EL_GETCFN, &ReadCharacter);
    el_source(editor_, nullptr);  // the user's ~/.editrc, as other programs read it
  }
  ~EditLineReader() override {
    HistEvent event;
    if (!path_.empty()) history(history_, &event, H_SAVE, path_.c_str());
    el_end(editor_);
    history_end(history_);
  }
  EditLineReader(const EditLineReader&) = delete;
  EditLineReader& operator=(const EditLineReader&) = delete;

  bool ok() const { return history_ != nullptr && editor_ != nullptr; }

  Result Read(const char* prompt, std::string* line) override {
    gPrompt = prompt;
    int count = 0;
    const char* text = el_gets(editor_, &count);
    if (text == nullptr || count <= 0) {
      if (platform::TerminationSignal() == SIGINT) {
        platform::ResetTerminationRequest();
        el_reset(editor_);
        std::fputs("^C\n", stdout);
        std::fflush(stdout);
        return Result::kInterrupted;
      }
      return Result::kEnd;
    }
    line->assign(text, static_cast<size_t>(count));
    while (!line->empty() && (line->back() == '\n' || line->back() == '\r')) line->pop_back();
    if (!line->empty()) {
      HistEvent event;
      history(history_, &event, H_ENTER, line->c_str());
    }
    return Result::kLine;
  }

 private:
  const std::string path_ = HistoryPath();
  History* history_;
  EditLine* editor_;
};

}  // namespace

std::unique_ptr<LineReader> MakeEditingLineReader() {
  // Typed characters beyond ASCII are read in the terminal's encoding.
  std::setlocale(LC_CTYPE, "");
  auto reader = std::make_unique<EditLineReader>();
  if (!reader->ok()) return nullptr;
  return reader;
}

bool HasLineEditing() { return true; }

}  // namespace configsql

#else

namespace configsql {

std::unique_ptr<LineReader> MakeEditingLineReader() { return nullptr; }
bool HasLineEditing() { return false; }

}  // namespace configsql

#endif
