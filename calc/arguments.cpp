#include "calc/arguments.h"

#ifdef _WIN32
#include <windows.h>
#include <shellapi.h>

#include <filesystem>

#include "common/path_text.h"
#endif

namespace mirelo::calc {

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
#ifdef _WIN32
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide != nullptr && count == argc) {
        std::vector<std::string> args;
        // A wide string is a Windows file name as it is; PathText is the one UTF-16 to UTF-8 conversion.
        for (int i = 0; i < count; ++i) args.push_back(PathText(std::filesystem::path(wide[i])));
        LocalFree(wide);
        return args;
    }
    if (wide != nullptr) LocalFree(wide);
#endif
    return {argv, argv + argc};
}

}  // namespace mirelo::calc
