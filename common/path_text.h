#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace mirelo {

// File names as text are UTF-8 everywhere in this program: in messages, records, CSV and JSON, on the
// command line (the Windows program takes its arguments as UTF-16 and converts them) and from the
// windows. std::filesystem's own narrow conversions follow the C library's locale on Windows (the
// ANSI code page, or Latin-1 in the "C" locale), so "C:\Users\山田\…" would not be found again, or
// would throw. On POSIX systems both functions keep the bytes as they are.
std::string PathText(const std::filesystem::path& path);
std::filesystem::path PathFromText(std::string_view utf8);
std::vector<std::filesystem::path> PathsFromText(const std::vector<std::string>& utf8);

}  // namespace mirelo
