#pragma once

#include <filesystem>
#include <vector>

namespace mirelo {

// Folders searched for the coefficient tables, in order: the working folder, then the program's
// own data folder (installed layout, then beside the executable), then the source tree's data
// folder for a build that has not been installed.
std::vector<std::filesystem::path> DataFolders(const std::filesystem::path& executableDir);

}  // namespace mirelo
