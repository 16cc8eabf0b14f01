// Any text typed into a field reads as a number and never fails; NaN can never come out of it.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "common/numeric_reading.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const double v = mirelo::ReadNumber(std::string_view(reinterpret_cast<const char*>(data), size));
    if (std::isnan(v)) {
        __builtin_trap();
    }
    return 0;
}
