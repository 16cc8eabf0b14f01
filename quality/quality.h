#pragma once

#include "common/result.h"
#include "spectrum/spectrum.h"
#include "tables/tables.h"

namespace mirelo {

// The beam quality of a spectrum, the figures a physicist compares with the unit's measured ones.
// Thicknesses in mm of aluminium, energies in keV. Definitions and sources: docs/data.md.
struct BeamQuality {
    double hvl1_mm_al = 0;     // first half-value layer: the aluminium that halves the air kerma
    double hvl2_mm_al = 0;     // second: the quarter-value layer minus the first
    double homogeneity = 0;    // hvl1 / hvl2
    double mean_keV = 0;       // mean photon energy, fluence-weighted
    double effective_keV = 0;  // where aluminium's attenuation coefficient equals ln 2 / hvl1
};

enum class QualityError {
    NoPhotons,          // the spectrum carries no air kerma over the bins up to its tube voltage
    NoHalfValueLayer,   // aluminium never halves or quarters the kerma (only with unphysical tables)
    NoEffectiveEnergy,  // aluminium's column never takes the value ln 2 / hvl1
};

// Air kerma behind x of aluminium, K(x) = sum of fluence * E * (mu_en/rho)_air * exp(-mu_Al * x) over
// bins 1 .. LastBin(spectrum.highKv); the layers solve K(x) = K(0) / 2 and K(0) / 4 to well below
// 1e-6 mm. Never returns a value that is not finite.
Result<BeamQuality, QualityError> ComputeBeamQuality(const Tables& tables, const PhotonSpectrum& spectrum);

// The inherent filtration (aluminium equivalent) a fit may choose.
inline constexpr double kMinInherentMmAl = 0;
inline constexpr double kMaxInherentMmAl = 20;

// A measured first HVL and the conditions it was measured at: everything but the inherent filtration.
struct HvlMeasurement {
    double targetAngleDeg = 12;
    double alMm = 0;   // added aluminium
    double cuMm = 0;   // added copper
    double kv = 80;    // one fixed tube voltage
    double hvl1MmAl = 0;
};

struct InherentFit {
    double inherent_mm_al = 0;
    BeamQuality quality;  // of the spectrum with that filtration
};

struct FitError {
    enum class Kind {
        TargetAngle,    // its tangent is 0 or not finite
        TubeVoltage,    // not above 0, above 150 kV, or not finite
        NoBeamQuality,  // some filtration in the range gives a spectrum without a beam quality
        Unreachable,    // no filtration in the range gives the measured HVL
    };
    Kind kind = Kind::Unreachable;
    // Unreachable: the first HVLs at kMinInherentMmAl and kMaxInherentMmAl, the reachable range.
    double lowestHvlMmAl = 0;
    double highestHvlMmAl = 0;
};

// The inherent filtration in [kMinInherentMmAl, kMaxInherentMmAl] whose spectrum (ComputeSpectrum at
// the measurement's angle, filters and voltage) has the measured first HVL, to 1e-6 mm.
Result<InherentFit, FitError> FitInherentFiltration(const Tables& tables, const HvlMeasurement& measurement);

}  // namespace mirelo
