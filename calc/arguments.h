#pragma once

// The command line as UTF-8, the same on every platform.
#include <string>
#include <vector>

namespace mirelo::calc {

// The arguments as UTF-8 text. On Windows `argv` is in the ANSI code page, where a file name such as
// "山田.dcm" on a Western system, or "Müller" on a Japanese one, has already become '?': the program's
// own UTF-16 command line is converted instead. On POSIX systems `argv` as it is.
std::vector<std::string> Utf8Arguments(int argc, char** argv);

}  // namespace mirelo::calc
