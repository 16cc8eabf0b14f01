#pragma once

#include <filesystem>
#include <vector>

namespace mirelo {

// Folders searched for the coefficient tables, in order: the working folder, then the program's
// own data folder (installed layout, then beside the executable), then, for an executable that
// still lies in its build tree, the source tree's data folder. The windows and the command-line
// tool look in the same places.
std::vector<std::filesystem::path> DataFolders(const std::filesystem::path& executableDir);

// The folder of the running executable as the system names it, in the file system's own bytes (also
// a folder name that is not valid in the locale's encoding); empty where the system does not say.
std::filesystem::path RunningExecutableFolder();

}  // namespace mirelo
