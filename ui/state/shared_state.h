#pragma once

#include "tables/tables.h"

namespace mirelo {

// The one store through which the windows exchange data; the main window owns it and hands it to the
// windows it opens. Every cell starts at 0, which is how an unset cell reads.
struct Module1 {
    Tables tables;  // read once at start-up

    // Beam conditions, copied from the main window before every spectrum calculation.
    double TargetAngle = 0;     // degrees
    double InherentFilter = 0;  // cm Al equivalent
    double FilterAl = 0;        // cm
    double FilterCu = 0;        // cm

    // Tube-voltage setting, written by the tube-voltage dialog.
    double KvLow = 0;
    double KvHigh = 0;
    int KvMode = 0;  // 1: equal weights, otherwise Gaussian

    double AreaDose = 0;  // Gy cm^2

    BinArray Spectrum{};  // relative photon fluence per bin, normalised; all 0 while there is none
};

}  // namespace mirelo
