#include "data_folders/data_folders.h"

#include <string>
#include <system_error>

#ifdef _WIN32
#include <windows.h>
#endif

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

std::filesystem::path RunningExecutableFolder() {
    std::error_code ec;
#ifdef _WIN32
    std::wstring buffer(32768, L'\0');
    const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0 || n >= buffer.size()) {
        return {};
    }
    buffer.resize(n);
    const std::filesystem::path exe = std::filesystem::canonical(buffer, ec);
#else
    const std::filesystem::path exe = std::filesystem::canonical("/proc/self/exe", ec);
#endif
    return ec ? std::filesystem::path() : exe.parent_path();
}

}  // namespace mirelo
