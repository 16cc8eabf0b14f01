// How long the spectrum takes, against the plain loops it must agree with, on the shipped tables
// (or the synthetic test tables while data/ has none), how long start-up spends reading them, and
// how long the beam quality and the HVL fit take.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "quality/quality.h"
#include "spectrum/spectrum.h"
#include "tables/table_error_text.h"
#include "tables/table_reader.h"
#include "tests/spectrum/reference_spectrum.h"

namespace {

// The shipped tables when they are there, else the synthetic ones of the tests.
std::filesystem::path TableFolder() {
    const std::filesystem::path shipped = MIRELO_SOURCE_DATA_DIR;
    if (std::filesystem::exists(shipped / mirelo::kAttCoeffFile) &&
        std::filesystem::exists(shipped / mirelo::kEffEAFile)) {
        return shipped;
    }
    return MIRELO_SYNTHETIC_DATA_DIR;
}

const mirelo::Tables& Tables() {
    static const mirelo::Tables tables = [] {
        auto t = mirelo::LoadTables({TableFolder()});
        if (!t) {
            std::cerr << mirelo::DescribeTableError(t.error()) << '\n';
            std::exit(1);
        }
        return *t;
    }();
    return tables;
}

// The main window's default beam: 12 degrees, 2.5 mm inherent and 1.0 mm added aluminium, no copper.
const mirelo::Beam kBeam = mirelo::Beam::FromMm(12, 2.5, 1.0, 0);

mirelo::TubeVoltage Voltage(double low, double high, int mode) {
    return {low, high, mode == 1 ? mirelo::Spread::Uniform : mirelo::Spread::Normal};
}

void PlainLoops(benchmark::State& state, double low, double high, int mode) {
    const auto voltage = Voltage(low, high, mode);
    for (auto _ : state) {
        auto s = mirelo::reference::SpectrumLoops(Tables(), kBeam, voltage);
        benchmark::DoNotOptimize(s.data());
        benchmark::ClobberMemory();
    }
}

void CalcSpectrum(benchmark::State& state, double low, double high, int mode) {
    const auto voltage = Voltage(low, high, mode);
    for (auto _ : state) {
        auto s = mirelo::ComputeSpectrum(Tables(), kBeam, voltage);
        benchmark::DoNotOptimize(s->fluence.data());
        benchmark::ClobberMemory();
    }
}

// The same on the SSE2 path that every x86-64 has, where the processor would take AVX2.
void CalcSpectrumSse2(benchmark::State& state, double low, double high, int mode) {
    const auto voltage = Voltage(low, high, mode);
    for (auto _ : state) {
        auto s = mirelo::ComputeSpectrum(Tables(), kBeam, voltage, mirelo::VectorPath::Sse2);
        benchmark::DoNotOptimize(s->fluence.data());
        benchmark::ClobberMemory();
    }
}

void LoadTables(benchmark::State& state) {
    const std::filesystem::path folder = TableFolder();
    for (auto _ : state) {
        auto t = mirelo::LoadTables({folder});
        if (!t) {
            state.SkipWithError(mirelo::DescribeTableError(t.error()).c_str());
            break;
        }
        benchmark::DoNotOptimize(t->w.data());
    }
}

// The quality of one spectrum; 150 kV fills the most bins.
void Quality(benchmark::State& state, double kv) {
    const auto spectrum = mirelo::ComputeSpectrum(Tables(), kBeam, mirelo::TubeVoltage::Fixed(kv));
    for (auto _ : state) {
        auto q = mirelo::ComputeBeamQuality(Tables(), *spectrum);
        benchmark::DoNotOptimize(q);
    }
}

// One fit: a measured HVL in the middle of the range, and one that needs nearly the thickest filter.
void Fit(benchmark::State& state, double kv, double inherentMm) {
    const auto spectrum =
        mirelo::ComputeSpectrum(Tables(), mirelo::Beam::FromMm(12, inherentMm, 1.0, 0), mirelo::TubeVoltage::Fixed(kv));
    const double hvl = mirelo::ComputeBeamQuality(Tables(), *spectrum)->hvl1MmAl;
    for (auto _ : state) {
        auto fit = mirelo::FitInherentFiltration(Tables(), {12, 1.0, 0, kv, hvl, {}});
        if (!fit) {
            state.SkipWithError("the fit failed");
            break;
        }
        benchmark::DoNotOptimize(fit);
    }
}

#define MIRELO_SPECTRUM_BENCH(name, low, high, mode)                                        \
    BENCHMARK_CAPTURE(PlainLoops, name, low, high, mode)->Unit(benchmark::kMillisecond);   \
    BENCHMARK_CAPTURE(CalcSpectrum, name, low, high, mode)->Unit(benchmark::kMillisecond); \
    BENCHMARK_CAPTURE(CalcSpectrumSse2, name, low, high, mode)->Unit(benchmark::kMillisecond)

MIRELO_SPECTRUM_BENCH(Fixed80kV, 80, 80, 1);
MIRELO_SPECTRUM_BENCH(Fixed150kV, 150, 150, 1);
MIRELO_SPECTRUM_BENCH(Uniform75to85kV, 75, 85, 1);
MIRELO_SPECTRUM_BENCH(Normal0_5to150kV, 0.5, 150, 2);
BENCHMARK(LoadTables)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Quality, 80kV, 80)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Quality, 150kV, 150)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Fit, 80kV_2_5mm, 80, 2.5)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Fit, 150kV_2_5mm, 150, 2.5)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Fit, 150kV_19mm, 150, 19.0)->Unit(benchmark::kMillisecond);

// Prints the runs as usual, keeps each benchmark's CPU time (the median when there are
// repetitions), and at the end how many times faster the calculation ran than the plain loops
// measured in the same run.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            if (median || (run.run_type == Run::RT_Iteration && run.repetitions <= 1)) {
                cpu_[run.run_name.str()] = run.GetAdjustedCPUTime();
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }

    void PrintRatios(std::ostream& out) const {
        const std::string plain = "PlainLoops/";
        for (const auto& [name, cpu] : cpu_) {
            if (name.rfind(plain, 0) != 0) {
                continue;
            }
            const std::string setting = name.substr(plain.size());
            for (const std::string fast : {"CalcSpectrum/", "CalcSpectrumSse2/"}) {
                const auto it = cpu_.find(fast + setting);
                if (it != cpu_.end() && it->second > 0) {
                    out << "ratio " << fast << setting << ": " << cpu / it->second << "x the plain loops (CPU time)\n";
                }
            }
        }
    }

private:
    std::map<std::string, double> cpu_;
};

// How many exponentials the recurrence computes per spectrum, on each path (vector lanes), beside the
// number of (bin, voltage) pairs, which is the least one exponential each would take.
void PrintExponentials(std::ostream& out) {
    const struct {
        const char* name;
        double low, high;
        int mode;
    } settings[] = {{"Fixed80kV", 80, 80, 1}, {"Fixed150kV", 150, 150, 1}, {"Uniform75to85kV", 75, 85, 1},
                    {"Normal0_5to150kV", 0.5, 150, 2}};
    for (const auto& s : settings) {
        const auto voltage = Voltage(s.low, s.high, s.mode);
        long pairs = 0;
        for (double kv = s.low; kv <= s.high; kv += 0.5) {
            pairs += std::max(0, mirelo::LastBin(kv) - 1);
        }
        out << "exponentials " << s.name << ": "
            << mirelo::RecurrenceExponentials(Tables(), kBeam, voltage, mirelo::VectorPath::Sse2) << " (SSE2), "
            << mirelo::RecurrenceExponentials(Tables(), kBeam, voltage, mirelo::VectorPath::Avx2) << " (AVX2), for "
            << pairs << " (bin, voltage) pairs\n";
    }
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::AddCustomContext("tables", TableFolder().string());
    benchmark::AddCustomContext("spectrum path",
                                mirelo::WidestVectorPath() == mirelo::VectorPath::Avx2 ? "AVX2" : "SSE2");
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintRatios(std::cout);
    PrintExponentials(std::cout);
    benchmark::Shutdown();
    return 0;
}
