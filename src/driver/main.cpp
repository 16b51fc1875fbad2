// Entry point of the stress tool. The run sequence lives in the driver
// library (driver/RunSequence.h) so that tests can run it in-process; this
// wrapper only sets up the process: signals, the console and the clock.
#include "driver/RunSequence.h"
#include "platform/Clock.h"
#include "platform/Console.h"
#include "platform/Termination.h"
#include "platform/TextOut.h"

int main(int argc, char** argv) {
  platform::InstallTerminationHandlers();
  // Single key presses, without Enter, end a transfer and answer prompts.
  platform::ConsoleKeyMode keyMode;
  driver::RunEnvironment env{platform::StandardOutput(), platform::ConsoleKeys(),
                             platform::SystemClock()};
  return driver::RunStressTool(argc, argv, env);
}
