#include "generate.h"

#include <atomic>
#include <charconv>
#include <stdexcept>
#include <thread>

namespace mirelo::tables {

std::string FormatValue(double v) {
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::scientific, 6);
    if (r.ec != std::errc{}) throw std::runtime_error("number formatting failed");
    return {buf, r.ptr};
}

namespace {
std::string FormatEnergy(double e) {
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, e, std::chars_format::fixed, 1);
    return {buf, r.ptr};
}
}  // namespace

std::string AttLine(int bin, const AttMaterials& m) {
    const double e = BinEnergy(bin);
    std::string line = FormatEnergy(e);
    for (double v : {MuRhoTotal(m.tungsten, e) * m.tungsten.density,
                     MuRhoTotal(m.aluminium, e) * m.aluminium.density,
                     MuRhoTotal(m.copper, e) * m.copper.density, MuEnRho(m.tissue, e),
                     MuRhoTotal(m.tissue, e), MuEnRho(m.air, e)}) {
        line += ',';
        line += FormatValue(v);
    }
    return line;
}

std::string EffEaLine(const EffEaRow& row) {
    std::string line = FormatEnergy(BinEnergy(row.bin));
    for (const auto& r : row.result) {
        line += ',';
        line += FormatValue(r.fraction);
    }
    return line;
}

std::vector<EffEaRow> ComputeEffEa(const std::vector<int>& bins, int threads,
                                   const TransportTables& tissue, const RunControl& control,
                                   const std::function<void(int, int)>& progress) {
    std::vector<EffEaRow> rows(bins.size());
    for (std::size_t i = 0; i < bins.size(); ++i) rows[i].bin = bins[i];
    const int total = static_cast<int>(bins.size()) * kThicknesses;
    // Highest energies first: they are the slowest tasks, so the threads
    // finish together.
    std::atomic<int> next{0};
    std::atomic<int> done{0};
    auto worker = [&] {
        for (int task = next++; task < total; task = next++) {
            const auto row = static_cast<std::size_t>(bins.size() - 1 - static_cast<std::size_t>(task / kThicknesses));
            const int t = task % kThicknesses;
            rows[row].result[static_cast<std::size_t>(t)] =
                AbsorbedFraction(tissue, BinEnergy(rows[row].bin), Thickness(t),
                                 TaskSeed(kSeed, rows[row].bin, t), control);
            const int d = ++done;
            if (progress) progress(d, total);
        }
    };
    std::vector<std::thread> pool;
    for (int i = 1; i < threads; ++i) pool.emplace_back(worker);
    worker();
    for (auto& th : pool) th.join();
    return rows;
}

}  // namespace mirelo::tables
