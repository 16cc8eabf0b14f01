// How long the spectrum takes, against the plain loops it must agree with, on the shipped tables
// (or the synthetic test tables while data/ has none), and how long start-up spends reading them.

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>

#include "app/table_reader.h"
#include "spectrum/calc_spectrum.h"
#include "tests/spectrum/reference_spectrum.h"

namespace {

using mirelo::Module1;

// The shipped tables when they are there, else the synthetic ones of the tests.
std::filesystem::path TableFolder() {
    const std::filesystem::path shipped = MIRELO_SOURCE_DATA_DIR;
    if (std::filesystem::exists(shipped / std::string(mirelo::kAttCoeffFile)) &&
        std::filesystem::exists(shipped / std::string(mirelo::kEffEAFile))) {
        return shipped;
    }
    return MIRELO_SYNTHETIC_DATA_DIR;
}

const mirelo::CoefficientTables& Tables() {
    static const mirelo::CoefficientTables tables = [] {
        std::string error;
        auto t = mirelo::LoadTables({TableFolder()}, error);
        if (!t) {
            std::cerr << error << '\n';
            std::exit(1);
        }
        return *t;
    }();
    return tables;
}

// The main window's default beam: 12 degrees, 2.5 mm inherent and 1.0 mm added aluminium, no copper.
std::unique_ptr<Module1> Beam(double low, double high, int mode) {
    auto s = std::make_unique<Module1>();
    mirelo::StoreTables(Tables(), *s);
    s->TargetAngle = 12;
    s->InherentFilter = 0.25;
    s->FilterAl = 0.1;
    s->FilterCu = 0;
    s->KvLow = low;
    s->KvHigh = high;
    s->KvMode = mode;
    return s;
}

void Run(benchmark::State& state, void (*calc)(Module1&), double low, double high, int mode) {
    auto s = Beam(low, high, mode);
    for (auto _ : state) {
        calc(*s);
        benchmark::DoNotOptimize(s->Spectrum.data());
        benchmark::ClobberMemory();
    }
}

void PlainLoops(benchmark::State& state, double low, double high, int mode) {
    Run(state, mirelo::reference::CalcSpectrumLoops, low, high, mode);
}

void CalcSpectrum(benchmark::State& state, double low, double high, int mode) {
    Run(state, mirelo::CalcSpectrum, low, high, mode);
}

void LoadTables(benchmark::State& state) {
    const std::filesystem::path folder = TableFolder();
    for (auto _ : state) {
        std::string error;
        auto t = mirelo::LoadTables({folder}, error);
        if (!t) {
            state.SkipWithError(error.c_str());
            break;
        }
        benchmark::DoNotOptimize(t->CoefW.data());
    }
}

#define MIRELO_SPECTRUM_BENCH(name, low, high, mode)                                      \
    BENCHMARK_CAPTURE(PlainLoops, name, low, high, mode)->Unit(benchmark::kMillisecond); \
    BENCHMARK_CAPTURE(CalcSpectrum, name, low, high, mode)->Unit(benchmark::kMillisecond)

MIRELO_SPECTRUM_BENCH(Fixed80kV, 80, 80, 1);
MIRELO_SPECTRUM_BENCH(Fixed150kV, 150, 150, 1);
MIRELO_SPECTRUM_BENCH(Uniform75to85kV, 75, 85, 1);
MIRELO_SPECTRUM_BENCH(Normal0_5to150kV, 0.5, 150, 2);
BENCHMARK(LoadTables)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    benchmark::AddCustomContext("tables", TableFolder().string());
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
