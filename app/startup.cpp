#include "app/startup.h"

namespace mirelo {

std::vector<std::filesystem::path> DataFolders(const std::filesystem::path& executableDir) {
    std::vector<std::filesystem::path> folders;
    folders.emplace_back(".");
    if (!executableDir.empty()) {
        folders.push_back(executableDir.parent_path() / MIRELO_INSTALL_DATA_SUBDIR);
        folders.push_back(executableDir);
    }
    folders.emplace_back(MIRELO_SOURCE_DATA_DIR);
    return folders;
}

}  // namespace mirelo
