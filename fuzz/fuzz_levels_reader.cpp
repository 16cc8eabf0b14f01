// Any bytes as a reference-level file: the reader must refuse with a placed message or give levels
// that each name one protocol or one device and carry a finite level above 0.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "register/summary.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto levels = mirelo::registry::ParseLevels(text, "fuzz.toml");
    if (!levels) {
        if (mirelo::profiles::DescribeProfileError(levels.error()).rfind("fuzz.toml", 0) != 0) {
            __builtin_trap();
        }
        return 0;
    }
    for (const auto& level : levels->entries) {
        if (level.protocol.empty() == level.device.empty() || (!level.dapGyCm2 && !level.energyJ)) {
            __builtin_trap();
        }
        for (const auto& value : {level.dapGyCm2, level.energyJ}) {
            if (value && !(std::isfinite(*value) && *value > 0)) {
                __builtin_trap();
            }
        }
    }
    return 0;
}
