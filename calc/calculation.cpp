#include "calc/calculation.h"

namespace mirelo::calc {
namespace {

std::string TextOf(const std::optional<std::string>& text, const char* byDefault) { return text ? *text : byDefault; }

// Whether a beam lets any photon reach the patient at the conditions' voltage.
bool Photons(const Tables& tables, const Conditions& c, const Beam& beam, SpectrumCache& cache) {
    const auto spectrum = cache.Get(tables, beam, c.voltage);
    return spectrum && ComputeVolumeDose(tables, *spectrum, 1.0).has_value();
}

// No photons reach the patient: the voltage is the reason when the bare tube gives none; else a
// filter that stops them alone, else the filters together.
InputError NoPhotons(const Tables& tables, const Conditions& c, SpectrumCache& cache) {
    if (!Photons(tables, c, Beam::FromMm(c.angleDeg, 0, 0, 0), cache)) {
        return {Field::Kv, TextOf(c.texts.kv, ""), "no photons reach the patient at this voltage with these tables"};
    }
    const struct {
        Field field;
        const std::optional<std::string>& text;
        Beam alone;
    } filters[] = {
        {Field::Inherent, c.texts.inherent, Beam::FromMm(c.angleDeg, c.inherentMm, 0, 0)},
        {Field::Al, c.texts.al, Beam::FromMm(c.angleDeg, 0, c.alMm, 0)},
        {Field::Cu, c.texts.cu, Beam::FromMm(c.angleDeg, 0, 0, c.cuMm)},
    };
    for (const auto& f : filters) {
        if (!Photons(tables, c, f.alone, cache)) {
            return {f.field, TextOf(f.text, ""), "no photons pass a filter this thick"};
        }
    }
    return {Field::None, "", "no photons pass the filters together (--inherent, --al and --cu)"};
}

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
                return Failure{NoPhotons(tables, conditions, cache)};
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
