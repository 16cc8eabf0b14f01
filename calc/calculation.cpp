#include "calc/calculation.h"

namespace mirelo::calc {
namespace {

std::string TextOf(const std::optional<std::string>& text, const char* byDefault) { return text ? *text : byDefault; }

}  // namespace

Result<Calculation, InputError> Calculate(const Tables& tables, const Conditions& conditions, SpectrumCache& cache,
                                          bool quality) {
    const ConditionTexts& t = conditions.texts;
    auto spectrum = cache.Get(tables, conditions.ToBeam(), conditions.voltage);
    if (!spectrum) {
        // ReadConditions refuses these first; kept so that a change there cannot go unnoticed.
        return spectrum.error() == SpectrumInputError::TargetAngle
                   ? Failure{InputError{Field::Angle, TextOf(t.angle, "12"), "its tangent is 0 or not finite"}}
                   : Failure{InputError{Field::Kv, TextOf(t.kv, ""), "outside 0-150 kV"}};
    }
    Calculation out{conditions, std::move(*spectrum), std::nullopt, quality, std::nullopt, std::nullopt, {}};
    if (quality) {
        out.quality = cache.Quality(tables, conditions.ToBeam(), conditions.voltage);
    }
    if (!conditions.areaDose) {
        return out;
    }
    const auto dose = ComputeVolumeDose(tables, out.spectrum, conditions.areaDoseGyCm2);
    if (!dose) {
        switch (dose.error()) {
            case DoseError::NoSpectrum:
                return Failure{InputError{Field::Kv, TextOf(t.kv, ""),
                                          "no photons reach the patient (a voltage too low, or filters too thick, "
                                          "for these tables)"}};
            case DoseError::AreaDose:
            case DoseError::OutOfRange:
                break;
        }
        return Failure{InputError{Field::AreaDose, TextOf(t.areaDose, ""), "the doses would not fit a double"}};
    }
    out.dose = *dose;
    return out;
}

}  // namespace mirelo::calc
