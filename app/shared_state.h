#pragma once

#include <array>
#include <functional>

namespace mirelo {

// Energy grid: bin i (1..300) is the photon energy 0.5 * i keV; slot 0 exists and is never read.
inline constexpr int kBins = 300;
inline constexpr int kThicknesses = 11;  // mean body thickness 8 + 2 j cm, j = 1..11

using BinArray = std::array<double, kBins + 1>;
using EffTable = std::array<std::array<double, kThicknesses + 1>, kBins + 1>;

// The one store through which the windows and calculations exchange data. Every cell starts at 0,
// which is how an unset cell reads.
struct Module1 {
    // Coefficient tables, filled once at start-up.
    BinArray CoefW{};       // tungsten target, per cm
    BinArray CoefAl{};      // aluminium, per cm
    BinArray CoefCu{};      // copper, per cm
    BinArray CoefTissue{};  // soft tissue mass energy-absorption coefficient, cm^2/g
    EffTable EffEA{};       // absorbed energy fraction by bin (row) and thickness (column 1..11)

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

    BinArray Spectrum{};  // relative photon fluence per bin, normalised
    BinArray SpecRaw{};   // work array of the spectrum calculation
    BinArray SpecKv{};    // work array of the spectrum calculation
    double Kv = 0;        // voltage of the current / last spectrum pass
    BinArray PlotBuf{};   // the plot's copy of the spectrum
    std::array<double, kThicknesses + 1> DoseWork{};  // volume dose in J per thickness
};

// The process-wide store.
Module1& SharedState();

// How the spectrum calculation reaches the main window's "show spectrum" command without knowing
// any window: the window installs a handler; without one nothing happens.
void SetEnableCommand9Handler(std::function<void()> handler);
void EnableCommand9();

}  // namespace mirelo
