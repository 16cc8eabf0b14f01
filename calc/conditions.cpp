#include "calc/conditions.h"

#include <array>
#include <cmath>
#include <tuple>
#include <utility>

#include "common/decimal.h"

namespace mirelo::calc {
namespace {

InputError Error(Field field, std::string_view value, std::string problem) {
    return {field, std::string(value), std::move(problem)};
}

std::string_view TrimBlanks(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) {
        s.remove_prefix(1);
    }
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) {
        s.remove_suffix(1);
    }
    return s;
}

std::optional<double> StrictNumber(std::string_view text) {
    if (!IsDecimalNumber(text)) {
        return std::nullopt;
    }
    return DecimalValue(text);
}

// The tube-voltage dialog's rule: a finite voltage on the grid of the model, 0 to 150 kV.
bool AcceptableKv(double kv) { return std::isfinite(kv) && kv >= 0 && kv <= kMaxTubeVoltageKv; }

// Where "LOW-HIGH" splits: the first '-' after the first character that is not an exponent's sign.
std::size_t RangeDash(std::string_view kv) {
    for (std::size_t i = 1; i < kv.size(); ++i) {
        const char before = kv[i - 1];
        if (kv[i] == '-' && before != 'E' && before != 'e' && before != 'D' && before != 'd') {
            return i;
        }
    }
    return std::string_view::npos;
}

Result<double, InputError> Voltage(Field field, std::string_view whole, std::string_view part) {
    const auto kv = StrictNumber(TrimBlanks(part));
    if (!kv) {
        return Failure{Error(field, whole, "not a number")};
    }
    if (!AcceptableKv(*kv)) {
        return Failure{Error(field, whole, "outside 0-150 kV")};
    }
    return *kv;
}

// A filter thickness in mm: finite and not negative.
Result<double, InputError> Thickness(Field field, const std::optional<std::string>& text, double byDefault) {
    if (!text) {
        return byDefault;
    }
    const auto mm = StrictNumber(*text);
    if (!mm) {
        return Failure{Error(field, *text, "not a number")};
    }
    if (!std::isfinite(*mm) || *mm < 0) {
        return Failure{Error(field, *text, "a thickness must be finite and not negative")};
    }
    return *mm;
}

Result<TubeVoltage, InputError> ReadVoltage(const ConditionTexts& t, bool& range) {
    if (!t.kv) {
        return Failure{Error(Field::Kv, "", "missing")};
    }
    const std::string& kv = *t.kv;
    std::string_view lowText = kv, highText;
    Field highField = Field::Kv;
    range = true;
    if (t.kvHigh) {
        if (RangeDash(kv) != std::string_view::npos) {
            return Failure{Error(Field::KvHigh, *t.kvHigh, "kv already gives a range")};
        }
        highText = *t.kvHigh;
        highField = Field::KvHigh;
    } else if (const std::size_t dash = RangeDash(kv); dash != std::string_view::npos) {
        lowText = std::string_view(kv).substr(0, dash);
        highText = std::string_view(kv).substr(dash + 1);
    } else {
        range = false;
    }
    const auto low = Voltage(Field::Kv, kv, lowText);
    if (!low) {
        return Failure{low.error()};
    }
    Spread spread = Spread::Uniform;
    if (t.spread && *t.spread == "normal") {
        spread = Spread::Normal;
    } else if (t.spread && *t.spread != "uniform") {
        return Failure{Error(Field::Spread, *t.spread, "neither uniform nor normal")};
    }
    if (!range) {
        // The dialog offers the spreads for a range only; uniform over one voltage is that voltage.
        if (spread == Spread::Normal) {
            return Failure{Error(Field::Spread, *t.spread, "a spread needs a range of voltages")};
        }
        return TubeVoltage::Fixed(*low);
    }
    // A message about the high end quotes what the user wrote for it: all of --kv, or kv_high.
    const std::string_view highGiven = highField == Field::Kv ? std::string_view(kv) : highText;
    const auto high = Voltage(highField, highGiven, highText);
    if (!high) {
        return Failure{high.error()};
    }
    // As in the dialog: a range runs upwards (the normal-like weights need a width).
    if (!(*low < *high)) {
        return Failure{Error(highField, highGiven, "the low end must be below the high end")};
    }
    return TubeVoltage{*low, *high, spread};
}

}  // namespace

std::string OptionName(Field field) {
    switch (field) {
        case Field::None: return "";
        case Field::Kv:
        case Field::KvHigh: return "--kv";
        case Field::Spread: return "--spread";
        case Field::Angle: return "--angle";
        case Field::Inherent: return "--inherent";
        case Field::Al: return "--al";
        case Field::Cu: return "--cu";
        case Field::AreaDose: return "--area-dose";
        case Field::Unit: return "--unit";
    }
    return "";
}

std::string ColumnName(Field field) {
    switch (field) {
        case Field::None: return "";
        case Field::Kv: return "kv";
        case Field::KvHigh: return "kv_high";
        case Field::Spread: return "spread";
        case Field::Angle: return "angle";
        case Field::Inherent: return "inherent";
        case Field::Al: return "al";
        case Field::Cu: return "cu";
        case Field::AreaDose: return "area_dose";
        case Field::Unit: return "unit";
    }
    return "";
}

std::string Printable(std::string_view text) {
    constexpr std::size_t kShown = 40;
    std::string out;
    for (std::size_t i = 0; i < text.size() && i < kShown; ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        out += c < 0x20 || c >= 0x7f || c == '"' ? '?' : text[i];
    }
    return text.size() > kShown ? out + "..." : out;
}

std::string DescribeInputError(const InputError& error, Naming naming) {
    std::string out = naming == Naming::Option ? OptionName(error.field) : ColumnName(error.field);
    if (error.field == Field::None) {
        return error.problem;
    }
    return out + (error.value.empty() ? ": " : " \"" + Printable(error.value) + "\": ") + error.problem;
}

Result<Conditions, InputError> ReadConditions(const ConditionTexts& t) {
    Conditions c;
    c.texts = t;
    const auto voltage = ReadVoltage(t, c.range);
    if (!voltage) {
        return Failure{voltage.error()};
    }
    c.voltage = *voltage;

    if (t.angle) {
        const auto angle = StrictNumber(*t.angle);
        if (!angle) {
            return Failure{Error(Field::Angle, *t.angle, "not a number")};
        }
        // The window's check: the model divides by the tangent (with the model's own pi).
        const double tangent = std::tan(*angle * 3.14159 / 180);
        if (tangent == 0 || !std::isfinite(tangent)) {
            return Failure{Error(Field::Angle, *t.angle, "its tangent is 0 or not finite")};
        }
        c.angleDeg = *angle;
    }
    for (const auto& [field, text, mm] : {std::tuple{Field::Inherent, &t.inherent, &c.inherentMm},
                                          std::tuple{Field::Al, &t.al, &c.alMm}, std::tuple{Field::Cu, &t.cu, &c.cuMm}}) {
        const auto thickness = Thickness(field, *text, *mm);
        if (!thickness) {
            return Failure{thickness.error()};
        }
        *mm = *thickness;
    }

    if (t.unit) {
        bool known = false;
        for (const auto& u : kAreaUnits) {
            if (*t.unit == u.ascii) {
                c.unit = u.unit;
                known = true;
            }
        }
        if (!known) {
            return Failure{Error(Field::Unit, *t.unit, "not one of Gy.cm2, mGy.cm2, uGy.m2, dGy.cm2, cGy.cm2, Gy.m2")};
        }
    }
    if (t.areaDose) {
        const auto dose = StrictNumber(*t.areaDose);
        if (!dose) {
            return Failure{Error(Field::AreaDose, *t.areaDose, "not a number")};
        }
        if (!std::isfinite(*dose) || *dose < 0) {
            return Failure{Error(Field::AreaDose, *t.areaDose, "an area dose must be finite and not negative")};
        }
        c.areaDose = *dose;
        c.areaDoseGyCm2 = ToGyCm2(*dose, c.unit);
        if (!std::isfinite(c.areaDoseGyCm2)) {
            return Failure{Error(Field::AreaDose, *t.areaDose, "too large in Gy·cm²")};
        }
    }
    return c;
}

}  // namespace mirelo::calc
