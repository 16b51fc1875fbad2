// Orderly ends on SIGINT and SIGTERM, and a SIGPIPE that never kills.
//
// InstallTerminationHandlers() ignores SIGPIPE (a vanished peer or a closed
// output pipe shows up as a failed write instead) and catches SIGINT and
// SIGTERM: the handler restores a terminal that ConsoleKeyMode changed and
// records the signal. It installs without SA_RESTART, so a blocking call
// (accept, a sleep on a pipe read) returns with EINTR and the caller can
// notice TerminationRequested() and leave through its normal exit path,
// which joins the library's threads before the process ends.
//
// On Windows Ctrl+C and Ctrl+Break (SetConsoleCtrlHandler) stand for SIGINT
// and SIGTERM and are recorded as those; blocking waits there are sliced,
// so the caller notices the request within a slice.
//
// Thread safety: the query functions may be called from any thread.
#pragma once

namespace platform {

void InstallTerminationHandlers();
// True once SIGINT or SIGTERM has arrived.
bool TerminationRequested();
// The signal that arrived, or 0.
int TerminationSignal();

// For tests: forget a recorded signal.
void ResetTerminationRequest();

}  // namespace platform
