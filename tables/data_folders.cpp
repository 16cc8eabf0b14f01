#include "tables/data_folders.h"

namespace mirelo {

std::vector<std::filesystem::path> DataFolders(const std::filesystem::path& executableDir) {
    std::vector<std::filesystem::path> folders;
    folders.emplace_back(".");
    if (!executableDir.empty()) {
        folders.push_back(executableDir.parent_path() / MIRELO_INSTALL_DATA_SUBDIR);
        folders.push_back(executableDir);
    }
    // An installed program must never lean on a source tree that happens to exist on the machine.
    const std::filesystem::path buildDir = MIRELO_BUILD_DIR;
    const auto rel = executableDir.lexically_relative(buildDir);
    if (!executableDir.empty() && !rel.empty() && *rel.begin() != "..") {
        folders.emplace_back(MIRELO_SOURCE_DATA_DIR);
    }
    return folders;
}

}  // namespace mirelo
