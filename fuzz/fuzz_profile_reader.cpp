// Any bytes as a profile file: the reader must refuse with a placed message or give profiles that
// are complete and in range, and matching must never fail on them.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "profiles/profiles.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto profiles = mirelo::profiles::ParseProfiles(text, "fuzz.toml");
    if (!profiles) {
        if (mirelo::profiles::DescribeProfileError(profiles.error()).rfind("fuzz.toml", 0) != 0) {
            __builtin_trap();
        }
        return 0;
    }
    for (const auto& p : profiles->entries) {
        const bool keyed = !p.observerUid.empty() || (!p.manufacturer.empty() && !p.model.empty());
        const bool angleOk = p.targetAngleDeg > 0 && p.targetAngleDeg <= 90;
        if (p.name.empty() || !keyed || !angleOk || (p.inherentMmAl && p.hvl)) {
            __builtin_trap();
        }
        if (p.hvl && !(p.hvl->hvlMmAl > 0 && p.hvl->kv > 0 && p.hvl->kv <= 150 && std::isfinite(p.hvl->cuMm))) {
            __builtin_trap();
        }
        const auto* match = mirelo::profiles::MatchProfile(*profiles, {p.observerUid, p.manufacturer, p.model, p.serial,
                                                                       p.plane.empty() ? "single" : p.plane});
        if (match == nullptr) {
            __builtin_trap();  // an entry always matches its own device
        }
    }
    return 0;
}
