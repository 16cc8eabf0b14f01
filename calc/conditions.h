#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "common/result.h"
#include "dose/area_unit.h"
#include "spectrum/spectrum.h"

namespace mirelo::calc {

// The inputs of one calculation. The command line names them as options (--area-dose), a batch
// file as columns (area_dose).
enum class Field { None, Kv, KvHigh, Spread, Angle, Inherent, Al, Cu, AreaDose, Unit };

std::string OptionName(Field field);  // "--area-dose"; the high end of a range is part of --kv
std::string ColumnName(Field field);  // "area_dose"

// Why an input cannot be used: the field, the text that was given for it, and what is wrong.
struct InputError {
    Field field = Field::None;
    std::string value;
    std::string problem;
};

// How a message names a field: by option on the command line, by column in a batch file.
enum class Naming { Option, Column };

// A value from outside as a message may quote it, as it was typed: UTF-8 characters stay ("８０"),
// control bytes, quotes and bytes that are not UTF-8 become '?' (so the line stays valid UTF-8),
// and only about the first 40 bytes are kept ("..." follows).
std::string Printable(std::string_view text);

// One line for the user: `--kv "200": outside 0-150 kV`, the value Printable.
std::string DescribeInputError(const InputError& error, Naming naming);

// The area-dose units and their conversion are the windows' too (dose/area_unit.h).
using mirelo::AreaUnit;
using mirelo::ToGyCm2;
using mirelo::UnitName;

// The texts of one calculation as given; an absent text takes the main window's default.
struct ConditionTexts {
    std::optional<std::string> kv, kvHigh, spread, angle, inherent, al, cu, areaDose, unit;
};

// One calculation, checked by the rules the windows apply.
struct Conditions {
    TubeVoltage voltage;
    bool range = false;  // given as LOW-HIGH (or with kv_high)
    double angleDeg = 12, inherentMm = 2.5, alMm = 1.0, cuMm = 0;
    std::optional<double> areaDose;  // in `unit`; the spectrum alone does not need it
    AreaUnit unit = AreaUnit::GyCm2;
    double areaDoseGyCm2 = 0;
    ConditionTexts texts;  // for messages about the combination (no photons)

    Beam ToBeam() const { return Beam::FromMm(angleDeg, inherentMm, alMm, cuMm); }
};

// Reads and checks the texts. Numbers are read strictly (the whole text is one decimal number);
// kv is "80" or "75-85" unless kvHigh is given.
Result<Conditions, InputError> ReadConditions(const ConditionTexts& texts);

}  // namespace mirelo::calc
