#pragma once

#include <optional>

#include "calc/conditions.h"
#include "common/result.h"
#include "dose/volume_dose.h"
#include "quality/quality.h"
#include "quality/spectrum_cache.h"
#include "spectrum/spectrum.h"
#include "tables/tables.h"

namespace mirelo::calc {

// What one calculation gives: the spectrum, and the photon count and doses when an area dose was given.
struct Calculation {
    Conditions conditions;
    PhotonSpectrum spectrum;
    std::optional<VolumeDose> dose;
    // With --quality: the beam quality of the spectrum (empty when it has none).
    bool qualityAsked = false;
    std::optional<BeamQuality> quality;
    // With --fit-hvl: the measurements the inherent filtration (conditions.inherentMm) was fitted to,
    // and where the calculation's voltage lies against them.
    std::optional<FiltrationCurve> fit;
    InherentAt fitAt;
};

// The spectrum and, with an area dose, the volume dose, and with `quality` the beam quality. The
// engine's refusals come back as the input they concern.
Result<Calculation, InputError> Calculate(const Tables& tables, const Conditions& conditions, SpectrumCache& cache,
                                          bool quality = false);

}  // namespace mirelo::calc
