#pragma once

#include <array>
#include <string>

namespace mirelo {

// Energy grid: bin i (1..300) is the photon energy 0.5 * i keV; slot 0 exists and is never read.
inline constexpr int kBins = 300;
inline constexpr int kThicknesses = 11;  // mean body thickness 8 + 2 j cm, j = 1..11

using BinArray = std::array<double, kBins + 1>;
using EffTable = std::array<std::array<double, kThicknesses + 1>, kBins + 1>;

inline constexpr const char* kAttCoeffFile = "Att_coeff2021.dat";
inline constexpr const char* kEffEAFile = "effEA.dat";

// Mean body thickness of column j (1..11) of the absorbed-fraction table, in cm.
constexpr int ThicknessCm(int j) { return 2 * j + 8; }

// Where a table came from, for records that must name the data they were computed with.
struct TableSource {
    std::string path;    // as found, empty for tables built in memory
    std::string sha256;  // of the file's bytes
};

// The coefficient tables, read once and never changed. Slot n is energy bin n; slot and row 0 are 0.
struct Tables {
    BinArray w{};       // tungsten target, attenuation per cm
    BinArray al{};      // aluminium, attenuation per cm
    BinArray cu{};      // copper, attenuation per cm
    BinArray tissue{};  // soft tissue, mass energy-absorption coefficient, cm^2/g
    BinArray air{};     // dry air, mass energy-absorption coefficient, cm^2/g
    EffTable effEA{};   // absorbed energy fraction by bin (row) and thickness (column 1..11)
    TableSource attSource, effSource;
};

}  // namespace mirelo
