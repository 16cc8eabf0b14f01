#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "app/table_reader.h"

namespace mirelo {
namespace {

// Text of an attenuation file whose values are easy to recognise: record n, value k holds n + k/10.
std::string AttText(int records, const std::string& valueSep = ",", const std::string& recordSep = "\n") {
    std::ostringstream out;
    for (int n = 1; n <= records; ++n) {
        for (int k = 1; k <= 7; ++k) {
            out << n << '.' << k << (k < 7 ? valueSep : recordSep);
        }
    }
    return out.str();
}

std::string EffText(int rows) {
    std::ostringstream out;
    for (int n = 1; n <= rows; ++n) {
        out << 0.5 * n;
        for (int j = 1; j <= 11; ++j) {
            out << ',' << n * 100 + j << "e-5";
        }
        out << "\r\n";
    }
    return out.str();
}

TEST(TableReader, OneRecordPerLineFillsTheTables) {
    std::string error;
    const auto t = ParseTables(AttText(300), EffText(300), error);
    ASSERT_TRUE(t) << error;
    EXPECT_DOUBLE_EQ(t->CoefW[1], 1.2);
    EXPECT_DOUBLE_EQ(t->CoefAl[1], 1.3);
    EXPECT_DOUBLE_EQ(t->CoefCu[150], 150.4);
    EXPECT_DOUBLE_EQ(t->CoefTissue[300], 300.5);
    EXPECT_EQ(t->CoefW[0], 0.0);
    EXPECT_DOUBLE_EQ(t->EffEA[2][0], 1.0);  // first value of the row is kept in column 0
    EXPECT_DOUBLE_EQ(t->EffEA[2][1], 201e-5);
    EXPECT_DOUBLE_EQ(t->EffEA[300][11], 30011e-5);
    EXPECT_EQ(t->EffEA[0][5], 0.0);
}

TEST(TableReader, LineStructureDoesNotMatter) {
    std::string error;
    const auto perLine = ParseTables(AttText(300), EffText(300), error);
    ASSERT_TRUE(perLine) << error;
    // One value a line, blanks and tabs as separators, Windows line ends, empty lines between.
    for (const auto& [valueSep, recordSep] : {std::pair<std::string, std::string>{"\n", "\n"},
                                              {" \t ", "\r\n\r\n"},
                                              {" , ", ",\n"},
                                              {",", ","}}) {
        const auto other = ParseTables(AttText(300, valueSep, recordSep), EffText(300), error);
        ASSERT_TRUE(other) << error << " with separators [" << valueSep << "][" << recordSep << "]";
        EXPECT_EQ(other->CoefW, perLine->CoefW);
        EXPECT_EQ(other->CoefAl, perLine->CoefAl);
        EXPECT_EQ(other->CoefCu, perLine->CoefCu);
        EXPECT_EQ(other->CoefTissue, perLine->CoefTissue);
    }
}

TEST(TableReader, ExtraValuesTrailingLinesAndByteOrderMarkAreIgnored) {
    std::string error;
    const auto plain = ParseTables(AttText(300), EffText(300), error);
    const auto extra = ParseTables("\xEF\xBB\xBF" + AttText(301) + "\n\n", EffText(300) + "junk that is never read\n", error);
    ASSERT_TRUE(plain && extra) << error;
    EXPECT_EQ(plain->CoefW, extra->CoefW);
    EXPECT_EQ(plain->EffEA, extra->EffEA);
}

TEST(TableReader, ShortFilesAreRefusedNamingTheFile) {
    std::string error;
    EXPECT_FALSE(ParseTables(AttText(299), EffText(300), error));
    EXPECT_EQ(error, "Att_coeff2021.dat: 2093 of 2100 values");
    std::string oneShort = AttText(300);
    oneShort.resize(oneShort.rfind(','));  // drop the very last value
    EXPECT_FALSE(ParseTables(oneShort, EffText(300), error));
    EXPECT_EQ(error, "Att_coeff2021.dat: 2099 of 2100 values");
    EXPECT_FALSE(ParseTables(AttText(300), EffText(299), error));
    EXPECT_EQ(error, "effEA.dat: 3588 of 3600 values");
    EXPECT_FALSE(ParseTables("", EffText(300), error));
    EXPECT_EQ(error, "Att_coeff2021.dat: 0 of 2100 values");
}

TEST(TableReader, ValuesThatAreNotFiniteNumbersAreRefused) {
    std::string error;
    for (const std::string bad : {"abc", "nan", "inf", "1e999", "-1E400", "1.2.3", "0x10", "1e", "--1", "+"}) {
        std::string text = AttText(300);
        text.replace(text.find("2.3"), 3, bad);  // record 2, value 3
        EXPECT_FALSE(ParseTables(text, EffText(300), error)) << bad;
        EXPECT_NE(error.find("Att_coeff2021.dat: value 10 (line 2)"), std::string::npos) << error;
    }
    std::string emptyValue = AttText(300);
    emptyValue.replace(emptyValue.find(",1.3,"), 5, ",,");
    EXPECT_FALSE(ParseTables(emptyValue, EffText(300), error));
    EXPECT_NE(error.find("is empty"), std::string::npos) << error;
}

TEST(TableReader, ExponentFormsAndSignsAreRead) {
    std::string error;
    const auto v = ReadValues("2.5E-01, -3 ,+4.0e+1\t1D2\n.5", 5, error);
    ASSERT_TRUE(v) << error;
    EXPECT_EQ(*v, (std::vector<double>{0.25, -3, 40, 100, 0.5}));
}

class TableFiles : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() /
               ("mirelo-tables-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir_ / "a");
        std::filesystem::create_directories(dir_ / "b");
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    void Write(const std::filesystem::path& p, const std::string& text) { std::ofstream(p, std::ios::binary) << text; }
    std::filesystem::path dir_;
};

TEST_F(TableFiles, EachFileIsTakenFromTheFirstFolderThatHoldsIt) {
    Write(dir_ / "a" / "effEA.dat", EffText(300));
    Write(dir_ / "b" / "effEA.dat", "broken");
    Write(dir_ / "b" / "Att_coeff2021.dat", AttText(300));
    std::string error;
    const auto t = LoadTables({dir_ / "a", dir_ / "b"}, error);
    ASSERT_TRUE(t) << error;
    EXPECT_DOUBLE_EQ(t->EffEA[1][1], 101e-5);
}

TEST_F(TableFiles, MissingFileIsNamed) {
    Write(dir_ / "a" / "Att_coeff2021.dat", AttText(300));
    std::string error;
    EXPECT_FALSE(LoadTables({dir_ / "a"}, error));
    EXPECT_EQ(error.rfind("effEA.dat: file not found", 0), 0u) << error;
}

TEST(TableStore, StoringLeavesSlotZeroUnsetAndReplacesTheTables) {
    std::string error;
    const auto t = ParseTables(AttText(300), EffText(300), error);
    ASSERT_TRUE(t);
    auto store = std::make_unique<Module1>();
    StoreTables(*t, *store);
    EXPECT_EQ(store->CoefW[0], 0.0);
    EXPECT_EQ(store->EffEA[0], (std::array<double, 12>{}));
    EXPECT_DOUBLE_EQ(store->CoefW[300], 300.2);
    EXPECT_DOUBLE_EQ(store->EffEA[300][0], 150.0);
    EXPECT_EQ(store->Spectrum, BinArray{});  // nothing else is touched
    EXPECT_EQ(store->KvHigh, 0.0);
}

}  // namespace
}  // namespace mirelo
