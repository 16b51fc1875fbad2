#include "platform/StdStreams.h"

#include <windows.h>

namespace platform {

bool StandardInputIsTerminal() {
  DWORD mode;
  return GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) != 0;
}

}  // namespace platform
