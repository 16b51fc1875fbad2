// Where the shell's lines come from: a person at a terminal, or a pipe.
//
// On a terminal, where the build has libedit (not on Windows), lines are
// edited with the usual keys and kept in a history that lives in
// ~/.configsql_history between sessions. Elsewhere lines are read as they
// come, with the prompt written only on a terminal.
//
// Ctrl-C (SIGINT, recorded by platform/Termination.h) while a line is being
// typed cancels that line: Read returns kInterrupted, the signal is
// forgotten and the caller asks again. Any other signal ends the input.
//
// Thread safety: main thread only.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

namespace configsql {

class LineReader {
 public:
  enum class Result { kLine, kEnd, kInterrupted };
  virtual ~LineReader() = default;
  // One line without its line ending.
  virtual Result Read(const char* prompt, std::string* line) = 0;
};

// `terminal`: standard input is a terminal (prompts, editing, history).
std::unique_ptr<LineReader> MakeLineReader(std::FILE* in, std::FILE* out, bool terminal);

// The editing reader, or null where the build has no line editing or the
// terminal refuses it.
std::unique_ptr<LineReader> MakeEditingLineReader();

// True when this build edits lines (libedit).
bool HasLineEditing();

}  // namespace configsql
