// Absorbed-energy fractions of the slab Monte Carlo and of the shipped
// effEA.dat, checked against bounds that hold for any correct transport.
#include <gtest/gtest.h>

#include <cmath>

#include "generate.h"
#include "slab_mc.h"
#include "test_data.h"

namespace mirelo::tables {
namespace {

using test::Row;
using test::ShippedAtt;
using test::ShippedEffEa;

// Relative sd the generator guarantees for every entry.
constexpr double kRelSd = 0.0025;

TEST(EffEaFile, HasThreeHundredRowsOfFractionsInRange) {
    const auto& rows = ShippedEffEa();
    ASSERT_EQ(rows.size(), 300u);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        ASSERT_EQ(rows[i].size(), 12u) << "row " << i;
        EXPECT_DOUBLE_EQ(rows[i][0], 0.5 * static_cast<double>(i + 1));
        for (std::size_t j = 1; j < 12; ++j) {
            EXPECT_GT(rows[i][j], 0.0) << rows[i][0] << " keV";
            EXPECT_LE(rows[i][j], 1.0) << rows[i][0] << " keV";
        }
    }
}

TEST(EffEaFile, RisesWithThicknessWithinStatisticalNoise) {
    for (const auto& r : ShippedEffEa()) {
        for (std::size_t j = 1; j + 1 < 12; ++j) {
            // Four combined standard deviations of two independent entries.
            const double noise = 4.0 * std::sqrt(2.0) * kRelSd * r[j];
            EXPECT_GE(r[j + 1], r[j] - noise) << r[0] << " keV, column " << j;
        }
        // Above 40 keV photons reach the exit face of a 10 cm slab, so 30 cm
        // must absorb clearly more.
        if (r[0] >= 40.0) {
            EXPECT_GT(r[11], r[1] * 1.1) << r[0] << " keV";
        }
    }
}

TEST(EffEaFile, LowEnergyLossIsOnlyBackscatter) {
    const auto& att = ShippedAtt();
    const auto& rows = ShippedEffEa();
    for (double e : {3.0, 5.0, 8.0, 10.0, 12.0}) {
        const auto& r = rows[Row(e)];
        // Nothing reaches 10 cm depth, so every thickness gives the same value.
        EXPECT_NEAR(r[11], r[1], 4.0 * kRelSd * r[1]) << e << " keV";
        // Energy can only leave through a photon whose first interaction was
        // a scattering, so 1 - f is bounded by that probability.
        const double mu = att.mu_tissue[Row(e)];
        const double photo_share = att.muen_tissue[Row(e)] / mu;  // ~ photo / total here
        EXPECT_LT(1.0 - r[1], 1.0 - photo_share + 0.01) << e << " keV";
        EXPECT_GT(1.0 - r[1], 0.0) << e << " keV: some backscatter must escape";
    }
    // At 1 keV the photon is absorbed almost where it enters.
    EXPECT_GT(rows[Row(1.0)][1], 0.999);
}

TEST(EffEaFile, HighEnergyLiesBetweenFirstCollisionAndInteractionBounds) {
    // Lower bound: energy absorbed at the first collision only,
    //   (1 - exp(-mu t)) * muen/mu.
    // Upper bound: every photon that interacts gives all its energy,
    //   1 - exp(-mu t).
    const auto& att = ShippedAtt();
    const auto& rows = ShippedEffEa();
    for (double e : {50.0, 80.0, 100.0, 120.0, 150.0}) {
        const double mu = att.mu_tissue[Row(e)];  // density 1.00 g/cm^3
        const double muen = att.muen_tissue[Row(e)];
        for (std::size_t j = 0; j < kThicknesses; ++j) {
            const double interact = 1.0 - std::exp(-mu * Thickness(static_cast<int>(j)));
            const double f = rows[Row(e)][j + 1];
            EXPECT_GT(f, interact * muen / mu) << e << " keV, " << Thickness(static_cast<int>(j)) << " cm";
            EXPECT_LT(f, interact) << e << " keV, " << Thickness(static_cast<int>(j)) << " cm";
        }
        // Multiple scattering keeps most of the energy in a thick slab: well
        // above the first-collision share.
        EXPECT_GT(rows[Row(e)][11], 3.0 * muen / mu) << e << " keV";
    }
}

struct ThinCase {
    double e_kev;
    double thickness_cm;
};

class ThinSlab : public ::testing::TestWithParam<ThinCase> {
protected:
    static const TransportTables& Tables() {
        static const TransportTables t(SoftTissueIcrp());
        return t;
    }
};

TEST_P(ThinSlab, AbsorbsMuEnTimesThickness) {
    // In a slab much thinner than a mean free path the absorbed fraction is
    // muen * t: this ties the sampled Compton energy transfer and the choice
    // of interaction to the independently integrated muen/rho.
    const double e = GetParam().e_kev;
    const double t = GetParam().thickness_cm;
    RunControl c;
    c.batch = 1000000;
    c.min_histories = 4000000;
    c.max_histories = 20000000;
    c.target_rel_sd = 0.008;
    const auto r = AbsorbedFraction(Tables(), e, t, 12345, c);
    const double expected = MuEnRho(SoftTissueIcrp(), e) * t;
    EXPECT_LE(r.rel_sd, 0.008);
    EXPECT_NEAR(r.fraction / expected, 1.0, 0.03) << "rel sd " << r.rel_sd;
}

INSTANTIATE_TEST_SUITE_P(Energies, ThinSlab, ::testing::Values(ThinCase{20.0, 0.01}, ThinCase{60.0, 0.02},
                                           ThinCase{120.0, 0.03}));

TEST(SlabMonteCarlo, ResultDoesNotDependOnThreadCount) {
    const TransportTables tissue(SoftTissueIcrp());
    RunControl c;
    c.min_histories = 2000;
    c.batch = 1000;
    c.target_rel_sd = 0.02;
    const auto one = ComputeEffEa({30, 160}, 1, tissue, c);
    const auto two = ComputeEffEa({30, 160}, 2, tissue, c);
    ASSERT_EQ(one.size(), two.size());
    for (std::size_t i = 0; i < one.size(); ++i) {
        EXPECT_EQ(one[i].bin, two[i].bin);
        EXPECT_EQ(EffEaLine(one[i]), EffEaLine(two[i]));
    }
}

TEST(SlabMonteCarlo, SeedsDifferPerTask) {
    EXPECT_NE(TaskSeed(kSeed, 10, 0), TaskSeed(kSeed, 10, 1));
    EXPECT_NE(TaskSeed(kSeed, 10, 0), TaskSeed(kSeed, 11, 0));
    EXPECT_EQ(TaskSeed(kSeed, 10, 3), TaskSeed(kSeed, 10, 3));
}

}  // namespace
}  // namespace mirelo::tables
