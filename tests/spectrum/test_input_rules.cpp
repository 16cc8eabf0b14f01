// The one rule every front end applies to what a calculation is made from.
#include <gtest/gtest.h>

#include <limits>
#include <optional>

#include "spectrum/input_rules.h"

namespace mirelo {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

struct Rule {
    const char* what;
    InputValues values;
    std::optional<InputRefusal> refused;  // nothing: accepted
};

const Rule kRules[] = {
    {"nothing given", {}, std::nullopt},
    {"the main window's defaults", {.kv = 80, .targetAngleDeg = 12, .inherentMmAl = 2.5, .alMm = 1, .cuMm = 0, .areaDose = 1},
     std::nullopt},
    {"the ends of the voltages", {.kv = 0, .kvHigh = 150}, std::nullopt},
    {"angle just inside", {.targetAngleDeg = 1e-9}, std::nullopt},
    {"angle just below 90", {.targetAngleDeg = 89.999999}, std::nullopt},
    {"angle 0", {.targetAngleDeg = 0}, InputRefusal{InputField::TargetAngle}},
    {"angle 90", {.targetAngleDeg = 90}, InputRefusal{InputField::TargetAngle}},
    {"angle negative", {.targetAngleDeg = -12}, InputRefusal{InputField::TargetAngle}},
    {"angle a full turn on", {.targetAngleDeg = 372}, InputRefusal{InputField::TargetAngle}},
    {"angle NaN", {.targetAngleDeg = kNaN}, InputRefusal{InputField::TargetAngle}},
    {"kv above 150", {.kv = 150.5}, InputRefusal{InputField::Kv}},
    {"kv negative", {.kv = -0.5}, InputRefusal{InputField::Kv}},
    {"kv infinite", {.kv = kInf}, InputRefusal{InputField::Kv}},
    {"high end above 150", {.kv = 75, .kvHigh = 151}, InputRefusal{InputField::KvHigh}},
    {"high end NaN", {.kv = 75, .kvHigh = kNaN}, InputRefusal{InputField::KvHigh}},
    {"range downwards", {.kv = 85, .kvHigh = 75}, InputRefusal{InputField::KvHigh, InputRule::Order}},
    {"range of no width", {.kv = 80, .kvHigh = 80}, InputRefusal{InputField::KvHigh, InputRule::Order}},
    {"thicknesses of 0", {.inherentMmAl = 0, .alMm = 0, .cuMm = 0}, std::nullopt},
    {"inherent negative", {.inherentMmAl = -0.1}, InputRefusal{InputField::Inherent}},
    {"aluminium infinite", {.alMm = kInf}, InputRefusal{InputField::Al}},
    {"copper NaN", {.cuMm = kNaN}, InputRefusal{InputField::Cu}},
    {"copper negative", {.alMm = 1, .cuMm = -1}, InputRefusal{InputField::Cu}},
    {"area dose 0", {.areaDose = 0}, std::nullopt},
    {"area dose negative", {.areaDose = -2}, InputRefusal{InputField::AreaDose}},
    {"area dose infinite", {.areaDose = kInf}, InputRefusal{InputField::AreaDose}},
    {"a measured HVL", {.kv = 80, .hvlMmAl = 3}, std::nullopt},
    {"HVL 0", {.kv = 80, .hvlMmAl = 0}, InputRefusal{InputField::Hvl}},
    {"HVL infinite", {.kv = 80, .hvlMmAl = kInf}, InputRefusal{InputField::Hvl}},
    {"HVL measured at 0 kV", {.kv = 0, .hvlMmAl = 3}, InputRefusal{InputField::Kv}},
    // The first field that breaks the rule is named, in the order of InputField.
    {"voltage before angle", {.kv = 200, .targetAngleDeg = 0}, InputRefusal{InputField::Kv}},
    {"angle before filters", {.targetAngleDeg = 90, .inherentMmAl = -1}, InputRefusal{InputField::TargetAngle}},
    {"inherent before aluminium", {.inherentMmAl = -1, .alMm = -1}, InputRefusal{InputField::Inherent}},
    {"filters before area dose", {.cuMm = -1, .areaDose = -1}, InputRefusal{InputField::Cu}},
};

TEST(InputRules, OneRuleNamesTheField) {
    for (const Rule& r : kRules) {
        const auto checked = CheckInputs(r.values);
        ASSERT_EQ(checked.has_value(), !r.refused) << r.what;
        if (r.refused) {
            EXPECT_EQ(checked.error().field, r.refused->field) << r.what;
            EXPECT_EQ(checked.error().rule, r.refused->rule) << r.what;
        }
    }
}

}  // namespace
}  // namespace mirelo
