// Any text typed into a field is either refused, empty or a number; NaN can never come out of it,
// and a number read back from its own shortest text is the same.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "common/numeric_reading.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto plain = mirelo::ReadFieldNumber(text);
    const auto withUnit = mirelo::ReadFieldNumber(text, {"mm", "Gy·cm²"});
    if ((plain && plain->has_value() && std::isnan(**plain)) || (withUnit && withUnit->has_value() && std::isnan(**withUnit))) {
        __builtin_trap();
    }
    // A unit may only add readings, never change one.
    if (plain && withUnit && plain->has_value() != withUnit->has_value()) {
        __builtin_trap();
    }
    if (plain && plain->has_value() && withUnit && **plain != **withUnit) {
        __builtin_trap();
    }
    if (plain && !withUnit) {
        __builtin_trap();
    }
    return 0;
}
