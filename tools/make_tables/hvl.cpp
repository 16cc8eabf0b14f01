#include "hvl.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace mirelo::tables {

std::vector<std::vector<double>> ReadRows(const std::string& path) {
    std::ifstream in(path);
    if (!in) throw std::runtime_error("cannot open " + path);
    std::vector<std::vector<double>> rows;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty()) continue;
        std::vector<double> row;
        std::istringstream fields(line);
        fields.imbue(std::locale::classic());
        std::string field;
        while (std::getline(fields, field, ',')) {
            std::istringstream f(field);
            f.imbue(std::locale::classic());
            double v;
            if (!(f >> v)) throw std::runtime_error("bad number '" + field + "' in " + path);
            row.push_back(v);
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

AttTable ReadAttTable(const std::string& path) {
    AttTable t;
    for (const auto& r : ReadRows(path)) {
        if (r.size() != 7) throw std::runtime_error("record without 7 values in " + path);
        t.energy.push_back(r[0]);
        t.mu_w.push_back(r[1]);
        t.mu_al.push_back(r[2]);
        t.mu_cu.push_back(r[3]);
        t.muen_tissue.push_back(r[4]);
        t.mu_tissue.push_back(r[5]);
        t.muen_air.push_back(r[6]);
    }
    return t;
}

double AirKerma(const std::vector<double>& fluence, const AttTable& t, double x_cm) {
    const std::size_t n = std::min(fluence.size(), t.energy.size());
    double k = 0.0;
    for (std::size_t i = 0; i < n; ++i)
        k += fluence[i] * t.energy[i] * t.muen_air[i] * std::exp(-t.mu_al[i] * x_cm);
    return k;
}

double FirstHvlMm(const std::vector<double>& fluence, const AttTable& t) {
    const double half = 0.5 * AirKerma(fluence, t, 0.0);
    if (!(half > 0.0)) throw std::runtime_error("spectrum carries no air kerma");
    // Kerma falls monotonically with thickness, so bisection is safe.
    double lo = 0.0;
    double hi = 0.1;
    while (AirKerma(fluence, t, hi) > half) {
        hi *= 2.0;
        if (hi > 1e3) throw std::runtime_error("no half-value layer below 10 m of Al");
    }
    for (int i = 0; i < 100 && hi - lo > 1e-9; ++i) {
        const double mid = 0.5 * (lo + hi);
        (AirKerma(fluence, t, mid) > half ? lo : hi) = mid;
    }
    return 10.0 * 0.5 * (lo + hi);
}

}  // namespace mirelo::tables
