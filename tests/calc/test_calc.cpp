// mirelo-calc through its process: arguments in; standard output, standard error and exit status
// out. The numbers are held against the plain loops of the model.
#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "common/sha256.h"
#include "tables/table_error_text.h"
#include "tables/table_reader.h"
#include "tests/calc/run_tool.h"
#include "tests/spectrum/reference_spectrum.h"

namespace mirelo {
namespace {

using nlohmann::json;
using test::RunTool;
using test::Slurp;
namespace fs = std::filesystem;

const fs::path kSynthetic = fs::path(MIRELO_TEST_DATA_DIR) / "synthetic";
const fs::path kShipped = MIRELO_SHIPPED_DATA_DIR;

std::vector<std::string> With(std::vector<std::string> args, const fs::path& tables) {
    args.insert(args.end(), {"--tables", tables.string()});
    return args;
}

// --- Wrong input: one line naming the argument and the value, status 2, nothing on stdout --------

struct Refusal {
    std::vector<std::string> args;
    const char* message;
};

const Refusal kRefusals[] = {
    {{"--kv", "200", "--area-dose", "1"}, "--kv \"200\": outside 0-150 kV"},
    {{"--kv", "\xEF\xBC\x98\xEF\xBC\x90", "--area-dose", "1"}, "--kv \"８０\": not a number"},  // full-width 80, as typed
    {{"--kv", "80\x01\xff", "--area-dose", "1"}, "--kv \"80??\": not a number"},  // a control byte, not UTF-8
    {{"--kv", "85-75", "--area-dose", "1"}, "--kv \"85-75\": the low end must be below the high end"},
    {{"--kv", "80-80", "--area-dose", "1"}, "--kv \"80-80\": the low end must be below the high end"},
    {{"--kv", "80-", "--area-dose", "1"}, "--kv \"80-\": not a number"},
    {{"--kv", "75-151", "--area-dose", "1"}, "--kv \"75-151\": outside 0-150 kV"},
    {{"--kv", "80", "--spread", "normal", "--area-dose", "1"}, "--spread \"normal\": a spread needs a range of voltages"},
    {{"--kv", "75-85", "--spread", "Normal", "--area-dose", "1"}, "--spread \"Normal\": neither uniform nor normal"},
    {{"--kv", "80", "--angle", "0", "--area-dose", "1"}, "--angle \"0\": must be above 0 and below 90 degrees"},
    {{"--kv", "80", "--angle", "-12", "--area-dose", "1"}, "--angle \"-12\": must be above 0 and below 90 degrees"},
    {{"--kv", "80", "--angle", "90", "--area-dose", "1"}, "--angle \"90\": must be above 0 and below 90 degrees"},
    {{"--kv", "80", "--angle", "270", "--area-dose", "1"}, "--angle \"270\": must be above 0 and below 90 degrees"},
    {{"--kv", "80", "--angle", "1e15", "--area-dose", "1"}, "--angle \"1e15\": must be above 0 and below 90 degrees"},
    {{"--kv", "80", "--angle", "1e400", "--area-dose", "1"}, "--angle \"1e400\": must be above 0 and below 90 degrees"},
    {{"--kv", "80", "--al", "-1", "--area-dose", "1"}, "--al \"-1\": a thickness must be finite and not negative"},
    {{"--kv", "80", "--cu", "1e999", "--area-dose", "1"}, "--cu \"1e999\": a thickness must be finite and not negative"},
    {{"--kv", "80", "--inherent", "0x1", "--area-dose", "1"}, "--inherent \"0x1\": not a number"},
    {{"--kv", "80", "--area-dose", "-2"}, "--area-dose \"-2\": an area dose must be finite and not negative"},
    {{"--kv", "80", "--area-dose", "1e999"}, "--area-dose \"1e999\": an area dose must be finite and not negative"},
    {{"--kv", "80", "--area-dose", "1,5"}, "--area-dose \"1,5\": not a number"},  // the text field would read 1
    {{"--kv", "80", "--area-dose", "1e305", "--unit", "Gy.m2"}, "--area-dose \"1e305\": too large in Gy·cm²"},
    {{"--kv", "80", "--area-dose", "1e300"}, "--area-dose \"1e300\": the doses would not fit a double"},
    {{"--kv", "80", "--area-dose", "1", "--unit", "mgy.cm2"},
     "--unit \"mgy.cm2\": not one of Gy.cm2, mGy.cm2, uGy.m2, dGy.cm2, cGy.cm2, Gy.m2"},
    {{"--kv", "0.5", "--area-dose", "1"},
     "--kv \"0.5\": no photons reach the patient at this voltage with these tables"},
    // The filter that stops every photon is named, not the voltage.
    {{"--kv", "80", "--al", "1e300", "--area-dose", "1"}, "--al \"1e300\": no photons pass a filter this thick"},
    {{"--kv", "80", "--cu", "2e3", "--area-dose", "1"}, "--cu \"2e3\": no photons pass a filter this thick"},
    {{"--kv", "80"},
     "--area-dose: missing (the photon count and doses need it; --spectrum, --quality or --fit-hvl alone do not)"},
    {{"--area-dose", "1"}, "--kv: missing (or give --batch FILE.csv)"},
    {{"--batch", "any.csv", "--angle", "3"}, "--angle: not with --batch (the file gives the conditions)"},
    {{"--kv", "80", "--format", "xml"}, "--format: xml not in {text,json,csv} (see --help)"},
    {{"--kv", "80", "--area-dose", "1", "--fit-hvl", "3"}, "--fit-kv: missing (the tube voltage the HVL was measured at)"},
    {{"--kv", "80", "--area-dose", "1", "--fit-hvl", "3", "--fit-kv", "80", "--inherent", "2"},
     "--inherent: not with --fit-hvl (the fit gives the inherent filtration)"},
    {{"--kv", "80", "--area-dose", "1", "--fit-hvl", "0", "--fit-kv", "80"}, "--fit-hvl \"0\": must be above 0 mm Al"},
    {{"--kv", "80", "--area-dose", "1", "--fit-hvl", "3", "--fit-kv", "151"}, "--fit-kv \"151\": outside 0-150 kV"},
    {{"--kv", "80", "--area-dose", "1", "--fit-hvl", "3", "--fit-kv", "0"}, "--fit-kv \"0\": an HVL is measured above 0 kV"},
    {{"--kv", "80", "--area-dose", "1", "--fit-hvl", "1e309", "--fit-kv", "80"},
     "--fit-hvl \"1e309\": too large for any measurement (beyond 1.8e308)"},
    {{"--kv", "80", "--fit-hvl", "151:3"}, "--fit-hvl \"151:3\": outside 0-150 kV"},
    {{"--kv", "80", "--fit-hvl", "60:2", "--fit-kv", "80"}, "--fit-kv: not with --fit-hvl \"60:2\" (it names its own voltage)"},
    {{"--kv", "80", "--fit-hvl", "3", "--fit-hvl", "4", "--fit-kv", "80"},
     "--fit-kv: only with a single --fit-hvl MM (give several as KV:MM)"},
    {{"--kv", "80", "--fit-hvl", "60:2.3", "--fit-hvl", "60:2.5"}, "--fit-hvl \"60:2.5\": a second measurement at 60 kV"},
    {{"--kv", "80", "--fit-hvl", "60:2.3:x"}, "--fit-hvl \"60:2.3:x\": not a number"},
    {{"--kv", "80", "--fit-hvl", "60:2.3:4:5"}, "--fit-hvl \"60:2.3:4:5\": not KV:MM or KV:MM:MM2"},
    {{"--kv", "80", "--fit-hvl", "60:-2"}, "--fit-hvl \"60:-2\": must be above 0 mm Al"},
    {{"--kv", "80", "--fit-al", "1"}, "--fit-hvl: missing (--fit-al and --fit-cu describe its measurement)"},
    {{"--kv", "80", "--fit-hvl", "80:3", "--fit-cu", "-1"}, "--fit-cu \"-1\": a thickness must be finite and not negative"},
    {{"--batch", "any.csv", "--fit-hvl", "80:3"}, "--fit-hvl: not with --batch (the file gives the conditions)"},
};

TEST(CalcTool, RefusesWrongInputWithOneLine) {
    for (const Refusal& r : kRefusals) {
        const auto run = RunTool(With(r.args, kSynthetic));
        EXPECT_EQ(run.err, std::string("mirelo-calc: ") + r.message + "\n") << r.args[1];
        EXPECT_EQ(run.status, 2) << r.message;
        EXPECT_EQ(run.out, "") << r.message;
    }
}

// --- Tables: the start-up message and status 1; the program's look-up order --------------------

TEST(CalcTool, TablesComeFromTheLookUpOrStopWithTheStartUpMessage) {
    const fs::path work = fs::temp_directory_path() / ("mirelo-calc-tables-" + std::to_string(::getpid()));
    fs::create_directories(work);
    const std::vector<std::string> args{"--kv", "80", "--area-dose", "1", "--format", "json"};
    // Nothing in the working folder: the source tree's tables, as for the window in a build tree.
    EXPECT_EQ(json::parse(RunTool(args, work).out)["tables"]["effEA.dat"]["path"], (kShipped / "effEA.dat").string());
    const std::string att = Slurp(kSynthetic / "Att_coeff2021.dat");
    std::ofstream(work / "Att_coeff2021.dat", std::ios::binary) << att;
    fs::copy_file(kSynthetic / "effEA.dat", work / "effEA.dat");
    const json t = json::parse(RunTool(args, work).out)["tables"];
    EXPECT_EQ(t["effEA.dat"]["path"], "./effEA.dat");
    EXPECT_EQ(t["Att_coeff2021.dat"]["sha256"], Sha256Hex(att));
    // A broken or missing file: the message the window shows at start, status 1.
    std::ofstream(work / "Att_coeff2021.dat", std::ios::binary) << att.substr(0, att.size() / 2);
    for (const fs::path& dir : {work, work / "none"}) {
        const auto expected = LoadTables({dir});
        ASSERT_FALSE(expected);
        const auto run = RunTool(With(args, dir));
        EXPECT_EQ(run.err, "mirelo-calc: " + DescribeTableError(expected.error()) + "\n");
        EXPECT_EQ(run.status, 1);
    }
    fs::remove_all(work);
}

// --- JSON against the plain loops of the model ---------------------------------------------------

// The shortest text that reads back as the same double.
std::string Exact(double x) {
    char buf[32];
    return std::string(buf, std::to_chars(buf, buf + sizeof buf, x).ptr);
}

// Equal within 1e-12 relative; bins the model rounds to 0 below 1e-10 of the total may differ by
// 1e-15 of the largest bin (one side just above the cut, the other just below).
bool Agree(double actual, double expected, double scale) {
    const double diff = std::fabs(actual - expected);
    return actual == expected || diff <= 1e-12 * std::fabs(expected) ||
           (std::fabs(expected) < 1e-10 * scale && diff <= 1e-15 * scale);
}

struct Case {
    std::vector<std::string> args;
    TubeVoltage voltage;
    Beam beam;
    double areaGyCm2;
};

const Case kCases[] = {
    {{"--kv", "80", "--area-dose", "25.3"}, TubeVoltage::Fixed(80), Beam::FromMm(12, 2.5, 1.0, 0), 25.3},
    {{"--kv", "150", "--angle", "45", "--inherent", "1", "--al", "3", "--cu", "0.2", "--area-dose", "4", "--unit", "mGy.cm2"},
     TubeVoltage::Fixed(150), Beam::FromMm(45, 1, 3, 0.2), 0.004},
    {{"--kv", "75-85", "--area-dose", "10", "--unit", "Gy.m2"}, {75, 85, Spread::Uniform}, Beam::FromMm(12, 2.5, 1.0, 0), 1e5},
    {{"--kv", "75-85", "--spread", "normal", "--area-dose", "7", "--unit", "uGy.m2"},
     {75, 85, Spread::Normal}, Beam::FromMm(12, 2.5, 1.0, 0), 0.07},
    {{"--kv", "0.5-150", "--spread", "normal", "--area-dose", "1", "--unit", "dGy.cm2"},
     {0.5, 150, Spread::Normal}, Beam::FromMm(12, 2.5, 1.0, 0), 0.1},
    {{"--kv", "60.5", "--angle", "7.5", "--cu", "0.1", "--area-dose", "3", "--unit", "cGy.cm2"},
     TubeVoltage::Fixed(60.5), Beam::FromMm(7.5, 2.5, 1.0, 0.1), 0.03},
};

TEST(CalcTool, JsonAgreesWithThePlainLoops) {
    for (const fs::path& dir : {kShipped, kSynthetic}) {
        const auto tables = LoadTables({dir});
        ASSERT_TRUE(tables);
        for (const Case& c : kCases) {
            SCOPED_TRACE(dir.string() + " " + c.args[1]);
            auto args = With(c.args, dir);
            args.insert(args.end(), {"--spectrum", "--format", "json"});
            const auto run = RunTool(args);
            ASSERT_EQ(run.status, 0) << run.err;
            const json j = json::parse(run.out);
            EXPECT_EQ(j["inputs"]["area_dose_gy_cm2"].get<double>(), c.areaGyCm2);
            args.back() = "csv";  // the same doubles, written shortest
            std::istringstream csv(RunTool(args).out.substr(std::string("keV,fluence\n").size()));

            const BinArray f = reference::SpectrumLoops(*tables, c.beam, c.voltage);
            const double largest = *std::max_element(f.begin(), f.end());
            ASSERT_EQ(j["spectrum"].size(), static_cast<std::size_t>(kBins));
            for (int i = 1; i <= kBins; ++i) {
                const json& bin = j["spectrum"][static_cast<std::size_t>(i - 1)];
                std::string line;
                std::getline(csv, line);
                EXPECT_EQ(line, Exact(0.5 * i) + "," + Exact(bin["fluence"].get<double>()));
                EXPECT_EQ(bin["keV"].get<double>(), 0.5 * i);
                EXPECT_TRUE(Agree(bin["fluence"].get<double>(), f[i], largest)) << i;
            }
            // The model: photons = A / Z * 1e10 with Z the tissue-weighted energy per photon, and
            // each thickness takes its absorbed fraction of every bin's energy.
            const int last = static_cast<int>(2 * c.voltage.highKv);
            double Z = 0;
            for (int i = 2; i <= last; ++i) {
                Z += f[i] * 0.5 * i * 0.001602 * tables->tissue[i];
            }
            const double G = c.areaGyCm2 / Z;
            EXPECT_TRUE(Agree(j["photons"].get<double>(), G * 1e10, 0));
            ASSERT_EQ(j["volume_dose"].size(), static_cast<std::size_t>(kThicknesses));
            for (int t = 1; t <= kThicknesses; ++t) {
                double J = 0;
                for (int i = 2; i <= last; ++i) {
                    J += f[i] * 1e10 * G * 0.5 * i * 1.602e-16 * tables->effEA[i][t];
                }
                const json& d = j["volume_dose"][static_cast<std::size_t>(t - 1)];
                EXPECT_EQ(d["thickness_cm"].get<int>(), 8 + 2 * t);
                EXPECT_TRUE(Agree(d["J"].get<double>(), J, 0)) << d["J"].get<double>() << " vs " << J;
            }
        }
    }
}

// --- Beam quality and the inherent filtration fitted to it ---------------------------------------

// The first HVL of a known filtration, fed back as a measurement, gives that filtration back; one
// out of reach names the reachable range.
TEST(CalcTool, FittedFiltrationRoundTrips) {
    for (const char* kv : {"50", "100", "150"}) {
        const auto known = RunTool(With({"--kv", kv, "--inherent", "3.2", "--area-dose", "1", "--quality", "--format", "json"}, kShipped));
        ASSERT_EQ(known.status, 0) << known.err;
        const double hvl = nlohmann::json::parse(known.out)["quality"]["hvl1_mm_al"].get<double>();
        const auto fitted = RunTool(With({"--kv", kv, "--area-dose", "1", "--fit-hvl", Exact(hvl), "--fit-kv", kv,
                                          "--fit-al", "1", "--quality", "--format", "json"}, kShipped));
        ASSERT_EQ(fitted.status, 0) << fitted.err;
        const auto j = nlohmann::json::parse(fitted.out);
        EXPECT_NEAR(j["inherent_mm_al"].get<double>(), 3.2, 0.01) << kv;
        EXPECT_NEAR(j["quality"]["hvl1_mm_al"].get<double>(), hvl, 1e-5) << kv;
        EXPECT_EQ(j["inputs"]["inherent"].get<double>(), j["inherent_mm_al"].get<double>()) << kv;
    }
    const auto far = RunTool(With({"--kv", "80", "--area-dose", "1", "--fit-hvl", "30", "--fit-kv", "80"}, kShipped));
    EXPECT_EQ(far.status, 2);
    EXPECT_NE(far.err.find("--fit-hvl \"30\": out of reach; at 80 kV, measured through 0 mm Al and 0 mm Cu, an inherent "
                           "filtration of 0 to 20.00 mm Al gives a first HVL of"),
              std::string::npos) << far.err;
}

// The lower end of the reachable range, as the message writes it, must read as above the
// measured HVL: enough digits, not "0.00 to ..." for 0.001.
TEST(CalcTool, AnUnreachableHvlNamesARangeThatExcludesIt) {
    for (const char* hvl : {"0.001", "0.002", "40"}) {
        const auto run = RunTool(With({"--kv", "80", "--fit-hvl", std::string("80:") + hvl}, kShipped));
        ASSERT_EQ(run.status, 2) << run.err;
        const auto at = run.err.find("a first HVL of ");
        ASSERT_NE(at, std::string::npos) << run.err;
        const double low = std::stod(run.err.substr(at + 15));
        const double high = std::stod(run.err.substr(run.err.find(" to ", at) + 4));
        const double measured = std::stod(hvl);
        EXPECT_TRUE(measured < low || measured > high) << run.err;
    }
}

// --quality and the fit need no area dose: the quality alone, no photons or doses, and the same
// numbers as with a dose. The old --fit-hvl MM --fit-kv KV is --fit-hvl KV:MM, and the stated
// default of the measurement's filters (none) is what an explicit 0 gives.
TEST(CalcTool, QualityAndFitWithoutAnAreaDose) {
    const auto alone = RunTool(With({"--kv", "80", "--quality"}, kShipped));
    ASSERT_EQ(alone.status, 0) << alone.err;
    EXPECT_EQ(alone.out.find("photons"), std::string::npos) << alone.out;
    const json withDose = json::parse(RunTool(With({"--kv", "80", "--area-dose", "1", "--quality", "--format", "json"}, kShipped)).out);
    const json q = withDose["quality"];
    char line[64];
    std::snprintf(line, sizeof line, "HVL1 (mm Al)             %.2f\n", q["hvl1_mm_al"].get<double>());
    EXPECT_NE(alone.out.find(line), std::string::npos) << alone.out;
    const json jsonAlone = json::parse(RunTool(With({"--kv", "80", "--quality", "--format", "json"}, kShipped)).out);
    EXPECT_EQ(jsonAlone["quality"], q);
    EXPECT_TRUE(jsonAlone["photons"].is_null());
    const auto csv = RunTool(With({"--kv", "80", "--quality", "--format", "csv"}, kShipped)).out;
    EXPECT_EQ(csv, "hvl1_mm_al,hvl2_mm_al,homogeneity,mean_keV,effective_keV\n" + Exact(q["hvl1_mm_al"].get<double>()) + "," +
                       Exact(q["hvl2_mm_al"].get<double>()) + "," + Exact(q["homogeneity"].get<double>()) + "," +
                       Exact(q["mean_keV"].get<double>()) + "," + Exact(q["effective_keV"].get<double>()) + "\n");
    const auto withDoseCsv = RunTool(With({"--kv", "80", "--area-dose", "1", "--quality", "--format", "csv"}, kShipped)).out;
    EXPECT_EQ(withDoseCsv.substr(0, withDoseCsv.find('\n')), "thickness_cm,J,hvl1_mm_al,hvl2_mm_al,homogeneity,mean_keV,effective_keV");

    const auto inherent = [](std::vector<std::string> args) {
        args.insert(args.begin(), {"--kv", "80", "--format", "json"});
        const auto run = RunTool(With(args, kShipped));
        EXPECT_EQ(run.status, 0) << run.err;
        return json::parse(run.out)["inherent_mm_al"].get<double>();
    };
    const double old = inherent({"--fit-hvl", "3", "--fit-kv", "80"});
    EXPECT_EQ(inherent({"--fit-hvl", "80:3"}), old);
    EXPECT_EQ(inherent({"--fit-hvl", "80:3", "--fit-al", "0", "--fit-cu", "0"}), old);
    EXPECT_LT(inherent({"--fit-hvl", "80:3", "--fit-al", "1"}), old - 0.5);  // the filter measured through is not inherent
    // Text: to 0.01 mm, with what was assumed.
    const auto text = RunTool(With({"--kv", "80", "--fit-hvl", "80:3"}, kShipped)).out;
    std::snprintf(line, sizeof line, "inherent filter (mm Al)  %.2f (fitted", old);
    EXPECT_NE(text.find(line), std::string::npos) << text;
    EXPECT_NE(text.find("measured through 0 mm Al and 0 mm Cu"), std::string::npos) << text;
}

// Several voltages: the filtration at a voltage between two measurements lies on the line between
// their single fits; outside, the nearest one holds, flagged beyond 10 kV.
TEST(CalcTool, SeveralMeasurementsAreInterpolatedInKv) {
    const auto fitAt = [](const std::vector<std::string>& points, const char* kv) {
        std::vector<std::string> args{"--kv", kv, "--format", "json"};
        for (const auto& p : points) args.insert(args.end(), {"--fit-hvl", p});
        const auto run = RunTool(With(args, kShipped));
        EXPECT_EQ(run.status, 0) << run.err;
        return json::parse(run.out);
    };
    const double at60 = fitAt({"60:2.3"}, "60")["inherent_mm_al"].get<double>();
    const double at100 = fitAt({"100:3.9"}, "100")["inherent_mm_al"].get<double>();
    const struct {
        const char* kv;
        double share100;  // of the 100 kV fit in the interpolation
        bool far;
    } cases[] = {{"70", 0.25, false}, {"90", 0.75, false}, {"45", 0, true}, {"55", 0, false}, {"110", 1, false}, {"150", 1, true}};
    for (const auto& c : cases) {
        const json j = fitAt({"100:3.9", "60:2.3"}, c.kv);
        EXPECT_NEAR(j["inherent_mm_al"].get<double>(), at60 + c.share100 * (at100 - at60), 1e-12) << c.kv;
        EXPECT_EQ(j["fit"]["far_outside"].get<bool>(), c.far) << c.kv;
    }
}

// --- Batch: one result per line, bad lines say why, the rest go on --------------------------------

struct BatchRow {
    const char* line;
    std::vector<std::string> same;  // the single run whose results it must give
    const char* error;              // or its error; neither: a blank line, no result
};

const BatchRow kRows[] = {
    {"80,,,1.0,0,25.3,", {"--kv", "80", "--area-dose", "25.3"}, nullptr},
    {"80,,,2.0,0,25.3,", {"--kv", "80", "--al", "2", "--area-dose", "25.3"}, nullptr},  // another spectrum
    {"75, 85 ,normal,,,2530,mGy.cm2", {"--kv", "75-85", "--spread", "normal", "--area-dose", "2.53"}, nullptr},
    {"200,,,,,1,", {}, "kv \"200\": outside 0-150 kV"},
    {"  ", {}, nullptr},
    {"80,,,1.0,0,\"12.65\",", {"--kv", "80", "--area-dose", "12.65"}, nullptr},  // the first spectrum again
    {"80,,,,,\"1,5\",", {}, "area_dose \"1,5\": not a number"},
    {"80,,,,,,", {}, "area_dose: missing"},
    {"80,85", {}, "2 values where the header names 7"},
    {"80,,,,,\"1,Gy.cm2", {}, "a quoted value is not closed"},
};

TEST(CalcTool, BatchGivesOneLinePerCalculation) {
    const fs::path file = fs::temp_directory_path() / ("mirelo-calc-batch-" + std::to_string(::getpid()) + ".csv");
    {
        std::ofstream out(file, std::ios::binary);
        out << "\xEF\xBB\xBFKV,kv_high,spread,al,cu,area_dose,unit\r\n";
        for (const BatchRow& r : kRows) {
            out << r.line << "\r\n";
        }
    }
    const auto run = RunTool(With({"--batch", file.string(), "--format", "json"}, kShipped));
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err, "mirelo-calc: 5 of 9 lines could not be computed\n");
    std::istringstream lines(run.out);
    std::string line;
    ASSERT_TRUE(std::getline(lines, line));
    const json runLine = json::parse(line);  // the tables once, before the lines
    EXPECT_EQ(runLine["run"]["tables"], json::parse(RunTool(With({"--kv", "80", "--area-dose", "1", "--format", "json"},
                                                                  kShipped)).out)["tables"]);
    std::size_t number = 1;
    for (const BatchRow& r : kRows) {
        ++number;
        if (r.same.empty() && r.error == nullptr) {
            continue;
        }
        ASSERT_TRUE(std::getline(lines, line)) << r.line;
        const json j = json::parse(line);
        EXPECT_EQ(j["line"], number);
        if (r.error != nullptr) {
            EXPECT_EQ(j["error"], r.error);
            EXPECT_TRUE(j["photons"].is_null());
            continue;
        }
        auto args = With(r.same, kShipped);
        args.insert(args.end(), {"--format", "json"});
        const json single = json::parse(RunTool(args).out);
        EXPECT_TRUE(j["error"].is_null()) << j["error"];
        EXPECT_EQ(j["photons"], single["photons"]) << r.line;
        EXPECT_EQ(j["volume_dose"], single["volume_dose"]) << r.line;
        EXPECT_FALSE(j.contains("tables")) << line;
    }
    EXPECT_FALSE(std::getline(lines, line));

    for (const char* format : {"text", "csv"}) {
        const auto other = RunTool(With({"--batch", file.string(), "--format", format}, kShipped));
        const auto count = std::count(other.out.begin(), other.out.end(), '\n');
        EXPECT_EQ(count, std::string(format) == "csv" ? 10 : 9) << other.out;
    }
    fs::remove(file);
}

// Batch lines are held to the same rule as single runs; blanks around a value are not part of it,
// and the error is one CSV cell.
TEST(CalcTool, BatchLinesFollowTheInputRule) {
    const std::pair<const char*, const char*> kLines[] = {
        {"80,-12,1", "\"angle \"\"-12\"\": must be above 0 and below 90 degrees\""},
        {"80,90,1", "\"angle \"\"90\"\": must be above 0 and below 90 degrees\""},
        {"80,270,1", "\"angle \"\"270\"\": must be above 0 and below 90 degrees\""},
        {" 80 , 12\t, 1 ", ""},
        {"80,12,", "area_dose: missing"},
    };
    const fs::path file = fs::temp_directory_path() / ("mirelo-calc-rule-" + std::to_string(::getpid()) + ".csv");
    {
        std::ofstream out(file, std::ios::binary);
        out << "kv,angle,area_dose\n";
        for (const auto& [line, cell] : kLines) {
            out << line << "\n";
        }
    }
    const auto run = RunTool(With({"--batch", file.string(), "--format", "csv"}, kSynthetic));
    EXPECT_EQ(run.status, 2);
    std::istringstream lines(run.out);
    std::string line;
    ASSERT_TRUE(std::getline(lines, line));  // the header
    for (const auto& [given, cell] : kLines) {
        ASSERT_TRUE(std::getline(lines, line)) << given;
        const std::string ending = "," + std::string(cell);
        EXPECT_TRUE(line.size() >= ending.size() && line.compare(line.size() - ending.size(), ending.size(), ending) == 0)
            << given << " gave " << line;
        EXPECT_EQ(line.find(",,") == std::string::npos, *cell == '\0') << given << " gave " << line;  // computed
    }
    fs::remove(file);
}

// --quality in a batch: the quality of every line, the same as the single run's; a line without
// an area dose gives the quality alone.
TEST(CalcTool, BatchCarriesTheQuality) {
    const fs::path file = fs::temp_directory_path() / ("mirelo-calc-quality-" + std::to_string(::getpid()) + ".csv");
    std::ofstream(file, std::ios::binary) << "kv,al,area_dose\n80,1,2\n80,1,\n60,,1\n";
    const auto run = RunTool(With({"--batch", file.string(), "--quality", "--format", "json"}, kShipped));
    ASSERT_EQ(run.status, 0) << run.err;
    std::istringstream lines(run.out);
    std::string line;
    ASSERT_TRUE(std::getline(lines, line));
    EXPECT_TRUE(json::parse(line).contains("run")) << line;
    for (const char* kv : {"80", "80", "60"}) {
        ASSERT_TRUE(std::getline(lines, line));
        const json single = json::parse(RunTool(With({"--kv", kv, "--quality", "--format", "json"}, kShipped)).out);
        EXPECT_EQ(json::parse(line)["quality"], single["quality"]) << line;
    }
    const auto csv = RunTool(With({"--batch", file.string(), "--quality", "--format", "csv"}, kShipped)).out;
    EXPECT_NE(csv.find(",J_30cm,hvl1_mm_al,hvl2_mm_al,homogeneity,mean_keV,effective_keV,error\n"), std::string::npos) << csv;
    fs::remove(file);
}

TEST(CalcTool, BatchFilesThatCannotBeReadStopAtOnce) {
    const fs::path file = fs::temp_directory_path() / ("mirelo-calc-head-" + std::to_string(::getpid()) + ".csv");
    const std::pair<const char*, const char*> kHeaders[] = {
        {"kv,area_dose,KV\n80,1,80\n", "header: \"KV\" is named twice"},
        {"kvp,area_dose\n80,1\n", "header: \"kvp\" is not one of kv, kv_high, spread, angle, inherent, al, cu, area_dose, unit"},
        {"area_dose\n1\n", "header: no kv column"},
        {"", "no header line"},
        {nullptr, "not a readable file"},
    };
    for (const auto& [text, message] : kHeaders) {
        fs::remove(file);
        if (text != nullptr) {
            std::ofstream(file, std::ios::binary) << text;
        }
        const auto run = RunTool(With({"--batch", file.string()}, kSynthetic));
        EXPECT_EQ(run.err, "mirelo-calc: --batch \"" + file.string() + "\": " + message + "\n");
        EXPECT_EQ(run.status, 2);
    }
}

// Lines are computed on several workers and in chunks; what comes out is the same, line for line,
// whatever the number of workers: the order of the input, every failure where it was.
TEST(CalcTool, BatchOnSeveralWorkersKeepsTheOrder) {
    const fs::path file = fs::temp_directory_path() / ("mirelo-calc-order-" + std::to_string(::getpid()) + ".csv");
    {
        std::ofstream out(file, std::ios::binary);
        out << "kv,al,area_dose\n";
        for (int n = 0; n < 9000; ++n) {  // more than one chunk; every 7th line wrong, every 11th blank
            if (n % 11 == 5) {
                out << "\n";
            } else if (n % 7 == 3) {
                out << "151,1," << n << "\n";
            } else {
                out << 40 + n % 97 << "," << (n % 5) * 0.5 << "," << n + 1 << "\n";
            }
        }
    }
    for (const char* format : {"json", "text", "csv"}) {
        SCOPED_TRACE(format);
        const auto one = RunTool(With({"--batch", file.string(), "--format", format, "--jobs", "1"}, kSynthetic));
        EXPECT_EQ(one.status, 2);
        for (const char* jobs : {"2", "5"}) {
            const auto many = RunTool(With({"--batch", file.string(), "--format", format, "--jobs", jobs}, kSynthetic));
            EXPECT_EQ(many.status, one.status);
            EXPECT_EQ(many.err, one.err);
            EXPECT_TRUE(many.out == one.out) << jobs << " workers give other output";
        }
        if (std::string(format) == "json") {
            std::istringstream lines(one.out);
            std::string line;
            std::getline(lines, line);
            std::size_t previous = 0, count = 0;
            while (std::getline(lines, line)) {
                const std::size_t number = json::parse(line)["line"].get<std::size_t>();
                EXPECT_GT(number, previous);
                previous = number;
                ++count;
            }
            EXPECT_EQ(count, 9000u - 9000u / 11 - (9000 % 11 > 5 ? 1 : 0));
        }
    }
    EXPECT_EQ(RunTool(With({"--kv", "80", "--area-dose", "1", "--jobs", "2"}, kSynthetic)).err,
              "mirelo-calc: --jobs: only with --batch\n");
    fs::remove(file);
}

// --- Output that cannot be written, input without line ends --------------------------------------

// Runs `shell` (which names the program as $CALC) with bash; the program's standard error and status
// come back (PIPESTATUS[0], the first command of a pipeline).
test::ToolRun RunShell(const std::string& shell) {
    const fs::path scratch = fs::temp_directory_path() / ("mirelo-calc-shell-" + std::to_string(::getpid()));
    fs::create_directories(scratch);
    std::string script = "calc() { ";
    script += test::Quoted(MIRELO_CALC_EXE);
    script += " \"$@\" 2>err; }; CALC=calc; cd ";
    script += test::Quoted(scratch.string());
    script += "; ";
    script += shell;
    script += "; echo ${PIPESTATUS[0]} >status";
    std::string cmd = "bash -c ";
    cmd += test::Quoted(script);
    EXPECT_EQ(std::system(cmd.c_str()), 0);
    test::ToolRun run{"", Slurp(scratch / "err"), std::stoi("0" + Slurp(scratch / "status"))};
    fs::remove_all(scratch);
    return run;
}

TEST(CalcTool, OutputFailuresAndEndlessLinesStopTheRun) {
    const fs::path dir = fs::temp_directory_path() / ("mirelo-calc-stop-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const std::string lines = (dir / "lines.csv").string(), longLine = (dir / "long.csv").string(),
                      longest = (dir / "longest.csv").string();
    {
        std::ofstream out(lines, std::ios::binary);
        out << "kv,al,area_dose\n";
        for (int n = 0; n < 20000; ++n) {
            out << 60 + n % 80 << ',' << (n % 7) * 0.5 << ",1\n";
        }
        std::ofstream(longLine, std::ios::binary) << "kv,area_dose\n80,1\n80," << std::string(65536, '1') << "\n80,1\n";
        // 65536 bytes is still a line: its error is the batch line's own.
        std::ofstream(longest, std::ios::binary) << "kv,area_dose\n80," << std::string(65533, '9') << "\n";
    }
    const std::string tables = " --tables " + test::Quoted(kShipped.string());
    const struct {
        std::string shell;
        int status;
        std::string err;  // the start of standard error
    } kStops[] = {
        {"$CALC --batch " + lines + tables + " >/dev/full", 1, "mirelo-calc: the output could not be written (stopped at line "},
        {"$CALC --batch " + lines + tables + " --format json | head -c 10 >/dev/null", 1,
         "mirelo-calc: the output could not be written (stopped at line "},
        {"$CALC --help >/dev/full", 1, "mirelo-calc: the output could not be written\n"},
        {"$CALC --version >/dev/full", 1, "mirelo-calc: the output could not be written\n"},
        {"$CALC --batch - " + tables + " </dev/zero >/dev/null", 2,
         "mirelo-calc: --batch \"-\": line 1 is longer than 65536 bytes\n"},
        {"$CALC --batch " + longLine + tables + " >/dev/null", 2,
         "mirelo-calc: --batch \"" + longLine + "\": line 3 is longer than 65536 bytes\n"},
        {"$CALC --batch " + longest + tables + " >/dev/null", 2, "mirelo-calc: 1 of 1 lines could not be computed\n"},
    };
    for (const auto& c : kStops) {
        const auto run = RunShell(c.shell);
        EXPECT_EQ(run.status, c.status) << c.shell << "\n" << run.err;
        EXPECT_EQ(run.err.substr(0, c.err.size()), c.err) << c.shell;
        // Stopped at once: a few buffers into the 20,001 lines, not after computing them all.
        if (const auto at = run.err.find("stopped at line "); at != std::string::npos) {
            EXPECT_LT(std::stoi(run.err.substr(at + 16)), 2000) << run.err;
        }
    }
    fs::remove_all(dir);
}

TEST(CalcTool, VersionAndHelp) {
    EXPECT_EQ(RunTool({"--version"}).out, "mirelo-calc " MIRELO_TEST_VERSION "\n");
    const auto help = RunTool({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("--area-dose VALUE"), std::string::npos);
}

}  // namespace
}  // namespace mirelo
