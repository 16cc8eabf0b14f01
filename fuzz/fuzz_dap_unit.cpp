// Any bytes as a dose-area product unit: refused, or a power of ten that the same unit spelt with
// the other separator gives too, within what the prefixes allow; never a crash or a read beyond
// the text.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "rdsr/dap_unit.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // A copy of exactly `size` bytes, so that AddressSanitizer sees any read past the end.
    const std::string text(reinterpret_cast<const char*>(data), size);
    const auto exponent = mirelo::rdsr::DoseAreaExponent(text);
    if (!exponent) {
        return 0;
    }
    // From µGy.cm2 (10^-6) to Gy.m2 (10^4).
    if (*exponent < -6 || *exponent > 4 || text.find("Gy") == std::string::npos || text.back() != '2') {
        __builtin_trap();
    }
    // The separator does not change the factor.
    const auto gy = text.find("Gy");
    std::string other = text;
    if (gy + 2 < other.size() && (other[gy + 2] == '.' || other[gy + 2] == '*')) {
        other[gy + 2] = other[gy + 2] == '.' ? '*' : '.';
        if (mirelo::rdsr::DoseAreaExponent(other) != exponent) {
            __builtin_trap();
        }
    }
    return 0;
}
