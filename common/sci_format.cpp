#include "common/sci_format.h"

#include <array>
#include <charconv>
#include <cmath>

namespace mirelo {

std::string FormatSci(double x) {
    if (std::isnan(x)) {
        return "NaN";
    }
    if (std::isinf(x)) {
        return x > 0 ? "Infinity" : "-Infinity";
    }
    if (x == 0.0) {
        return "0.000E+00";
    }
    std::array<char, 32> buf{};
    // to_chars rounds correctly and writes at least two exponent digits, like the pattern.
    const auto res = std::to_chars(buf.data(), buf.data() + buf.size(), x, std::chars_format::scientific, 3);
    std::string out(buf.data(), res.ptr);
    for (char& c : out) {
        if (c == 'e') {
            c = 'E';
        }
    }
    return out;
}

}  // namespace mirelo
