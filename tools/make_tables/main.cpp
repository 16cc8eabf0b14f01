// make_tables: writes Att_coeff2021.dat and effEA.dat from xraylib cross
// sections and a slab Monte Carlo. Same bytes on every run and thread count.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "generate.h"

namespace mt = mirelo::tables;

namespace {

void Usage() {
    std::fprintf(stderr,
                 "usage: make_tables [--out DIR] [--bins LIST] [--threads N] [--stats FILE]\n"
                 "  --out DIR     folder for Att_coeff2021.dat and effEA.dat (default .)\n"
                 "  --bins LIST   energy bins to write, e.g. 20,60-62,140 (bin n is 0.5 n keV);\n"
                 "                default all 1-%d\n"
                 "  --threads N   worker threads (default 2); does not change the output\n"
                 "  --stats FILE  also write histories and relative sd of every entry\n",
                 mt::kBins);
}

std::vector<int> ParseBins(const std::string& s) {
    std::vector<int> bins;
    std::size_t pos = 0;
    while (pos <= s.size()) {
        const std::size_t end = std::min(s.find(',', pos), s.size());
        const std::string item = s.substr(pos, end - pos);
        const std::size_t dash = item.find('-');
        const int a = std::stoi(item.substr(0, dash));
        const int b = dash == std::string::npos ? a : std::stoi(item.substr(dash + 1));
        for (int n = a; n <= b; ++n) {
            if (n < 1 || n > mt::kBins) throw std::invalid_argument("bin out of range: " + item);
            bins.push_back(n);
        }
        pos = end + 1;
    }
    if (bins.empty()) throw std::invalid_argument("no bins selected: " + s);
    return bins;
}

void WriteLines(const std::filesystem::path& path, const std::vector<std::string>& lines) {
    std::ofstream out(path, std::ios::binary);
    for (const auto& l : lines) out << l << '\n';
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

}  // namespace

int main(int argc, char** argv) {
    std::filesystem::path out_dir = ".";
    std::vector<int> bins;
    for (int n = 1; n <= mt::kBins; ++n) bins.push_back(n);
    int threads = 2;
    std::string stats_path;
    try {
        for (int i = 1; i < argc; ++i) {
            const std::string a = argv[i];
            const bool has_value = i + 1 < argc;
            if (a == "--out" && has_value) out_dir = argv[++i];
            else if (a == "--bins" && has_value) bins = ParseBins(argv[++i]);
            else if (a == "--threads" && has_value) threads = std::max(1, std::stoi(argv[++i]));
            else if (a == "--stats" && has_value) stats_path = argv[++i];
            else { Usage(); return 2; }
        }
        std::filesystem::create_directories(out_dir);
        const auto start = std::chrono::steady_clock::now();

        const mt::AttMaterials materials;
        std::vector<std::string> att;
        for (int n : bins) att.push_back(mt::AttLine(n, materials));
        WriteLines(out_dir / "Att_coeff2021.dat", att);

        const mt::TransportTables tissue(materials.tissue);
        const mt::RunControl control;
        const auto rows = mt::ComputeEffEa(bins, threads, tissue, control, [](int done, int total) {
            // Each `done` value is seen by one thread only, so this needs no lock.
            const int step = std::max(1, total / 10);
            if (done % step == 0 || done == total)
                std::fprintf(stderr, "effEA %d/%d tasks\n", done, total);
        });
        std::vector<std::string> eff;
        for (const auto& r : rows) eff.push_back(mt::EffEaLine(r));
        WriteLines(out_dir / "effEA.dat", eff);

        if (!stats_path.empty()) {
            std::vector<std::string> stats;
            for (const auto& r : rows) {
                std::string line = std::to_string(r.bin);
                for (const auto& s : r.result) {
                    line += ',';
                    line += std::to_string(s.histories);
                    line += ',';
                    line += mt::FormatValue(s.rel_sd);
                }
                stats.push_back(line);
            }
            WriteLines(stats_path, stats);
        }
        const double secs =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::fprintf(stderr, "wrote %zu bins to %s in %.1f s; xraylib extrapolations: %ld\n",
                     bins.size(), out_dir.string().c_str(), secs, mt::ExtrapolationCount());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "make_tables: %s\n", e.what());
        return 1;
    }
    return 0;
}
