#pragma once

#include <filesystem>
#include <vector>

namespace mirelo {

// Folders searched for the coefficient tables, in order: the working folder, then the program's
// own data folder (installed layout, then beside the executable), then, for an executable that
// still lies in its build tree, the source tree's data folder. The windows and the command-line
// tool look in the same places.
std::vector<std::filesystem::path> DataFolders(const std::filesystem::path& executableDir);

}  // namespace mirelo
