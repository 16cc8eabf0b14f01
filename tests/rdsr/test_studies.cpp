// Reports made here are read and computed: what the reader takes from them (units, means, filters,
// profiles, the HVL fit) must equal the inputs a user would type for the same event. The outputs,
// the sums and the reasons are checked through the command (test_rdsr_command.cpp).
#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>
#include <string>

#include "corpus.h"
#include "profiles/profiles.h"
#include "quality/quality.h"
#include "studies/studies.h"
#include "tables/table_reader.h"

namespace {

using namespace mirelo;

class Studies : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        folder_ = std::filesystem::temp_directory_path() / ("mirelo_rdsr_" + std::to_string(::getpid()));
        corpus_ = new rdsrtest::Corpus(rdsrtest::WriteCorpus(folder_));
        auto tables = LoadTables({MIRELO_SOURCE_DATA_DIR});
        auto profiles = profiles::ParseProfiles(rdsrtest::ProfilesToml(), "corpus.toml");
        if (!tables || !profiles) {
            throw std::runtime_error(profiles ? "tables" : profiles::DescribeProfileError(profiles.error()));
        }
        tables_ = new Tables(*tables);
        profiles_ = new profiles::Profiles(*profiles);
        reports_ = new std::vector<studies::ReadOutcome>(studies::ReadReports({folder_}));
    }
    static void TearDownTestSuite() {
        std::filesystem::remove_all(folder_);
        delete reports_;
        delete profiles_;
        delete tables_;
        delete corpus_;
    }
    static std::filesystem::path folder_;
    static rdsrtest::Corpus* corpus_;
    static Tables* tables_;
    static profiles::Profiles* profiles_;
    static std::vector<studies::ReadOutcome>* reports_;
};
std::filesystem::path Studies::folder_;
rdsrtest::Corpus* Studies::corpus_;
Tables* Studies::tables_;
profiles::Profiles* Studies::profiles_;
std::vector<studies::ReadOutcome>* Studies::reports_;

std::string Name(const std::string& path) { return std::filesystem::path(path).filename().string(); }

// The inputs as a user would type them into the main window for each event.
struct ByHand {
    const char* uid;
    double kv, dapGyCm2, angle, inherent, al, cu;
    const char* profile;
};

TEST_F(Studies, UsedEventsEqualTheEngineWithTheSameInputsTypedByHand) {
    // The radiography unit's profile gives 3.1 mm Al at 80 kV: its inherent filtration is fitted.
    const auto fit = FitInherentFiltration(*tables_, HvlMeasurement{14, 0, 0, 80, 3.1, {}});
    ASSERT_TRUE(fit);
    const double dr3 = fit->inherentMmAl;
    const ByHand cases[] = {
        {"1.2.826.0.1.3680043.10.1311.1", 80, 1.5, 10, 3.0, 1.0, 0.25, "Angio 1"},  // mean of 78 and 82 kV
        {"1.2.826.0.1.3680043.10.1311.2", 85, 2.25, 10, 3.0, 0.5, 0.2, "Angio 1"},  // stated mean; Cu 0.1 + 0.1
        {"1.2.826.0.1.3680043.10.1311.3", 70, 30, 10, 3.0, 0, 0, "Angio 1"},        // no filters
        {"1.2.826.0.1.3680043.10.1312.1", 75, 1.25, 11, 2.8, 1, 0.3, "Biplane A"},  // 12.5 dGy.cm2
        {"1.2.826.0.1.3680043.10.1312.2", 75, 0.8, 13, 3.5, 1, 0.3, "Biplane"},     // plane B: the plane-less entry
        {"1.2.826.0.1.3680043.10.1312.4", 90, 0.5, 13, 3.5, 0, 0.9, "Biplane"},
        {"1.2.826.0.1.3680043.10.1313.1", 81, 0.012, 14, dr3, 1.0, 0.1, "DR 3"},    // 1.2 uGy.m2
        {"1.2.826.0.1.3680043.10.1313.2", 109, 0.025, 14, dr3, 0, 0, "DR 3"},       // 25 mGy.cm2
        {"1.2.826.0.1.3680043.10.1313.3", 125, 0.045, 14, dr3, 0, 0, "DR 3"},
        {"1.2.826.0.1.3680043.10.1314.1", 80, 1, 12, 2.5, 0, 0.1, "default"},       // damaged report, no profile
        {"1.2.826.0.1.3680043.10.1314.2", 80, 2, 12, 2.5, 0, 0.1, "default"},
    };
    const auto batch = studies::ComputeStudies(*tables_, *reports_, *profiles_);
    for (const ByHand& c : cases) {
        SCOPED_TRACE(c.uid);
        const auto row = std::find_if(batch.events.begin(), batch.events.end(),
                                      [&](const auto& r) { return r.event->uid == c.uid && r.used; });
        ASSERT_NE(row, batch.events.end());
        EXPECT_EQ(row->profile, c.profile);
        EXPECT_EQ(row->inherentMmAl, c.inherent);
        const auto spectrum =
            ComputeSpectrum(*tables_, Beam::FromMm(c.angle, c.inherent, c.al, c.cu), TubeVoltage::Fixed(c.kv));
        const auto dose = ComputeVolumeDose(*tables_, *spectrum, c.dapGyCm2);
        ASSERT_TRUE(dose);
        EXPECT_NEAR(row->dose.photons, dose->photons, 1e-12 * dose->photons);
        for (std::size_t j = 0; j < dose->joules.size(); ++j) {
            EXPECT_NEAR(row->dose.joules[j], dose->joules[j], 1e-12 * dose->joules[j]) << "thickness " << j;
        }
    }
    // Same conditions are computed once: 11 used events, of which the two damaged-report ones share
    // one beam (the duplicates are computed before they are found out, from the cache).
    EXPECT_EQ(batch.spectraComputed, 10u + 1u /* 160 kV, refused */);
}

TEST_F(Studies, AnHvlNoFiltrationCanGiveSkipsTheEventsOfItsProfile) {
    const auto profiles = profiles::ParseProfiles(
        "[[device]]\nname = \"DR 3 by HVL\"\nmanufacturer = \"Mirelo Test\"\nmodel = \"DR 3\"\n"
        "hvl_mm_al = 15\nhvl_kv = 50\n",
        "hvl.toml");
    ASSERT_TRUE(profiles);
    const auto batch = studies::ComputeStudies(*tables_, *reports_, *profiles);
    std::size_t dx = 0;
    for (const auto& row : batch.events) {
        if (Name(row.file) == "c_dx.dcm") {
            ++dx;
            EXPECT_FALSE(row.used);
            EXPECT_NE(row.reason.find("HVL fit of profile 'DR 3 by HVL': the measured 15 mm Al at 50 kV (through 0 mm Al and 0 mm Cu) cannot be reached"),
                      std::string::npos) << row.reason;
        }
    }
    EXPECT_EQ(dx, 3u);
}

// HVLs at two voltages: an event between them gets the filtration on the line between the two
// single fits, one beyond them the nearest fit, flagged when it lies more than 10 kV outside; every
// used event carries the quality of its spectrum.
TEST_F(Studies, HvlsAtSeveralVoltagesAreInterpolatedPerEvent) {
    const auto profiles = profiles::ParseProfiles(
        "[[device]]\nname = \"DR 3 by HVLs\"\nmanufacturer = \"Mirelo Test\"\nmodel = \"DR 3\"\n"
        "target_angle_deg = 14\nhvl_al_mm = 0.5\nhvl = [{kv = 110, mm_al = 4.4}, {kv = 80, mm_al = 3.1}]\n",
        "hvls.toml");
    ASSERT_TRUE(profiles) << profiles::DescribeProfileError(profiles.error());
    const auto single = [&](double kv, double hvl) {
        return FitInherentFiltration(*tables_, HvlMeasurement{14, 0.5, 0, kv, hvl, {}})->inherentMmAl;
    };
    const double f80 = single(80, 3.1), f110 = single(110, 4.4);
    const struct {
        const char* uid;
        double inherent, outside;
        bool far;
    } cases[] = {
        {"1.2.826.0.1.3680043.10.1313.1", f80 + (f110 - f80) / 30, 0, false},  // 81 kV
        {"1.2.826.0.1.3680043.10.1313.2", f110 - (f110 - f80) / 30, 0, false},  // 109 kV
        {"1.2.826.0.1.3680043.10.1313.3", f110, 15, true},                     // 125 kV
    };
    const auto batch = studies::ComputeStudies(*tables_, *reports_, *profiles);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.uid);
        const auto row = std::find_if(batch.events.begin(), batch.events.end(),
                                      [&](const auto& r) { return r.event->uid == c.uid && r.used; });
        ASSERT_NE(row, batch.events.end());
        EXPECT_NEAR(row->inherentMmAl, c.inherent, 1e-12);
        ASSERT_TRUE(row->fitKvOutside);
        EXPECT_EQ(*row->fitKvOutside, c.outside);
        EXPECT_EQ(*row->fitKvOutside > kFarOutsideKv, c.far);
        const auto spectrum = ComputeSpectrum(*tables_, Beam::FromMm(14, row->inherentMmAl, row->alMm, row->cuMm),
                                              TubeVoltage::Fixed(*row->event->kvp));
        ASSERT_TRUE(row->quality);
        EXPECT_EQ(row->quality->hvl1MmAl, ComputeBeamQuality(*tables_, *spectrum)->hvl1MmAl);
    }
}

}  // namespace
