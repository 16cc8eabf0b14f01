#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "spectrum/spectrum.h"
#include "tests/spectrum/spectrum_setup.h"

namespace mirelo {
namespace {

// A calculation on a setup and its result, as the store would hold them.
struct Module1 : Setup {
    BinArray Spectrum{};
};

void CalcSpectrum(Module1& s) {
    const auto r = ComputeSpectrum(s.AsTables(), s.AsBeam(), s.AsVoltage());
    s.Spectrum = r ? r->fluence : BinArray{};
}

std::unique_ptr<Module1> Fixed(double kv, double angle = 12) {
    auto s = std::make_unique<Module1>();
    s->TargetAngle = angle;
    s->KvLow = kv;
    s->KvHigh = kv;
    s->KvMode = 1;
    return s;
}

// Tables shaped roughly like tungsten, aluminium and copper, to exercise self-absorption and filters.
void FillTables(Module1& s) {
    for (int i = 1; i <= kBins; ++i) {
        const double E = 0.5 * i;
        s.CoefW[i] = 19.3 * (3000 * std::pow(E, -2.7) * (E >= 69.5 ? 4.5 : 1.0) + 0.06);
        s.CoefAl[i] = 2.699 * (1400 * std::pow(E, -2.9) + 0.15);
        s.CoefCu[i] = 8.96 * (9000 * std::pow(E, -2.8) + 0.15);
    }
}

// Agreement with a reference value printed to six significant digits.
void ExpectSixDigits(double actual, double reference) {
    const double halfUnit = 0.5 * std::pow(10.0, std::floor(std::log10(std::fabs(reference))) - 5);
    EXPECT_NEAR(actual, reference, halfUnit * 1.0000001);
}

double Sum(const BinArray& a) {
    double t = 0;
    for (int i = 1; i <= kBins; ++i) {
        t += a[i];
    }
    return t;
}

TEST(SpectrumModel, ReferenceValuesOfTheModelFunctions) {
    EXPECT_NEAR(ThomsonWhiddington(100), 702526.2, 0.05);
    EXPECT_EQ(KLinePercent(70), 0.0);
    EXPECT_EQ(KLinePercent(50), 0.0);
    EXPECT_NEAR(KLinePercent(70.5), 0.104482, 5e-7);
    EXPECT_NEAR(KLinePercent(80), 1.33485, 5e-6);
    EXPECT_NEAR(KLinePercent(100), 2.7999997, 5e-7);
    EXPECT_NEAR(KLinePercent(150), 5.08351, 5e-6);
    EXPECT_NEAR(GaussianWeight(75, 75, 85), 0.0733990, 5e-8);
    EXPECT_NEAR(GaussianWeight(85, 75, 85), 0.0733990, 5e-8);
    EXPECT_DOUBLE_EQ(GaussianWeight(80, 75, 85), 0.3989);
}

TEST(SpectrumModel, AllZeroTablesAt20kV) {
    auto s = Fixed(20);
    CalcSpectrum(*s);
    ExpectSixDigits(s->Spectrum[2], 0.389611);
    ExpectSixDigits(s->Spectrum[3], 0.193324);
    ExpectSixDigits(s->Spectrum[10], 0.0155147);
    ExpectSixDigits(s->Spectrum[40], 7.91339e-05);
    EXPECT_EQ(s->Spectrum[41], 0.0);
    EXPECT_EQ(s->Spectrum[1], 0.0);
    EXPECT_NEAR(Sum(s->Spectrum), 1.0, 1e-12);
}

TEST(SpectrumModel, AllZeroTablesAt100kVWithKLines) {
    for (double angle : {12.0, 45.0, 135.0}) {  // no self-absorption: the angle cannot matter
        auto s = Fixed(100, angle);
        s->FilterAl = 0.3;  // nor can a filter with a zero coefficient
        CalcSpectrum(*s);
        ExpectSixDigits(s->Spectrum[2], 0.230599);
        ExpectSixDigits(s->Spectrum[116], 9.48416e-04);
        ExpectSixDigits(s->Spectrum[119], 1.47182e-03);
        ExpectSixDigits(s->Spectrum[134], 4.89388e-04);
        ExpectSixDigits(s->Spectrum[138], 2.00899e-04);
        ExpectSixDigits(s->Spectrum[200], 1.37452e-06);
        EXPECT_EQ(s->Spectrum[201], 0.0);
    }
}

TEST(SpectrumModel, KLinesStartAbove70kV) {
    auto at70 = Fixed(70);
    CalcSpectrum(*at70);
    auto at705 = Fixed(70.5);
    CalcSpectrum(*at705);
    // Without K lines bin 119 continues the smooth bremsstrahlung of its neighbours.
    const double smooth70 = at70->Spectrum[119] / (0.5 * (at70->Spectrum[118] + at70->Spectrum[120]));
    const double smooth705 = at705->Spectrum[119] / (0.5 * (at705->Spectrum[118] + at705->Spectrum[120]));
    EXPECT_NEAR(smooth70, 1.0, 1e-3);
    EXPECT_GT(smooth705, 1.05);
    // The added amount is 0.5048 * 0.01 * K * (sum of the raw bremsstrahlung). Without filters or
    // self-absorption the raw photon number of bin i is proportional to the spectrum times E_i.
    auto raw = [&](int i) { return at705->Spectrum[i] * 0.5 * i; };
    const double rawLine = raw(119) - 0.5 * (raw(118) + raw(120));
    double p = 0;
    for (int i = 2; i <= 141; ++i) {
        if (i != 116 && i != 119 && i != 134 && i != 138) {
            p += raw(i);
        }
    }
    EXPECT_NEAR(rawLine / (0.5048 * 0.01 * KLinePercent(70.5) * p), 1.0, 0.02);
}

TEST(SpectrumModel, RangesPassesAndWeights) {
    // A range is a weighted sum of its voltages' spectra: with the normalised fixed spectra a and b,
    // the two-voltage range is (r a + b) / (r + 1) for one ratio r of their photon totals.
    auto a = Fixed(75);
    CalcSpectrum(*a);
    auto b = Fixed(75.5);
    CalcSpectrum(*b);

    auto uniform = Fixed(75);
    uniform->KvHigh = 75.5;
    CalcSpectrum(*uniform);
    EXPECT_EQ(a->Spectrum[151], 0.0);  // bin 151 only 75.5 kV reaches
    const double r = b->Spectrum[151] / uniform->Spectrum[151] - 1;
    EXPECT_GT(r, 0.9);
    EXPECT_LT(r, 1.1);
    for (int i : {2, 50, 116, 150}) {
        EXPECT_NEAR(uniform->Spectrum[i], (r * a->Spectrum[i] + b->Spectrum[i]) / (r + 1), 1e-15) << i;
    }

    auto normal = Fixed(75);
    normal->KvHigh = 75.5;
    normal->KvMode = 2;
    CalcSpectrum(*normal);
    // Both ends of a range weigh the same, so a two-voltage normal range equals the uniform one.
    for (int i : {2, 50, 151}) {
        EXPECT_NEAR(normal->Spectrum[i], uniform->Spectrum[i], 1e-15) << i;
    }

    // 21 passes, 75.0 to 85.0: the top bin is reached by the last one only.
    auto wide = Fixed(75);
    wide->KvHigh = 85;
    CalcSpectrum(*wide);
    EXPECT_GT(wide->Spectrum[170], 0.0);
    EXPECT_EQ(wide->Spectrum[171], 0.0);
}

TEST(SpectrumModel, RangeNotAMultipleOfHalfKilovolt) {
    auto s = Fixed(75);
    s->KvHigh = 80.3;
    CalcSpectrum(*s);  // 11 passes, the last at 80.0 kV
    EXPECT_GT(s->Spectrum[160], 0.0);
    EXPECT_EQ(s->Spectrum[161], 0.0);

    auto t = Fixed(75.3);
    t->KvHigh = 80;
    CalcSpectrum(*t);  // passes 75.3 ... 79.8
    EXPECT_GT(t->Spectrum[159], 0.0);
    EXPECT_EQ(t->Spectrum[160], 0.0);
    EXPECT_NEAR(Sum(t->Spectrum), 1.0, 1e-12);
}

TEST(SpectrumModel, FloorBinOneAndNoCarryOver) {
    auto s = Fixed(100);
    FillTables(*s);
    s->InherentFilter = 0.25;
    s->FilterCu = 0.05;
    s->Spectrum[1] = 7;    // whatever was there before
    s->Spectrum[250] = 3;  // above 2 * KvHigh
    CalcSpectrum(*s);
    EXPECT_EQ(s->Spectrum[1], 0.0);
    EXPECT_EQ(s->Spectrum[250], 0.0);
    int zeroed = 0;
    for (int i = 1; i <= kBins; ++i) {
        EXPECT_TRUE(s->Spectrum[i] == 0 || s->Spectrum[i] >= 1e-10) << i;
        zeroed += (i >= 2 && i <= 200 && s->Spectrum[i] == 0) ? 1 : 0;
    }
    EXPECT_GT(zeroed, 0);  // the copper filter pushes the lowest bins under the floor
    EXPECT_LE(Sum(s->Spectrum), 1.0 + 1e-12);

    const BinArray first = s->Spectrum;
    CalcSpectrum(*s);
    EXPECT_EQ(s->Spectrum, first);
}

TEST(SpectrumModel, FiltersAndSelfAbsorptionHardenTheBeam) {
    auto bare = Fixed(80);
    FillTables(*bare);
    CalcSpectrum(*bare);
    auto filtered = Fixed(80);
    FillTables(*filtered);
    filtered->FilterAl = 0.3;
    CalcSpectrum(*filtered);
    double meanBare = 0, meanFiltered = 0;
    for (int i = 2; i <= 160; ++i) {
        meanBare += bare->Spectrum[i] * 0.5 * i;
        meanFiltered += filtered->Spectrum[i] * 0.5 * i;
    }
    EXPECT_GT(meanFiltered, meanBare + 1.0);

    auto steep = Fixed(80, 6);  // a steeper target angle means a longer path out of the target
    FillTables(*steep);
    CalcSpectrum(*steep);
    EXPECT_LT(steep->Spectrum[20] / steep->Spectrum[100], bare->Spectrum[20] / bare->Spectrum[100]);
}

TEST(SpectrumModel, NothingToNormaliseLeavesAnAllZeroSpectrum) {
    auto low = Fixed(0.5);  // below 1 kV no bin is computed
    CalcSpectrum(*low);
    EXPECT_EQ(low->Spectrum, BinArray{});

    auto unset = std::make_unique<Module1>();  // no tube voltage ever set
    unset->TargetAngle = 12;
    unset->Spectrum[10] = 1;
    CalcSpectrum(*unset);
    EXPECT_EQ(unset->Spectrum, BinArray{});

    auto underflow = Fixed(80);  // everything absorbed
    FillTables(*underflow);
    underflow->FilterCu = 1e6;
    CalcSpectrum(*underflow);
    EXPECT_EQ(underflow->Spectrum, BinArray{});

    auto overflow = Fixed(80);  // absurd negative filter: infinities must not survive
    FillTables(*overflow);
    overflow->FilterAl = -1e6;
    CalcSpectrum(*overflow);
    EXPECT_EQ(overflow->Spectrum, BinArray{});

}

TEST(SpectrumModel, SettingsWithoutMeaningAreRefused) {
    const Tables tables;
    const struct {
        Beam beam;
        TubeVoltage voltage;
        SpectrumInputError error;
    } cases[] = {
        {{0, 0, 0, 0}, TubeVoltage::Fixed(80), SpectrumInputError::TargetAngle},    // tangent 0
        {{-0.0, 0, 0, 0}, TubeVoltage::Fixed(80), SpectrumInputError::TargetAngle},
        {{std::nan(""), 0, 0, 0}, TubeVoltage::Fixed(80), SpectrumInputError::TargetAngle},
        {{12, 0, 0, 0}, TubeVoltage::Fixed(150.5), SpectrumInputError::TubeVoltage},
        {{12, 0, 0, 0}, TubeVoltage::Fixed(-0.5), SpectrumInputError::TubeVoltage},
        {{12, 0, 0, 0}, {85, 75, Spread::Uniform}, SpectrumInputError::TubeVoltage},
        {{12, 0, 0, 0}, TubeVoltage::Fixed(std::nan("")), SpectrumInputError::TubeVoltage},
    };
    for (const auto& c : cases) {
        const auto r = ComputeSpectrum(tables, c.beam, c.voltage);
        ASSERT_FALSE(r.has_value()) << c.beam.targetAngleDeg << " deg, " << c.voltage.highKv << " kV";
        EXPECT_EQ(r.error(), c.error);
    }
    EXPECT_TRUE(ComputeSpectrum(tables, {12, 0, 0, 0}, TubeVoltage::Fixed(150)).has_value());
    EXPECT_TRUE(ComputeSpectrum(tables, {12, 0, 0, 0}, TubeVoltage::Fixed(0)).has_value());
}

}  // namespace
}  // namespace mirelo
