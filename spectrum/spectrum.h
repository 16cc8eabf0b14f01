#pragma once

#include <cstdint>

#include "common/result.h"
#include "tables/tables.h"

namespace mirelo {

// The beam between the focal spot and the patient: the target angle in degrees, the filters in cm
// (the inherent filtration as aluminium equivalent). Users give filters in mm: FromMm converts them
// exactly as the main window does.
struct Beam {
    double targetAngleDeg = 12;
    double inherentCmAl = 0.25;
    double alCm = 0.1;
    double cuCm = 0;

    static Beam FromMm(double angleDeg, double inherentMmAl, double alMm, double cuMm) {
        return {angleDeg, inherentMmAl * 0.1, alMm * 0.1, cuMm * 0.1};
    }
};

enum class Spread {
    Uniform,  // every voltage of the range weighs the same
    Normal,   // weights like a normal distribution over the range
};

// One fixed tube voltage (low == high), or a range in 0.5 kV steps from low to high.
struct TubeVoltage {
    double lowKv = 0;
    double highKv = 0;
    Spread spread = Spread::Uniform;
    static TubeVoltage Fixed(double kv) { return {kv, kv, Spread::Uniform}; }
};

// Relative photon fluence per 0.5 keV bin, normalised to a sum of 1 over bins 2 .. 2 * highKv.
// All 0 when the model gave nothing to normalise (everything underflowed or overflowed).
struct PhotonSpectrum {
    BinArray fluence{};
    double highKv = 0;
};

// Whether any bin holds a positive, finite number of photons.
bool HasPhotons(const BinArray& fluence);

// What makes the model meaningless; the caller names the field.
enum class SpectrumInputError {
    TargetAngle,    // its tangent is 0 or not finite
    TubeVoltage,    // not finite, below 0, above 150 kV, or a range whose low end exceeds the high end
};

Result<PhotonSpectrum, SpectrumInputError> ComputeSpectrum(const Tables& tables, const Beam& beam,
                                                           const TubeVoltage& voltage);

// The instruction sets the inner loop is built for. ComputeSpectrum takes the widest this processor
// has; the paths do the same arithmetic and give the same bits. Sse2 runs on every x86-64 (and is
// the only path elsewhere); asking for a path the processor lacks gives Sse2.
enum class VectorPath { Sse2, Avx2 };
bool Supports(VectorPath path);
VectorPath WidestVectorPath();
Result<PhotonSpectrum, SpectrumInputError> ComputeSpectrum(const Tables& tables, const Beam& beam,
                                                           const TubeVoltage& voltage, VectorPath path);

// How many exponentials the recurrence computes for this spectrum on this path (vector lanes,
// so the SSE2 and AVX2 figures differ by the lanes past the last bin), for the benchmark.
std::int64_t RecurrenceExponentials(const Tables& tables, const Beam& beam, const TubeVoltage& voltage,
                                    VectorPath path);

// The last bin a tube voltage reaches, 2 * kv rounded down and never past the grid (0 for none).
int LastBin(double kv);

// Model functions of the tungsten-target spectrum (V tube voltage in kV), exposed for tests and
// for tools that study the model.
double ThomsonWhiddington(double V);  // C(V)
double KLinePercent(double V);        // K(V): 0 at 70 kV and below
double GaussianWeight(double V, double low, double high);

inline constexpr double kMaxTubeVoltageKv = 150;

}  // namespace mirelo
