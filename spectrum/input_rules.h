#pragma once

#include <optional>

#include "common/result.h"

namespace mirelo {

// The values a calculation is made from, in the units the user enters them. Each front end fills
// in the ones it has; an absent value is not checked.
struct InputValues {
    std::optional<double> kv{};      // a fixed tube voltage, or the low end of a range
    std::optional<double> kvHigh{};  // the high end of a range
    std::optional<double> targetAngleDeg{};
    std::optional<double> inherentMmAl{}, alMm{}, cuMm{};
    std::optional<double> areaDose{};  // in whatever unit the meter shows
    std::optional<double> hvlMmAl{};  // a first HVL measured at `kv`
};

enum class InputField { Kv, KvHigh, TargetAngle, Inherent, Al, Cu, AreaDose, Hvl };

enum class InputRule {
    Range,  // outside the values the field may take
    Order,  // a voltage range that does not run upwards
};

struct InputRefusal {
    InputField field;
    InputRule rule = InputRule::Range;
};

// The one rule for what a calculation may be made from: tube voltages from 0 to 150 kV, a range
// running upwards; a target angle above 0° and below 90°; filter thicknesses and the area dose finite
// and not negative; a measured HVL finite and above 0, and the voltage it was measured at above 0.
// The first value that breaks it is named, in the order of InputField; the values come back as given.
Result<InputValues, InputRefusal> CheckInputs(const InputValues& values);

}  // namespace mirelo
