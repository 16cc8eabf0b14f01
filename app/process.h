#pragma once

#include <filesystem>

// What the program needs from the operating system about its own process.
namespace mirelo {

// A write past a file-size limit (ulimit -f) fails with an error the program reports, instead of
// ending the program by a signal. Call once, first thing.
void IgnoreFileSizeLimitSignal();

// The folder of the running executable, in the file system's own bytes: also a path that is not
// valid in the locale's encoding, for which Qt gives no folder at all. Needs the application object.
std::filesystem::path ExecutableFolder();

}  // namespace mirelo
