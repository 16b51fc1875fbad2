// Facts about the process's standard streams that tools need.
//
// Thread safety: any thread.
#pragma once

namespace platform {

// True when standard input is a terminal (a person typing), false for a
// pipe or a file.
bool StandardInputIsTerminal();

}  // namespace platform
