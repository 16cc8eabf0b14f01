#include "quality/spectrum_cache.h"

namespace mirelo {

SpectrumCache::Entry& SpectrumCache::Find(const Tables& tables, const Beam& beam, const TubeVoltage& voltage) {
    const Key key{beam.targetAngleDeg, beam.inherentCmAl, beam.alCm, beam.cuCm, voltage.lowKv, voltage.highKv, voltage.spread};
    if (const auto it = entries_.find(key); it != entries_.end()) {
        return it->second;
    }
    if (entries_.size() >= kMaxCached) {
        entries_.clear();
    }
    ++computed_;
    return entries_.emplace(key, Entry{ComputeSpectrum(tables, beam, voltage), std::nullopt}).first->second;
}

Result<PhotonSpectrum, SpectrumInputError> SpectrumCache::Get(const Tables& tables, const Beam& beam,
                                                              const TubeVoltage& voltage) {
    return Find(tables, beam, voltage).spectrum;
}

std::optional<BeamQuality> SpectrumCache::Quality(const Tables& tables, const Beam& beam, const TubeVoltage& voltage) {
    Entry& entry = Find(tables, beam, voltage);
    if (!entry.spectrum) {
        return std::nullopt;
    }
    if (!entry.quality) {
        const auto q = ComputeBeamQuality(tables, *entry.spectrum);
        entry.quality = q ? std::optional<BeamQuality>(*q) : std::nullopt;
        ++qualitiesComputed_;
    }
    return *entry.quality;
}

}  // namespace mirelo
