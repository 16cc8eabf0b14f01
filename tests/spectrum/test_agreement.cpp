// ComputeSpectrum against the plain loops of the model, bin by bin, over the settings a user can make
// and the ones nobody should.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <limits>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "spectrum/spectrum.h"
#include "tables/table_reader.h"
#include "tests/spectrum/reference_spectrum.h"
#include "tests/spectrum/spectrum_setup.h"

namespace mirelo {
namespace {

using Module1 = Setup;

enum class Tables { AllZero, Synthetic, Shaped, Shipped };

std::string Name(Tables t) {
    switch (t) {
        case Tables::AllZero: return "AllZero";
        case Tables::Synthetic: return "Synthetic";
        case Tables::Shaped: return "Shaped";
        case Tables::Shipped: return "Shipped";
    }
    return "?";
}

// Loads the tables into `s`; false when they are not there (the shipped ones may not be yet).
bool LoadInto(Tables t, Module1& s) {
    if (t == Tables::AllZero) {
        return true;
    }
    if (t == Tables::Shaped) {  // roughly tungsten, aluminium and copper, with a K edge
        for (int i = 1; i <= kBins; ++i) {
            const double E = 0.5 * i;
            s.CoefW[i] = 19.3 * (3000 * std::pow(E, -2.7) * (E >= 69.5 ? 4.5 : 1.0) + 0.06);
            s.CoefAl[i] = 2.699 * (1400 * std::pow(E, -2.9) + 0.15);
            s.CoefCu[i] = 8.96 * (9000 * std::pow(E, -2.8) + 0.15);
        }
        return true;
    }
    const std::filesystem::path dir = t == Tables::Synthetic
                                          ? std::filesystem::path(MIRELO_TEST_DATA_DIR) / "synthetic"
                                          : std::filesystem::path(MIRELO_TEST_DATA_DIR) / ".." / ".." / "data";
    if (t == Tables::Shipped && !std::filesystem::exists(dir / std::string(kAttCoeffFile))) {
        return false;
    }
    const auto tables = LoadTables({dir});
    EXPECT_TRUE(tables.has_value());
    if (!tables) {
        return false;
    }
    s.CoefW = tables->w;
    s.CoefAl = tables->al;
    s.CoefCu = tables->cu;
    return true;
}

struct Setting {
    const char* name;
    double low, high;
    int mode;
};

// The agreement rule for one value: equal (also the same infinity, or both NaN), or within 1e-12
// relative, or — for values that are negligible beside the largest of their array — within 1e-15
// of that largest value (the normalised spectrum: absolute 1e-15 below 1e-10).
::testing::AssertionResult Agree(double actual, double expected, double scale) {
    if (actual == expected || (std::isnan(actual) && std::isnan(expected))) {
        return ::testing::AssertionSuccess();
    }
    const double diff = std::fabs(actual - expected);
    if (std::isfinite(diff) && diff <= 1e-12 * std::fabs(expected)) {
        return ::testing::AssertionSuccess();
    }
    if (std::isfinite(diff) && std::fabs(expected) < 1e-10 * scale && diff <= 1e-15 * scale) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << actual << " instead of " << expected << " (relative "
                                         << diff / std::fabs(expected) << ")";
}

double Largest(const BinArray& a) {
    double m = 0;
    for (double v : a) {
        if (std::isfinite(v)) {
            m = std::max(m, std::fabs(v));
        }
    }
    return m;
}

void ExpectSameArrays(const BinArray& actual, const BinArray& expected, const char* what) {
    const double scale = Largest(expected);
    int failures = 0;
    for (int i = 0; i <= kBins && failures < 5; ++i) {
        const auto r = Agree(actual[i], expected[i], scale);
        EXPECT_TRUE(r) << what << "(" << i << ")";
        failures += r ? 0 : 1;
    }
}

// The model is meaningless without a finite, non-zero cotangent of the target angle, or with a
// tube voltage outside the grid; those settings are refused, everything else is computed.
bool Meaningless(const Setup& s) {
    const double cot = 1 / std::tan(s.TargetAngle * 3.14159 / 180);
    return !std::isfinite(cot) || cot == 0 || !(s.KvLow >= 0 && s.KvLow <= s.KvHigh && s.KvHigh <= 150);
}

// Runs both on `s` and compares the spectra, or checks the refusal.
void ExpectAgreement(const Setup& s) {
    const mirelo::Tables tables = s.AsTables();
    const auto fast = ComputeSpectrum(tables, s.AsBeam(), s.AsVoltage());
    ASSERT_EQ(fast.has_value(), !Meaningless(s));
    if (!fast) {
        return;
    }
    const BinArray plain = reference::SpectrumLoops(tables, s.AsBeam(), s.AsVoltage());
    ExpectSameArrays(fast->fluence, plain, "Spectrum");
    for (int i = 0; i <= kBins; ++i) {
        ASSERT_TRUE(std::isfinite(fast->fluence[i])) << i;
    }
}

std::unique_ptr<Module1> Beam(double angle, double low, double high, int mode) {
    auto s = std::make_unique<Module1>();
    s->TargetAngle = angle;
    s->InherentFilter = 0.25;  // the main window's defaults: 2.5 mm and 1.0 mm aluminium
    s->FilterAl = 0.1;
    s->KvLow = low;
    s->KvHigh = high;
    s->KvMode = mode;
    return s;
}

// --- Tables x target angles x voltage settings, with ordinary and thick filters -----------------

const Setting kSettings[] = {
    {"Fixed20", 20, 20, 1},           {"Fixed70", 70, 70, 1},
    {"Fixed70_5", 70.5, 70.5, 1},     {"Fixed80", 80, 80, 1},
    {"Fixed75_3", 75.3, 75.3, 1},     {"Fixed150", 150, 150, 1},
    {"Uniform75to85", 75, 85, 1},     {"Normal75to85", 75, 85, 2},
    {"Uniform75_3to80", 75.3, 80, 1}, {"Normal75to80_3", 75, 80.3, 2},
    {"Normal0_5to150", 0.5, 150, 2},
};

// Readable parameters in test listings.
void PrintTo(const Setting& setting, std::ostream* os) { *os << setting.name; }
void PrintTo(Tables t, std::ostream* os) { *os << Name(t); }

using GridParam = std::tuple<Tables, double, Setting, bool>;

std::string GridName(const ::testing::TestParamInfo<GridParam>& p) {
    const auto& [tables, angle, setting, thick] = p.param;
    return Name(tables) + "_" + std::to_string(static_cast<int>(angle)) + "deg_" + setting.name +
           (thick ? "_Thick" : "");
}

class SpectrumAgreement : public ::testing::TestWithParam<GridParam> {};

TEST_P(SpectrumAgreement, EveryBinMatchesThePlainLoops) {
    const auto& [tables, angle, setting, thick] = GetParam();
    auto s = Beam(angle, setting.low, setting.high, setting.mode);
    if (!LoadInto(tables, *s)) {
        GTEST_SKIP() << "no shipped tables in data/ yet";
    }
    if (thick) {  // most bins underflow: 10 cm aluminium and 1 cm copper
        s->FilterAl = 10;
        s->FilterCu = 1;
    }
    ExpectAgreement(*s);
}

INSTANTIATE_TEST_SUITE_P(
    Grid, SpectrumAgreement,
    ::testing::Combine(::testing::Values(Tables::Synthetic, Tables::AllZero, Tables::Shaped, Tables::Shipped),
                       ::testing::Values(1.0, 12.0, 45.0, 90.0, 135.0), ::testing::ValuesIn(kSettings),
                       ::testing::Bool()),
    GridName);

// --- Every fixed voltage on the grid and some between, where the recurrence restarts at different
//     depths ------------------------------------------------------------------------------------

std::string TablesName(const ::testing::TestParamInfo<Tables>& p) { return Name(p.param); }

class FixedVoltageSweep : public ::testing::TestWithParam<Tables> {};

TEST_P(FixedVoltageSweep, EveryVoltage) {
    std::vector<double> voltages;
    for (int k = 0; k <= 300; ++k) {
        voltages.push_back(0.5 * k);
    }
    for (double v = 0.3; v < 150; v += 7.3) {
        voltages.push_back(v);
    }
    for (double kv : voltages) {
        SCOPED_TRACE(kv);
        auto s = Beam(12, kv, kv, 1);
        if (!LoadInto(GetParam(), *s)) {
            GTEST_SKIP() << "no shipped tables in data/ yet";
        }
        ExpectAgreement(*s);
    }
}

INSTANTIATE_TEST_SUITE_P(Tables, FixedVoltageSweep, ::testing::Values(Tables::Synthetic, Tables::Shipped),
                         TablesName);

// --- Inputs the windows never produce, and the guards behind them --------------------------------

// Tungsten coefficients that put the self-absorption exponent of every bin at `x`: at the shallow
// end of an off-grid voltage (80.3 kV: T = 80 keV is the first electron energy below it), or at
// the deep end (T = E) when the cotangent is negative.
void ExponentEverywhere(Module1& s, double x, bool deepEnd) {
    const double kv = s.KvLow;
    const double cot = 1 / std::tan(s.TargetAngle * 3.14159 / 180);
    const double D = 19.3 * ThomsonWhiddington(kv);
    for (int i = 2; i <= 2 * static_cast<int>(kv); ++i) {
        const double T = deepEnd ? 0.5 * i : 80.0;
        s.CoefW[i] = -x / (cot * (kv * kv - T * T) / D);
    }
}

struct Hostile {
    const char* name;
    void (*apply)(Module1&);
};

const Hostile kHostile[] = {
    {"TangentZero", [](Module1& s) { s.TargetAngle = 0; }},
    {"TangentZeroOffGrid", [](Module1& s) { s.TargetAngle = 0; s.KvLow = s.KvHigh = 75.3; }},
    {"TangentZeroNegativeTable", [](Module1& s) { s.TargetAngle = 0; s.CoefW[40] = -5; }},
    {"NegativeZeroAngle", [](Module1& s) { s.TargetAngle = -0.0; }},
    {"Angle180", [](Module1& s) { s.TargetAngle = 180; }},
    {"Angle179", [](Module1& s) { s.TargetAngle = 179; }},
    {"Angle91", [](Module1& s) { s.TargetAngle = 91; }},
    {"AngleNaN", [](Module1& s) { s.TargetAngle = std::numeric_limits<double>::quiet_NaN(); }},
    {"AngleHuge", [](Module1& s) { s.TargetAngle = 1e300; }},
    {"Fixed150_5", [](Module1& s) { s.KvLow = s.KvHigh = 150.5; }},
    {"Fixed200", [](Module1& s) { s.KvLow = s.KvHigh = 200; }},
    {"Fixed400", [](Module1& s) { s.KvLow = s.KvHigh = 400; }},
    {"Range140to160", [](Module1& s) { s.KvLow = 140; s.KvHigh = 160; s.KvMode = 2; }},
    {"Negative", [](Module1& s) { s.KvLow = -20; s.KvHigh = 10; }},
    {"BelowOneKv", [](Module1& s) { s.KvLow = s.KvHigh = 0.7; }},
    {"Unset", [](Module1& s) { s.KvLow = s.KvHigh = 0; s.KvMode = 0; }},
    {"AluminiumHuge", [](Module1& s) { s.FilterAl = 1e6; }},
    {"AluminiumNegativeHuge", [](Module1& s) { s.FilterAl = -1e6; }},
    {"CopperNegative", [](Module1& s) { s.FilterCu = -0.2; }},
    {"CopperJustUnderflowing", [](Module1& s) { s.FilterCu = 4; }},
    {"TungstenHuge", [](Module1& s) { for (double& c : s.CoefW) { c *= 1e4; } }},
    {"TungstenHugeOffGrid", [](Module1& s) { for (double& c : s.CoefW) { c *= 1e4; } s.KvLow = s.KvHigh = 80.3; }},
    // So much self-absorption that only the term at the tube voltage itself survives.
    {"TungstenAstronomical", [](Module1& s) { for (double& c : s.CoefW) { c = 1e12; } }},
    {"TungstenNegative", [](Module1& s) { for (double& c : s.CoefW) { c = -c; } }},
    {"TungstenNearOverflow", [](Module1& s) { s.TargetAngle = 135; for (double& c : s.CoefW) { c *= 20; } }},
    {"TungstenNearUnderflow", [](Module1& s) { for (int i = 1; i <= kBins; ++i) { s.CoefW[i] = 4e4 + 100 * i; } }},
    // Every term subnormal or 0: only the plain order of operations gives the plain result.
    {"FirstTermsSubnormal", [](Module1& s) { s.KvLow = s.KvHigh = 80.3; ExponentEverywhere(s, -720, false); }},
    // The deepest terms just short of overflow, with growing exponentials.
    {"DeepestTermsNearOverflow", [](Module1& s) { s.TargetAngle = 135; ExponentEverywhere(s, 700, true); }},
    {"DeepestTermsOverflowing", [](Module1& s) { s.TargetAngle = 135; ExponentEverywhere(s, 712, true); }},
};

void PrintTo(const Hostile& hostile, std::ostream* os) { *os << hostile.name; }

using HostileParam = std::tuple<Tables, Hostile>;

std::string HostileName(const ::testing::TestParamInfo<HostileParam>& p) {
    return Name(std::get<0>(p.param)) + "_" + std::get<1>(p.param).name;
}

class SpectrumGuards : public ::testing::TestWithParam<HostileParam> {};

TEST_P(SpectrumGuards, SameAsThePlainLoopsAndNothingNonFinite) {
    const auto& [tables, hostile] = GetParam();
    auto s = Beam(12, 80, 80, 1);
    if (!LoadInto(tables, *s)) {
        GTEST_SKIP() << "no shipped tables in data/ yet";
    }
    hostile.apply(*s);
    ExpectAgreement(*s);
}

INSTANTIATE_TEST_SUITE_P(Inputs, SpectrumGuards,
                         ::testing::Combine(::testing::Values(Tables::Synthetic, Tables::AllZero, Tables::Shaped),
                                            ::testing::ValuesIn(kHostile)),
                         HostileName);

// --- Where the recurrence's rounding adds up the most --------------------------------------------

// Tungsten coefficients for which the step factor of every bin is exp(c) with c just above
// `units` units of roundoff: exp(c) is then rounded by almost a full unit, always the same way,
// and every term of a bin weighs about the same, so the error of the factor accumulates with the
// square of the steps since the last exact exponential.
void SystematicStepFactor(Module1& s, double units) {
    const double kv = s.KvHigh;
    const double cot = 1 / std::tan(s.TargetAngle * 3.14159 / 180);
    const double D = 19.3 * ThomsonWhiddington(kv);
    const double c = units * std::ldexp(1.0, -53) * (1 + 1e-7);
    for (int i = 1; i <= kBins; ++i) {
        s.CoefW[i] = 2 * c * D / cot;  // c = -0.5 a / D with a = -CoefW * cot
        // Aluminium that leaves the low bins (the longest sums, the largest error) at 1e-4 of the
        // others, so that the normalising sum does not carry their error too.
        s.CoefAl[i] = 26 * (1 - i / 300.0);
        s.CoefCu[i] = 0;
    }
}

struct WorstCase {
    const char* name;
    double kv;
    double units;  // negative: the factor is below 1 and rounds up
};

const WorstCase kWorstCases[] = {
    {"Fixed150Up", 150, 1}, {"Fixed150Down", 150, -0.5}, {"Fixed149_5Up", 149.5, 1},
    {"Fixed120_5Up", 120.5, 1}, {"Fixed150Up3", 150, 3},
};

void PrintTo(const WorstCase& w, std::ostream* os) { *os << w.name; }

class RecurrenceWorstCase : public ::testing::TestWithParam<WorstCase> {};

TEST_P(RecurrenceWorstCase, EveryBinMatchesThePlainLoops) {
    const WorstCase& w = GetParam();
    auto s = Beam(45, w.kv, w.kv, 1);
    LoadInto(Tables::Synthetic, *s);
    SystematicStepFactor(*s, w.units);
    ExpectAgreement(*s);
}

INSTANTIATE_TEST_SUITE_P(Factors, RecurrenceWorstCase, ::testing::ValuesIn(kWorstCases),
                         [](const ::testing::TestParamInfo<WorstCase>& p) { return std::string(p.param.name); });

// Growing exponentials (a target angle past 90 degrees) whose deepest term, at bin 2, is exp(x):
// the deepest terms weigh the most, so the error carried from block to block by the longest chains
// of ratios (the most blocks, the largest ratios the guards let through) shows in every bin.
void GrowingToTheDeepestBin(Module1& s, double x) {
    const double kv = s.KvHigh;
    const double cot = 1 / std::tan(s.TargetAngle * 3.14159 / 180);
    const double depth = (kv * kv - 1) / (19.3 * ThomsonWhiddington(kv));  // at bin 2 (T = 1 keV)
    for (int i = 1; i <= kBins; ++i) {
        s.CoefW[i] = -x / depth / cot;  // a = -CoefW * cot
        s.CoefAl[i] = 0.5;
        s.CoefCu[i] = 0;
    }
}

// Every bin within 1e-12 of the plain loops, relative, however small it is beside the others (the
// agreement rule lets negligible bins off with an absolute 1e-15, which would hide the long sums of
// the low bins here).
void ExpectEveryBinWithinTheBound(const Setup& s) {
    const mirelo::Tables tables = s.AsTables();
    const auto fast = ComputeSpectrum(tables, s.AsBeam(), s.AsVoltage());
    ASSERT_TRUE(fast.has_value());
    const BinArray plain = reference::SpectrumLoops(tables, s.AsBeam(), s.AsVoltage());
    int failures = 0;
    for (int i = 0; i <= kBins && failures < 5; ++i) {
        const double error = std::fabs(fast->fluence[i] - plain[i]);
        // Bins at the 1e-10 threshold may be cut on one side only.
        const bool atThreshold = std::max(fast->fluence[i], plain[i]) < 1.000001e-10;
        EXPECT_TRUE(error <= 1e-12 * std::fabs(plain[i]) || atThreshold)
            << i << ": " << fast->fluence[i] << " against " << plain[i];
        failures += error <= 1e-12 * std::fabs(plain[i]) || atThreshold ? 0 : 1;
    }
}

// The worst cases of the recurrence's bound: the step factor rounded the same way at every step over
// the longest runs, and growing exponentials whose deepest terms (the most blocks, the largest
// ratios carried from block to block) weigh the most.
struct BoundCase {
    const char* name;
    double angle, low, high;
    int mode;
    double units;            // the step factor's exponent in units of roundoff (SystematicStepFactor), or
    double deepestExponent;  // the deepest term's exponent (GrowingToTheDeepestBin)
};

const BoundCase kBoundCases[] = {
    {"Fixed150Up", 45, 150, 150, 1, 1, 0},
    {"Fixed150Down", 45, 150, 150, 1, -0.5, 0},
    {"Fixed149_5Up3", 45, 149.5, 149.5, 1, 3, 0},
    {"Fixed113_5Up", 45, 113.5, 113.5, 1, 1, 0},
    {"Uniform140to150Up", 45, 140, 150, 1, 1, 0},
    {"Fixed150Exp100", 135, 150, 150, 1, 0, 100},
    {"Fixed150Exp689", 135, 150, 150, 1, 0, 689},
    {"Fixed113_3Exp500", 135, 113.3, 113.3, 1, 0, 500},
    {"Normal0_5to150Exp689", 135, 0.5, 150, 2, 0, 689},
};

void PrintTo(const BoundCase& c, std::ostream* os) { *os << c.name; }

class RecurrenceBound : public ::testing::TestWithParam<BoundCase> {};

TEST_P(RecurrenceBound, EveryBinWithin1e12OfThePlainLoops) {
    const BoundCase& c = GetParam();
    auto s = Beam(c.angle, c.low, c.high, c.mode);
    LoadInto(Tables::Synthetic, *s);
    if (c.units != 0) {
        SystematicStepFactor(*s, c.units);
    } else {
        GrowingToTheDeepestBin(*s, c.deepestExponent);
    }
    ExpectEveryBinWithinTheBound(*s);
}

INSTANTIATE_TEST_SUITE_P(WorstCases, RecurrenceBound, ::testing::ValuesIn(kBoundCases),
                         [](const ::testing::TestParamInfo<BoundCase>& p) { return std::string(p.param.name); });

// --- The inner loop's instruction sets ---------------------------------------------------------

// Both paths do the same multiplies and adds in the same order, so they give the same bits; a
// fused multiply-add or a reordered sum in one of them shows here.
TEST(VectorPaths, SameBitsOnEveryPath) {
    if (!Supports(VectorPath::Avx2)) {
        GTEST_SKIP() << "this processor has no AVX2";
    }
    const Setting settings[] = {kSettings[3], kSettings[5], kSettings[7], kSettings[10], {"Fixed2", 2, 2, 1}};
    for (Tables t : {Tables::Synthetic, Tables::Shaped}) {
        for (double angle : {12.0, 135.0}) {
            for (const Setting& setting : settings) {
                SCOPED_TRACE(Name(t) + " " + std::to_string(angle) + " " + setting.name);
                auto s = Beam(angle, setting.low, setting.high, setting.mode);
                LoadInto(t, *s);
                const auto tables = s->AsTables();
                const auto sse2 = ComputeSpectrum(tables, s->AsBeam(), s->AsVoltage(), VectorPath::Sse2);
                const auto avx2 = ComputeSpectrum(tables, s->AsBeam(), s->AsVoltage(), VectorPath::Avx2);
                ASSERT_TRUE(sse2 && avx2);
                for (int i = 0; i <= kBins; ++i) {
                    ASSERT_EQ(std::memcmp(&sse2->fluence[i], &avx2->fluence[i], sizeof(double)), 0)
                        << i << ": " << sse2->fluence[i] << " against " << avx2->fluence[i];
                }
                ExpectSameArrays(sse2->fluence, reference::SpectrumLoops(tables, s->AsBeam(), s->AsVoltage()),
                                 "Spectrum");
            }
        }
    }
}

}  // namespace
}  // namespace mirelo
