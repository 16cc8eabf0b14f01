// The generator must reproduce the shipped files byte for byte.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "test_data.h"

namespace mirelo::tables {
namespace {

std::vector<std::string> Lines(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<std::string> lines;
    for (std::string l; std::getline(in, l);) lines.push_back(l);
    return lines;
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class Generator : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() /
               ("mirelo_tables_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(dir_);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    int Run(const std::string& args) {
        const std::string cmd = std::string(MAKE_TABLES_EXE) + " --out " + dir_.string() + " " +
                                args + " 2>" + (dir_.string() + ".log");
        const int rc = std::system(cmd.c_str());
        std::filesystem::remove(dir_.string() + ".log");
        return rc;
    }
    std::filesystem::path dir_;
};

TEST_F(Generator, ReproducesShippedLinesForSelectedBins) {
    // A bin below 10 keV, one on each side of the tungsten K edge and the
    // highest bin; two threads as in the full run.
    const std::vector<int> bins{7, 60, 139, 140, 300};
    ASSERT_EQ(Run("--threads 2 --bins 7,60,139-140,300"), 0);
    for (const char* name : {"Att_coeff2021.dat", "effEA.dat"}) {
        const auto shipped = Lines(test::DataPath(name));
        const auto made = Lines((dir_ / name).string());
        ASSERT_EQ(shipped.size(), 300u) << name;
        ASSERT_EQ(made.size(), bins.size()) << name;
        for (std::size_t i = 0; i < bins.size(); ++i)
            EXPECT_EQ(made[i], shipped[static_cast<std::size_t>(bins[i] - 1)]) << name << " bin " << bins[i];
    }
}

TEST_F(Generator, ShippedFilesUseLfAndSevenSignificantDigits) {
    for (const char* name : {"Att_coeff2021.dat", "effEA.dat"}) {
        const std::string text = ReadAll(test::DataPath(name));
        EXPECT_EQ(text.find('\r'), std::string::npos) << name;
        ASSERT_FALSE(text.empty());
        EXPECT_EQ(text.back(), '\n') << name;
        // Second value of the first record, e.g. "9.230909e+03".
        const auto first = text.find(',');
        const auto second = text.find_first_of(",\n", first + 1);
        EXPECT_EQ(second - first - 1, 12u) << name;
    }
}

TEST_F(Generator, RejectsBadOptions) {
    EXPECT_NE(Run("--bins 0"), 0);
    EXPECT_NE(Run("--bins 301"), 0);
    EXPECT_NE(Run("--bins 9-5"), 0);
    EXPECT_NE(Run("--bins 7,,9"), 0);
    EXPECT_NE(Run("--threads"), 0);
    EXPECT_NE(Run("--frobnicate"), 0);
}

}  // namespace
}  // namespace mirelo::tables
