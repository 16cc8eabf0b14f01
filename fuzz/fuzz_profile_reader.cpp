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
        if (p.name.empty() || !keyed || !angleOk || (p.inherentMmAl && !p.hvl.empty())) {
            __builtin_trap();
        }
        // Measurement filters only with measurements; every measurement in range, one per voltage.
        if ((p.hvlAlMm || p.hvlCuMm) && p.hvl.empty()) {
            __builtin_trap();
        }
        for (const double* mm : {p.hvlAlMm ? &*p.hvlAlMm : nullptr, p.hvlCuMm ? &*p.hvlCuMm : nullptr}) {
            if (mm != nullptr && !(std::isfinite(*mm) && *mm >= 0)) {
                __builtin_trap();
            }
        }
        for (std::size_t i = 0; i < p.hvl.size(); ++i) {
            const auto& point = p.hvl[i];
            if (!(point.mmAl > 0 && point.mmAl <= 20 && point.kv > 0 && point.kv <= 150) ||
                (point.mmAl2 && !(*point.mmAl2 > 0 && std::isfinite(*point.mmAl2)))) {
                __builtin_trap();
            }
            for (std::size_t j = 0; j < i; ++j) {
                if (p.hvl[j].kv == point.kv) {
                    __builtin_trap();
                }
            }
        }
        const auto* match = mirelo::profiles::MatchProfile(*profiles, {p.observerUid, p.manufacturer, p.model, p.serial,
                                                                       p.plane.empty() ? "single" : p.plane});
        if (match == nullptr) {
            __builtin_trap();  // an entry always matches its own device
        }
    }
    return 0;
}
