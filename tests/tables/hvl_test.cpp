// Half-value layer arithmetic and the table reader.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "hvl.h"
#include "test_data.h"

namespace mirelo::tables {
namespace {

using test::Row;
using test::ShippedAtt;

std::vector<double> Line(double e_kev, double weight = 1.0) {
    std::vector<double> f(ShippedAtt().energy.size(), 0.0);
    f[Row(e_kev)] = weight;
    return f;
}

TEST(Hvl, MonoenergeticBeamGivesLn2OverMu) {
    const auto& t = ShippedAtt();
    for (double e : {20.0, 40.0, 69.5, 70.0, 150.0}) {
        const double expected_mm = 10.0 * std::log(2.0) / t.mu_al[Row(e)];
        EXPECT_NEAR(FirstHvlMm(Line(e), t), expected_mm, 1e-6 * expected_mm) << e << " keV";
    }
}

TEST(Hvl, MixedBeamLiesBetweenItsComponentsAndHardensWithWeight) {
    const auto& t = ShippedAtt();
    auto mix = Line(30.0);
    mix[Row(90.0)] = 0.2;
    const double hvl = FirstHvlMm(mix, t);
    EXPECT_GT(hvl, FirstHvlMm(Line(30.0), t));
    EXPECT_LT(hvl, FirstHvlMm(Line(90.0), t));
    auto harder = mix;
    harder[Row(90.0)] = 0.6;
    EXPECT_GT(FirstHvlMm(harder, t), hvl);
}

TEST(Hvl, KermaHalvesAtTheHvl) {
    const auto& t = ShippedAtt();
    std::vector<double> f(t.energy.size(), 0.0);
    for (double e = 20.0; e <= 80.0; e += 0.5) f[Row(e)] = (80.0 - e) * e;  // bremsstrahlung-like
    const double x_cm = FirstHvlMm(f, t) / 10.0;
    EXPECT_NEAR(AirKerma(f, t, x_cm) / AirKerma(f, t, 0.0), 0.5, 1e-9);
}

TEST(Hvl, EmptySpectrumIsAnError) {
    std::vector<double> f(ShippedAtt().energy.size(), 0.0);
    EXPECT_THROW(FirstHvlMm(f, ShippedAtt()), std::runtime_error);
}

TEST(AttReader, RejectsShortRecordsAndBadNumbers) {
    const auto path = std::filesystem::temp_directory_path() / "mirelo_bad_att.dat";
    {
        std::ofstream(path) << "0.5,1,2,3,4,5,6\n1.0,1,2,3,4,5\n";
    }
    EXPECT_THROW(ReadAttTable(path.string()), std::runtime_error);
    {
        std::ofstream(path) << "0.5,1,2,x,4,5,6\n";
    }
    EXPECT_THROW(ReadAttTable(path.string()), std::runtime_error);
    std::filesystem::remove(path);
    EXPECT_THROW(ReadAttTable(path.string()), std::runtime_error);
}

}  // namespace
}  // namespace mirelo::tables
