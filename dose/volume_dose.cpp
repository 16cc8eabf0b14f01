#include "dose/volume_dose.h"

#include <cmath>

namespace mirelo {

Result<VolumeDose, DoseError> ComputeVolumeDose(const Tables& tables, const BinArray& spectrum, double kvHigh,
                                                double areaDose) {
    // A negative area dose has no physical meaning: it would give negative photons and joules.
    if (!(areaDose >= 0) || !std::isfinite(areaDose)) {
        return Failure{DoseError::AreaDose};
    }
    // Bins 2 .. 2 * kvHigh take part (none below 1 kV, also for NaN).
    const int last = LastBin(kvHigh);

    double Z = 0;
    for (int i = 2; i <= last; ++i) {
        const double T = spectrum[i] * (i * 0.5) * 0.001602 * tables.tissue[i];
        Z += T;
    }
    // Also a Z so small that its reciprocal overflows: that is the spectrum's fault (or the tissue
    // table's), not the area dose's.
    if (Z == 0 || !std::isfinite(Z) || !std::isfinite(1 / Z)) {
        return Failure{DoseError::NoSpectrum};
    }
    const double G = areaDose / Z;
    std::array<double, kThicknesses + 1> dose{};
    for (int i = 2; i <= last; ++i) {
        const double Q = spectrum[i] * 1e10 * G * (i * 0.5) * 1.602e-16;
        for (int j = 1; j <= kThicknesses; ++j) {
            dose[j] += Q * tables.effEA[i][j];
        }
    }

    VolumeDose result;
    result.photons = G * 1e10;
    bool finite = std::isfinite(result.photons);
    for (int j = 1; j <= kThicknesses; ++j) {
        result.joules[static_cast<std::size_t>(j - 1)] = dose[j];
        finite = finite && std::isfinite(dose[j]);
    }
    if (!finite) {
        return Failure{DoseError::OutOfRange};
    }
    return result;
}

}  // namespace mirelo
