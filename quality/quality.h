#pragma once

#include <optional>
#include <span>
#include <vector>

#include "common/result.h"
#include "spectrum/spectrum.h"
#include "tables/tables.h"

namespace mirelo {

// The beam quality of a spectrum, the figures a physicist compares with the unit's measured ones.
// Thicknesses in mm of aluminium, energies in keV. Definitions and sources: docs/data.md.
struct BeamQuality {
    double hvl1MmAl = 0;     // first half-value layer: the aluminium that halves the air kerma
    double hvl2MmAl = 0;     // second: the quarter-value layer minus the first
    double homogeneity = 0;    // hvl1 / hvl2
    double meanKeV = 0;       // mean photon energy, fluence-weighted
    double effectiveKeV = 0;  // where aluminium's attenuation coefficient equals ln 2 / hvl1
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

// What a measurement assumes when it does not say: no added filter in the beam while the HVL was
// measured, and the main window's target angle. Every front end (window, command line, profiles)
// states and uses these.
inline constexpr double kMeasurementAngleDeg = 12;
inline constexpr double kMeasurementAlMm = 0;
inline constexpr double kMeasurementCuMm = 0;

// A measured first HVL (and optionally the second) and the conditions it was measured at:
// everything but the inherent filtration.
struct HvlMeasurement {
    double targetAngleDeg = kMeasurementAngleDeg;
    double alMm = kMeasurementAlMm;  // added aluminium in the beam while it was measured
    double cuMm = kMeasurementCuMm;  // added copper
    double kv = 80;                  // one fixed tube voltage
    double hvl1MmAl = 0;
    std::optional<double> hvl2MmAl;  // not fitted to; compared with the model's second HVL
};

struct InherentFit {
    double inherentMmAl = 0;
    BeamQuality quality;  // of the spectrum with that filtration
};

struct FitError {
    enum class Kind {
        TargetAngle,    // its tangent is 0 or not finite
        TubeVoltage,    // not above 0, above 150 kV, or not finite
        NoBeamQuality,  // not even the thinnest filtration gives a spectrum with a beam quality
        Unreachable,    // no filtration in the range gives the measured HVL
        SameVoltage,    // two measurements of one fit at the same tube voltage
    };
    Kind kind = Kind::Unreachable;
    // Unreachable: the filtrations searched and the first HVLs they give, the reachable range. The
    // thickest is below kMaxInherentMmAl where thicker filters leave no photons (at a few kV).
    double lowestHvlMmAl = 0;
    double highestHvlMmAl = 0;
    double lowestInherentMmAl = kMinInherentMmAl;
    double highestInherentMmAl = kMaxInherentMmAl;
};

// The inherent filtration in [kMinInherentMmAl, kMaxInherentMmAl] whose spectrum (ComputeSpectrum at
// the measurement's angle, filters and voltage) has the measured first HVL, to 1e-6 mm. Where the
// thick end leaves no photons (a few kV), the range is cut to the filtrations that leave some.
Result<InherentFit, FitError> FitInherentFiltration(const Tables& tables, const HvlMeasurement& measurement);

// Several measurements of one tube, each fitted on its own, in rising tube voltage.
struct FittedPoint {
    HvlMeasurement measurement;
    InherentFit fit;
};
struct FiltrationCurve {
    std::vector<FittedPoint> points;  // at least one, tube voltages distinct and rising
};
struct CurveError {
    std::size_t index = 0;  // the measurement (in the order given) that could not be fitted
    FitError error;
};
Result<FiltrationCurve, CurveError> FitFiltrationCurve(const Tables& tables, std::span<const HvlMeasurement> measurements);

// A voltage further than this outside the measured ones is flagged: the filtration there is a guess.
inline constexpr double kFarOutsideKv = 10;

struct InherentAt {
    double mmAl = 0;
    double kvOutside = 0;  // how far the voltage lies outside the measured range, 0 inside it
    bool FarOutside() const { return kvOutside > kFarOutsideKv; }
};

// The filtration at a tube voltage: linear in kV between the fitted points, held at the nearest one
// outside them. The curve must have a point.
InherentAt InherentAtKv(const FiltrationCurve& curve, double kv);

}  // namespace mirelo
