#include "common/path_text.h"

#include "common/utf8.h"

namespace mirelo {

std::string PathText(const std::filesystem::path& path) {
#ifdef _WIN32
    // Windows names are UTF-16 that need not be well formed: a lone surrogate becomes U+FFFD here
    // instead of the exception u8string() would throw.
    const std::wstring& wide = path.native();
    std::string out;
    out.reserve(wide.size());
    for (std::size_t i = 0; i < wide.size(); ++i) {
        const char32_t c = static_cast<char16_t>(wide[i]);
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < wide.size()) {
            const char32_t low = static_cast<char16_t>(wide[i + 1]);
            if (low >= 0xDC00 && low < 0xE000) {
                AppendUtf8(out, 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00));
                ++i;
                continue;
            }
        }
        AppendUtf8(out, c >= 0xD800 && c < 0xE000 ? char32_t{0xFFFD} : c);
    }
    return out;
#else
    return path.native();
#endif
}

std::filesystem::path PathFromText(std::string_view utf8) {
#ifdef _WIN32
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
#else
    return std::filesystem::path(std::string(utf8));
#endif
}

std::vector<std::filesystem::path> PathsFromText(const std::vector<std::string>& utf8) {
    std::vector<std::filesystem::path> paths;
    paths.reserve(utf8.size());
    for (const std::string& text : utf8) paths.push_back(PathFromText(text));
    return paths;
}

}  // namespace mirelo
