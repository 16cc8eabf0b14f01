#pragma once

#include <string>
#include <string_view>

namespace mirelo {

// Letter case of ASCII only: names in files (columns, materials, units, manufacturers) compare
// without regard to case, whatever the locale, and bytes of other scripts stay as they are.
constexpr char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
std::string AsciiLower(std::string_view text);
bool EqualsNoCase(std::string_view a, std::string_view b);
bool StartsWithNoCase(std::string_view text, std::string_view prefix);

}  // namespace mirelo
