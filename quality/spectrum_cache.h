#pragma once

#include <cstddef>
#include <map>
#include <optional>
#include <tuple>

#include "common/result.h"
#include "quality/quality.h"
#include "spectrum/spectrum.h"
#include "tables/tables.h"

namespace mirelo {

// Spectra already computed, by beam and tube voltage, with their beam quality once it is asked for.
// Batches and dose reports repeat a few protocols many times, and the spectrum is by far the
// costliest step. Refusals are kept too, so that a refused condition is tried once. One cache
// serves one set of tables.
class SpectrumCache {
public:
    Result<PhotonSpectrum, SpectrumInputError> Get(const Tables& tables, const Beam& beam, const TubeVoltage& voltage);
    // The beam quality of that spectrum (nothing when it has none or was refused).
    std::optional<BeamQuality> Quality(const Tables& tables, const Beam& beam, const TubeVoltage& voltage);
    // How often the model and the quality were computed: distinct conditions while fewer than
    // kMaxCached were held.
    std::size_t Computed() const { return computed_; }
    std::size_t QualitiesComputed() const { return qualitiesComputed_; }

    // Beyond this many distinct conditions the cache starts afresh, so that a batch of nothing but
    // distinct conditions does not hold every spectrum it ever made.
    static constexpr std::size_t kMaxCached = 4096;

private:
    using Key = std::tuple<double, double, double, double, double, double, Spread>;
    struct Entry {
        Result<PhotonSpectrum, SpectrumInputError> spectrum;
        std::optional<std::optional<BeamQuality>> quality;  // outer: not computed yet
    };
    Entry& Find(const Tables& tables, const Beam& beam, const TubeVoltage& voltage);

    std::map<Key, Entry> entries_;
    std::size_t computed_ = 0, qualitiesComputed_ = 0;
};

}  // namespace mirelo
