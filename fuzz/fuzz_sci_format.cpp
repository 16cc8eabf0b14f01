// Any double, written in the "0.000E+00" pattern and read back, keeps its value to the rounding of
// four significant digits, and the text has the pattern's shape.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "common/decimal.h"
#include "common/sci_format.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < sizeof(double)) {
        return 0;
    }
    double x = 0;
    std::memcpy(&x, data, sizeof x);
    const std::string s = mirelo::FormatSci(x);
    if (!std::isfinite(x)) {
        return 0;
    }
    const std::size_t start = s[0] == '-' ? 1 : 0;
    const bool shape = s.size() >= start + 9 && s[start + 1] == '.' && s[start + 5] == 'E' &&
                       (s[start + 6] == '+' || s[start + 6] == '-') && s.size() - (start + 7) >= 2;
    if (!shape) {
        __builtin_trap();
    }
    const double back = mirelo::DecimalValue(s);
    if (x == 0) {
        if (back != 0) {
            __builtin_trap();
        }
    } else if (std::isfinite(back) && std::fabs(x) > 1e-300 && std::fabs(back - x) > 5.0001e-4 * std::fabs(x)) {
        // Rounding the largest doubles up to four digits may pass the top of the range; that
        // reads back as infinity and is left out here.
        __builtin_trap();
    }
    return 0;
}
