#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "common/dose_text.h"
#include "common/sci_format.h"
#include "dose/volume_dose.h"
#include "spectrum/spectrum.h"
#include "tables/table_reader.h"

namespace mirelo {
namespace {

// The cells of the main window's store that the dose reads, and the doses it gives.
struct Module1 {
    BinArray CoefTissue{};
    EffTable EffEA{};
    BinArray Spectrum{};
    double KvHigh = 0;
    double AreaDose = 0;
    std::array<double, kThicknesses + 1> DoseWork{};  // slot j for thickness j; all 0 after a refusal
};

struct VolumeDoseResult {
    enum class Status { Ok, AreaDose, NoSpectrum, OutOfRange };
    Status status = Status::NoSpectrum;
    std::string photonCount;                         // as Label14 shows it
    std::array<std::string, kThicknesses> lines{};  // as List1 shows them
};
using Status = VolumeDoseResult::Status;

VolumeDoseResult CalcVolumeDose(Module1& s) {
    Tables t;
    t.tissue = s.CoefTissue;
    t.effEA = s.EffEA;
    const auto dose = ComputeVolumeDose(t, s.Spectrum, s.KvHigh, s.AreaDose);
    VolumeDoseResult r;
    s.DoseWork.fill(0);
    if (!dose) {
        r.status = dose.error() == DoseError::AreaDose     ? Status::AreaDose
                   : dose.error() == DoseError::NoSpectrum ? Status::NoSpectrum
                                                           : Status::OutOfRange;
        return r;
    }
    r.status = Status::Ok;
    r.photonCount = FormatSci(dose->photons);
    for (int j = 1; j <= kThicknesses; ++j) {
        s.DoseWork[j] = dose->joules[static_cast<std::size_t>(j - 1)];
        r.lines[static_cast<std::size_t>(j - 1)] = VolumeDoseLine(ThicknessCm(j), s.DoseWork[j]);
    }
    return r;
}

// The one-bin case that exercises every constant: only bin 2 (1 keV) takes part.
std::unique_ptr<Module1> OneBinStore() {
    auto s = std::make_unique<Module1>();
    s->KvHigh = 1;
    s->Spectrum[2] = 1;
    s->CoefTissue[2] = 1;
    for (int j = 1; j <= kThicknesses; ++j) {
        s->EffEA[2][j] = 0.5;
    }
    s->AreaDose = 1;
    return s;
}

// The synthetic tables with an 80 kV spectrum computed from them.
std::unique_ptr<Module1> RealisticStore(double kv = 80) {
    auto s = std::make_unique<Module1>();
    const auto tables = LoadTables({std::filesystem::path(MIRELO_TEST_DATA_DIR) / "synthetic"});
    if (!tables) {
        ADD_FAILURE() << "the synthetic tables do not load";
        return s;
    }
    s->CoefTissue = tables->tissue;
    s->EffEA = tables->effEA;
    s->KvHigh = kv;
    s->Spectrum = ComputeSpectrum(*tables, Beam::FromMm(12, 2.5, 1.0, 0), TubeVoltage::Fixed(kv))->fluence;
    s->AreaDose = 25.3;
    return s;
}

std::string Line(int thickness, const std::string& dose) {
    return "       " + std::to_string(thickness) + "     \u2192     " + dose;
}

TEST(VolumeDose, OneBinCaseExercisesEveryConstant) {
    auto s = OneBinStore();
    const VolumeDoseResult r = CalcVolumeDose(*s);
    ASSERT_EQ(r.status, Status::Ok);
    EXPECT_EQ(r.photonCount, "6.242E+12");
    for (int j = 1; j <= kThicknesses; ++j) {
        EXPECT_EQ(r.lines[static_cast<std::size_t>(j - 1)], Line(2 * j + 8, "5.000E-04"));
        EXPECT_NEAR(s->DoseWork[j], 5e-4, 1e-15);
    }
    EXPECT_EQ(r.lines.front(), "       10     →     5.000E-04");
    EXPECT_EQ(r.lines.back(), "       30     →     5.000E-04");
}

// The closed forms hold on a realistic spectrum, with a different absorbed fraction per thickness.
TEST(VolumeDose, ClosedFormsHoldOnARealisticSpectrum) {
    auto s = RealisticStore();
    // Make the columns differ, so that a mix-up of thicknesses shows.
    for (int i = 1; i <= kBins; ++i) {
        for (int j = 1; j <= kThicknesses; ++j) {
            s->EffEA[i][j] *= 1 - 0.03 * j;
        }
    }
    const VolumeDoseResult r = CalcVolumeDose(*s);
    ASSERT_EQ(r.status, Status::Ok);

    double tissue = 0;
    double spectrumSum = 0;
    for (int i = 2; i <= 160; ++i) {
        tissue += s->Spectrum[i] * i * s->CoefTissue[i];
        spectrumSum += s->Spectrum[i];
    }
    EXPECT_NEAR(spectrumSum, 1.0, 1e-9);
    const double photons = s->AreaDose / (1.602e-13 * 0.5 * tissue);
    EXPECT_NEAR(std::stod(r.photonCount), photons, photons * 5e-4);
    for (int j = 1; j <= kThicknesses; ++j) {
        double absorbed = 0;
        for (int i = 2; i <= 160; ++i) {
            absorbed += s->Spectrum[i] * i * s->EffEA[i][j];
        }
        const double expected = 0.001 * s->AreaDose * absorbed / tissue;
        EXPECT_NEAR(s->DoseWork[j], expected, expected * 1e-12) << "j = " << j;
        if (j > 1) {
            EXPECT_LT(s->DoseWork[j], s->DoseWork[j - 1]);
        }
    }
}

TEST(VolumeDose, ProportionalToTheAreaDoseAndIndependentOfTheSpectrumScale) {
    auto base = RealisticStore();
    const VolumeDoseResult r1 = CalcVolumeDose(*base);
    const auto dose1 = base->DoseWork;

    auto doubled = RealisticStore();
    doubled->AreaDose *= 2;
    const VolumeDoseResult r2 = CalcVolumeDose(*doubled);

    auto scaled = RealisticStore();
    for (double& v : scaled->Spectrum) {
        v *= 3.7;
    }
    const VolumeDoseResult r3 = CalcVolumeDose(*scaled);
    ASSERT_EQ(r1.status, Status::Ok);
    ASSERT_EQ(r2.status, Status::Ok);
    ASSERT_EQ(r3.status, Status::Ok);
    const double n1 = std::stod(r1.photonCount);
    EXPECT_NEAR(std::stod(r2.photonCount), 2 * n1, 2 * n1 * 1e-3);
    EXPECT_NEAR(std::stod(r3.photonCount), n1 / 3.7, n1 / 3.7 * 1e-3);
    for (int j = 1; j <= kThicknesses; ++j) {
        EXPECT_NEAR(doubled->DoseWork[j], 2 * dose1[j], 2 * dose1[j] * 1e-12);
        EXPECT_NEAR(scaled->DoseWork[j], dose1[j], dose1[j] * 1e-12);
    }
}

TEST(VolumeDose, TwoRunsGiveTheSameLines) {
    auto s = RealisticStore();
    const VolumeDoseResult first = CalcVolumeDose(*s);
    const auto dose = s->DoseWork;
    const VolumeDoseResult second = CalcVolumeDose(*s);
    EXPECT_EQ(first.lines, second.lines);
    EXPECT_EQ(first.photonCount, second.photonCount);
    EXPECT_EQ(dose, s->DoseWork);  // nothing accumulates across runs
}

// The last bin is the largest whole number not above 2 * KvHigh.
TEST(VolumeDose, KvHighBoundsTheBinsUsed) {
    auto withBin161 = RealisticStore(81);
    auto without = RealisticStore(81);
    without->Spectrum[161] = 0;

    withBin161->KvHigh = 80.4;
    without->KvHigh = 80.4;
    CalcVolumeDose(*withBin161);
    CalcVolumeDose(*without);
    EXPECT_EQ(withBin161->DoseWork, without->DoseWork);  // bin 161 not used

    withBin161->KvHigh = 80.5;
    without->KvHigh = 80.5;
    CalcVolumeDose(*withBin161);
    CalcVolumeDose(*without);
    EXPECT_NE(withBin161->DoseWork, without->DoseWork);  // bin 161 used

    // Bin 160 takes part at 80.4.
    auto noBin160 = RealisticStore(81);
    noBin160->Spectrum[160] = 0;
    noBin160->KvHigh = 80.4;
    CalcVolumeDose(*noBin160);
    EXPECT_NE(noBin160->DoseWork, without->DoseWork);
}

// Slot 0, bin 1, EffEA's column 0 and the rows above 2 * KvHigh are never read: NaN there would show.
TEST(VolumeDose, CellsOutsideTheBinsUsedHaveNoInfluence) {
    auto clean = RealisticStore();
    const VolumeDoseResult expected = CalcVolumeDose(*clean);

    auto dirty = RealisticStore();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (int i = 0; i <= kBins; ++i) {
        dirty->EffEA[i][0] = nan;
    }
    for (int i : {0, 1}) {
        dirty->Spectrum[static_cast<std::size_t>(i)] = nan;
        dirty->CoefTissue[static_cast<std::size_t>(i)] = nan;
        for (int j = 0; j <= kThicknesses; ++j) {
            dirty->EffEA[static_cast<std::size_t>(i)][static_cast<std::size_t>(j)] = nan;
        }
    }
    for (int i = 161; i <= kBins; ++i) {
        dirty->Spectrum[static_cast<std::size_t>(i)] = nan;
        dirty->EffEA[static_cast<std::size_t>(i)][3] = nan;
    }
    const VolumeDoseResult r = CalcVolumeDose(*dirty);
    ASSERT_EQ(r.status, Status::Ok);
    EXPECT_EQ(r.lines, expected.lines);
    EXPECT_EQ(r.photonCount, expected.photonCount);
    EXPECT_EQ(dirty->DoseWork, clean->DoseWork);
}

// A voltage past the grid stops at slot 300: the same as 150 kV, and the cells after the tables
// (the neighbouring members of the store) are never read.
TEST(VolumeDose, VoltagesPastTheGridStopAtTheLastSlot) {
    auto at150 = RealisticStore(150);
    const VolumeDoseResult expected = CalcVolumeDose(*at150);
    ASSERT_EQ(expected.status, Status::Ok);
    for (double kv : {150.4, 200.0, 1e6, std::numeric_limits<double>::infinity()}) {
        auto s = RealisticStore(150);
        s->KvHigh = kv;
        const VolumeDoseResult r = CalcVolumeDose(*s);
        EXPECT_EQ(r.status, Status::Ok) << kv;
        EXPECT_EQ(r.lines, expected.lines) << kv;
        EXPECT_EQ(r.photonCount, expected.photonCount) << kv;
    }
}

TEST(VolumeDose, ZeroAreaDoseGivesZeroEverywhere) {
    auto s = RealisticStore();
    s->AreaDose = 0;
    const VolumeDoseResult r = CalcVolumeDose(*s);
    ASSERT_EQ(r.status, Status::Ok);
    EXPECT_EQ(r.photonCount, "0.000E+00");
    for (std::size_t k = 0; k < r.lines.size(); ++k) {
        EXPECT_EQ(r.lines[k], Line(10 + 2 * static_cast<int>(k), "0.000E+00"));
    }
}

// A negative area dose would give negative photons and joules: it is refused, as is one that is not
// a number at all.
TEST(VolumeDose, AreaDosesWithoutMeaningAreRefused) {
    for (double areaDose : {-1.0, -1e-300, std::numeric_limits<double>::infinity(), std::nan("")}) {
        auto s = RealisticStore();
        s->AreaDose = areaDose;
        EXPECT_EQ(CalcVolumeDose(*s).status, Status::AreaDose) << areaDose;
    }
}

// Without a usable normalisation sum nothing is computed and nothing is left behind.
TEST(VolumeDose, NoSpectrumLeavesZerosAndNoTexts) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        const char* what;
        std::unique_ptr<Module1> store;
    };
    std::vector<Case> cases;
    {
        auto s = RealisticStore();
        s->Spectrum.fill(0);  // none computed yet
        cases.push_back({"no spectrum", std::move(s)});
    }
    {
        auto s = RealisticStore();
        s->KvHigh = 0;  // no tube voltage set
        cases.push_back({"no voltage", std::move(s)});
    }
    {
        auto s = RealisticStore();
        s->KvHigh = 0.9;  // below 1 kV: no bin
        cases.push_back({"below 1 kV", std::move(s)});
    }
    {
        auto s = RealisticStore();
        s->KvHigh = nan;
        cases.push_back({"NaN voltage", std::move(s)});
    }
    {
        auto s = RealisticStore();
        s->Spectrum[50] = nan;
        cases.push_back({"NaN in the spectrum", std::move(s)});
    }
    {
        auto s = RealisticStore();
        s->Spectrum[50] = std::numeric_limits<double>::infinity();
        cases.push_back({"infinite bin", std::move(s)});
    }
    {
        auto s = RealisticStore();
        s->CoefTissue.fill(1e-310);  // the tissue-weighted energy underflows: nothing to divide by
        cases.push_back({"tissue coefficients that underflow", std::move(s)});
    }
    for (Case& c : cases) {
        c.store->DoseWork.fill(42);
        const VolumeDoseResult r = CalcVolumeDose(*c.store);
        EXPECT_EQ(r.status, Status::NoSpectrum) << c.what;
        EXPECT_TRUE(r.photonCount.empty()) << c.what;
        for (int j = 1; j <= kThicknesses; ++j) {
            EXPECT_EQ(c.store->DoseWork[j], 0.0) << c.what;
        }
        for (const std::string& line : r.lines) {
            EXPECT_TRUE(line.empty()) << c.what;
        }
    }
}

// An area dose so large that the photon count overflows is refused rather than shown as "inf".
TEST(VolumeDose, OverflowingResultsAreRefused) {
    auto s = RealisticStore();
    s->AreaDose = 1e305;
    s->DoseWork.fill(42);
    const VolumeDoseResult r = CalcVolumeDose(*s);
    EXPECT_EQ(r.status, Status::OutOfRange);
    EXPECT_TRUE(r.photonCount.empty());
    for (int j = 1; j <= kThicknesses; ++j) {
        EXPECT_EQ(s->DoseWork[j], 0.0);
    }
}

}  // namespace
}  // namespace mirelo
