#include "rdsr/dap_unit.h"

#include <array>
#include <utility>

namespace mirelo::rdsr {
namespace {

// Removes `prefix` from the front of `text` when it is there.
bool Take(std::string_view& text, std::string_view prefix) {
    if (text.substr(0, prefix.size()) != prefix) {
        return false;
    }
    text.remove_prefix(prefix.size());
    return true;
}

}  // namespace

std::optional<int> DoseAreaExponent(std::string_view unit) {
    // Longest first: "µ" is two bytes in UTF-8, and must not be read as a lone byte.
    static constexpr std::array<std::pair<std::string_view, int>, 6> kDosePrefixes{{
        {"\xC2\xB5", -6},  // µ, MICRO SIGN
        {"\xCE\xBC", -6},  // μ, GREEK SMALL LETTER MU
        {"d", -1},
        {"c", -2},
        {"m", -3},
        {"u", -6},
    }};
    int dose = 0;
    for (const auto& [prefix, exponent] : kDosePrefixes) {
        if (Take(unit, prefix)) {
            dose = exponent;
            break;
        }
    }
    if (!Take(unit, "Gy")) {
        return std::nullopt;
    }
    if (!unit.empty() && (unit.front() == '.' || unit.front() == '*')) {
        unit.remove_prefix(1);
    }
    int area = 0;
    if (Take(unit, "c")) {
        area = -2;
    } else if (Take(unit, "d")) {
        area = -1;
    }
    if (!Take(unit, "m") || !(unit == "2" || unit == "^2")) {
        return std::nullopt;
    }
    // 1 [10^d Gy · (10^a m)²] = 10^(d + 2a + 4) Gy·cm²
    return dose + 2 * area + 4;
}

}  // namespace mirelo::rdsr
