// Builds the lines of Att_coeff2021.dat and effEA.dat.
#pragma once

#include <array>
#include <functional>
#include <string>
#include <vector>

#include "slab_mc.h"
#include "xsection.h"

namespace mirelo::tables {

inline constexpr int kBins = 300;            // bin n holds E = 0.5 n keV
inline constexpr double kBinWidthKev = 0.5;
inline constexpr int kThicknesses = 11;      // 10, 12, ..., 30 cm
inline constexpr std::uint64_t kSeed = 20210401;

inline double BinEnergy(int bin) { return kBinWidthKev * bin; }
inline double Thickness(int index) { return 10.0 + 2.0 * index; }

// Formats a value so the files are the same bytes on every machine and
// locale: scientific, 7 significant digits.
std::string FormatValue(double v);

struct AttMaterials {
    Material tungsten = Tungsten();
    Material aluminium = Aluminium();
    Material copper = Copper();
    Material tissue = SoftTissueIcrp();
    Material air = DryAir();
};

// One record of Att_coeff2021.dat: E, mu(W), mu(Al), mu(Cu) in 1/cm,
// muen/rho(tissue), mu/rho(tissue), muen/rho(air) in cm^2/g.
std::string AttLine(int bin, const AttMaterials& m);

struct EffEaRow {
    int bin;
    std::array<SlabResult, kThicknesses> result;
};

std::string EffEaLine(const EffEaRow& row);

// Runs every (bin, thickness) task on the given number of threads. Each task
// has its own seeded stream, so the result is independent of `threads`.
std::vector<EffEaRow> ComputeEffEa(const std::vector<int>& bins, int threads,
                                   const TransportTables& tissue, const RunControl& control,
                                   const std::function<void(int done, int total)>& progress = {});

}  // namespace mirelo::tables
