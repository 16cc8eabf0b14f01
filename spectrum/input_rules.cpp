#include "spectrum/input_rules.h"

#include <cmath>

#include "spectrum/spectrum.h"

namespace mirelo {
namespace {

bool Within(const std::optional<double>& x, double low, bool lowOpen, double high) {
    if (!x) {
        return true;
    }
    const double v = *x;
    return std::isfinite(v) && (lowOpen ? v > low : v >= low) && v <= high;
}

constexpr double kNoLimit = HUGE_VAL;

}  // namespace

Result<InputValues, InputRefusal> CheckInputs(const InputValues& v) {
    // A beam without voltage has no HVL to measure.
    if (!Within(v.kv, 0, v.hvlMmAl.has_value(), kMaxTubeVoltageKv)) {
        return Failure{InputRefusal{InputField::Kv}};
    }
    if (!Within(v.kvHigh, 0, false, kMaxTubeVoltageKv)) {
        return Failure{InputRefusal{InputField::KvHigh}};
    }
    // The normal-like weights of a range need a width.
    if (v.kv && v.kvHigh && !(*v.kv < *v.kvHigh)) {
        return Failure{InputRefusal{InputField::KvHigh, InputRule::Order}};
    }
    // A target at 0° or 90° or beyond has no physical meaning; the model would still give numbers.
    if (v.targetAngleDeg && !(std::isfinite(*v.targetAngleDeg) && *v.targetAngleDeg > 0 && *v.targetAngleDeg < 90)) {
        return Failure{InputRefusal{InputField::TargetAngle}};
    }
    const struct {
        const std::optional<double>& value;
        InputField field;
    } nonNegative[] = {{v.inherentMmAl, InputField::Inherent},
                       {v.alMm, InputField::Al},
                       {v.cuMm, InputField::Cu},
                       {v.areaDose, InputField::AreaDose}};
    for (const auto& [value, field] : nonNegative) {
        if (!Within(value, 0, false, kNoLimit)) {
            return Failure{InputRefusal{field}};
        }
    }
    if (!Within(v.hvlMmAl, 0, true, kNoLimit)) {
        return Failure{InputRefusal{InputField::Hvl}};
    }
    return v;
}

}  // namespace mirelo
