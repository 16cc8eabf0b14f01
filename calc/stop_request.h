#pragma once

// Asking a long-running command to stop, the same on every platform.
#include <atomic>

namespace mirelo::calc {

// From now on `stop` is set when the user or the system asks the program to end: SIGTERM or SIGINT
// on POSIX; Ctrl+C or Ctrl+Break in the console on Windows. `stop` must outlive the program's run.
void SetOnStopRequest(std::atomic<bool>& stop);

}  // namespace mirelo::calc
