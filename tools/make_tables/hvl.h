// First half-value layer in aluminium of a spectrum, from the shipped tables.
#pragma once

#include <string>
#include <vector>

namespace mirelo::tables {

// The columns of Att_coeff2021.dat, one entry per energy bin.
struct AttTable {
    std::vector<double> energy;      // keV
    std::vector<double> mu_w;        // 1/cm
    std::vector<double> mu_al;       // 1/cm
    std::vector<double> mu_cu;       // 1/cm
    std::vector<double> muen_tissue; // cm^2/g
    std::vector<double> mu_tissue;   // cm^2/g
    std::vector<double> muen_air;    // cm^2/g
};

// Reads the table; throws std::runtime_error on a malformed record.
AttTable ReadAttTable(const std::string& path);

// Reads comma-separated rows of numbers (the effEA.dat layout).
std::vector<std::vector<double>> ReadRows(const std::string& path);

// Air kerma (arbitrary units) behind x_cm of aluminium; fluence[k] belongs to
// the table's energy bin k.
double AirKerma(const std::vector<double>& fluence, const AttTable& t, double x_cm);

// Aluminium thickness (mm) that halves the air kerma. Throws when the
// spectrum carries no kerma.
double FirstHvlMm(const std::vector<double>& fluence, const AttTable& t);

}  // namespace mirelo::tables
