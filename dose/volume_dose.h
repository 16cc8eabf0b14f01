#pragma once

#include <array>

#include "common/result.h"
#include "spectrum/spectrum.h"
#include "tables/tables.h"

namespace mirelo {

// The patient volume dose for one area dose: the number of photons that carry it into the patient
// and the energy imparted for each mean body thickness 10, 12, ... 30 cm.
struct VolumeDose {
    double photons = 0;
    std::array<double, kThicknesses> joules{};  // index j - 1 for thickness ThicknessCm(j)
};

enum class DoseError {
    AreaDose,    // below 0 or not finite
    NoSpectrum,  // the spectrum carries no tissue-weighted energy (all 0, or it underflows)
    OutOfRange,  // the area dose is so large that the results overflow
};

// Scales `spectrum` to `areaDoseGyCm2` over bins 2 .. 2 * kvHigh (the tube-voltage setting's upper
// end, which selects the bins) and imparts it to the absorbed-fraction table.
Result<VolumeDose, DoseError> ComputeVolumeDose(const Tables& tables, const BinArray& spectrum, double kvHigh,
                                                double areaDoseGyCm2);

inline Result<VolumeDose, DoseError> ComputeVolumeDose(const Tables& tables, const PhotonSpectrum& spectrum,
                                                       double areaDoseGyCm2) {
    return ComputeVolumeDose(tables, spectrum.fluence, spectrum.highKv, areaDoseGyCm2);
}

}  // namespace mirelo
