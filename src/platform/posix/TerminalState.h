// The terminal settings that ConsoleKeyMode replaced, kept where the signal
// handlers can restore them. Internal to the platform layer.
#pragma once

#include <termios.h>

namespace platform {

void SaveTerminalState(const termios& saved);
void ForgetTerminalState();
// Async-signal-safe: restores the saved settings, if any, and forgets them.
void RestoreTerminalState();

}  // namespace platform
