#include "calc/conditions.h"

#include <array>
#include <cmath>
#include <tuple>
#include <utility>

#include "common/decimal.h"
#include "spectrum/input_rules.h"

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

Result<double, InputError> Number(Field field, std::string_view whole, std::string_view part) {
    const auto x = StrictNumber(part);
    if (!x) {
        return Failure{Error(field, whole, "not a number")};
    }
    return *x;
}

// The voltage as written; whether it may be used is CheckInputs' decision.
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
    const auto low = Number(Field::Kv, kv, TrimBlanks(lowText));
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
    const auto high = Number(highField, highGiven, TrimBlanks(highText));
    if (!high) {
        return Failure{high.error()};
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
    std::size_t i = 0;
    while (i < text.size() && out.size() < kShown) {
        const auto c = static_cast<unsigned char>(text[i]);
        // A whole UTF-8 character is shown as typed ("８０"); control bytes, quotes and bytes
        // that are not UTF-8 become '?'.
        const std::size_t length = c < 0x80 ? 1 : (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 0;
        bool whole = length > 1 && i + length <= text.size() && c >= 0xC2;
        for (std::size_t k = 1; whole && k < length; ++k) {
            whole = (static_cast<unsigned char>(text[i + k]) & 0xC0) == 0x80;
        }
        if (whole) {
            out.append(text.substr(i, length));
            i += length;
            continue;
        }
        out += length == 1 && c >= 0x20 && c != 0x7f && c != '"' ? text[i] : '?';
        ++i;
    }
    return i < text.size() ? out + "..." : out;
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
    for (const auto& [field, text, value] : {std::tuple{Field::Angle, &t.angle, &c.angleDeg},
                                             std::tuple{Field::Inherent, &t.inherent, &c.inherentMm},
                                             std::tuple{Field::Al, &t.al, &c.alMm}, std::tuple{Field::Cu, &t.cu, &c.cuMm}}) {
        if (*text) {
            const auto x = Number(field, **text, **text);
            if (!x) {
                return Failure{x.error()};
            }
            *value = *x;
        }
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
        const auto dose = Number(Field::AreaDose, *t.areaDose, *t.areaDose);
        if (!dose) {
            return Failure{dose.error()};
        }
        c.areaDose = *dose;
    }

    const InputValues values{.kv = c.voltage.lowKv,
                             .kvHigh = c.range ? std::optional(c.voltage.highKv) : std::nullopt,
                             .targetAngleDeg = c.angleDeg,
                             .inherentMmAl = c.inherentMm,
                             .alMm = c.alMm,
                             .cuMm = c.cuMm,
                             .areaDose = c.areaDose};
    if (const auto checked = CheckInputs(values); !checked) {
        const InputRefusal& refusal = checked.error();
        if (refusal.field == InputField::KvHigh) {
            // The message quotes what the user wrote for the high end: all of kv, or kv_high.
            return Failure{Error(t.kvHigh ? Field::KvHigh : Field::Kv, t.kvHigh ? *t.kvHigh : *t.kv,
                                 refusal.rule == InputRule::Order ? "the low end must be below the high end"
                                                                  : "outside 0-150 kV")};
        }
        const struct {
            InputField input;
            Field field;
            const std::optional<std::string>& text;
            const char* problem;
        } kProblems[] = {
            {InputField::Kv, Field::Kv, t.kv, "outside 0-150 kV"},
            {InputField::TargetAngle, Field::Angle, t.angle, "must be above 0 and below 90 degrees"},
            {InputField::Inherent, Field::Inherent, t.inherent, "a thickness must be finite and not negative"},
            {InputField::Al, Field::Al, t.al, "a thickness must be finite and not negative"},
            {InputField::Cu, Field::Cu, t.cu, "a thickness must be finite and not negative"},
            {InputField::AreaDose, Field::AreaDose, t.areaDose, "an area dose must be finite and not negative"},
        };
        for (const auto& p : kProblems) {
            if (p.input == refusal.field) {
                return Failure{Error(p.field, p.text.value_or(""), p.problem)};
            }
        }
        return Failure{Error(Field::None, "", "refused")};  // no HVL is read here
    }
    if (c.areaDose) {
        c.areaDoseGyCm2 = ToGyCm2(*c.areaDose, c.unit);
        if (!std::isfinite(c.areaDoseGyCm2)) {
            return Failure{Error(Field::AreaDose, *t.areaDose, "too large in Gy·cm²")};
        }
    }
    return c;
}

}  // namespace mirelo::calc
