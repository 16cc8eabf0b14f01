#pragma once

#include <map>
#include <optional>
#include <tuple>

#include "calc/conditions.h"
#include "common/result.h"
#include "dose/volume_dose.h"
#include "quality/quality.h"
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

// Spectra already computed, by beam and tube voltage. A batch from dose reports repeats a few
// protocols many times, and the spectrum is by far the costliest step.
class SpectrumCache {
public:
    Result<PhotonSpectrum, SpectrumInputError> Get(const Tables& tables, const Beam& beam, const TubeVoltage& voltage);
    // The beam quality of that spectrum, computed once per spectrum (nothing when it has none).
    std::optional<BeamQuality> Quality(const Tables& tables, const Beam& beam, const TubeVoltage& voltage);
    std::size_t Computed() const { return computed_; }
    std::size_t QualitiesComputed() const { return qualitiesComputed_; }

private:
    using Key = std::tuple<double, double, double, double, double, double, Spread>;
    struct Entry {
        PhotonSpectrum spectrum;
        std::optional<std::optional<BeamQuality>> quality;  // outer: not computed yet
    };
    static Key KeyOf(const Beam& beam, const TubeVoltage& voltage);
    std::map<Key, Entry> spectra_;
    std::size_t computed_ = 0, qualitiesComputed_ = 0;
};

// The spectrum and, with an area dose, the volume dose, and with `quality` the beam quality. The
// engine's refusals come back as the input they concern.
Result<Calculation, InputError> Calculate(const Tables& tables, const Conditions& conditions, SpectrumCache& cache,
                                          bool quality = false);

}  // namespace mirelo::calc
