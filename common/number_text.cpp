#include "common/number_text.h"

#include <array>
#include <charconv>
#include <cmath>

namespace mirelo {

std::string NumberText(double x) {
    if (std::isnan(x)) {
        return "NaN";
    }
    if (std::isinf(x)) {
        return x > 0 ? "Infinity" : "-Infinity";
    }
    if (x == 0.0) {
        return "0";  // negative zero too
    }
    std::array<char, 48> buf{};
    // Rounding to 15 significant digits first hides binary noise such as 0.1 + 0.2.
    const auto res = std::to_chars(buf.data(), buf.data() + buf.size(), x, std::chars_format::general, 15);
    std::string out(buf.data(), res.ptr);
    for (char& c : out) {
        if (c == 'e') {
            c = 'E';
        }
    }
    return out;
}

}  // namespace mirelo
