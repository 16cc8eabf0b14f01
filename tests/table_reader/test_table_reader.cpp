#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <string>

#include "tables/table_error_text.h"
#include "tables/table_reader.h"

namespace mirelo {
namespace {

// Text of an attenuation file whose values are easy to recognise: record n starts with its energy
// 0.5 n keV, and value k (2..7) holds n + k/10.
std::string AttText(int records, const std::string& valueSep = ",", const std::string& recordSep = "\n") {
    std::ostringstream out;
    for (int n = 1; n <= records; ++n) {
        out << 0.5 * n << valueSep;
        for (int k = 2; k <= 7; ++k) {
            out << n << '.' << k << (k < 7 ? valueSep : recordSep);
        }
    }
    return out.str();
}

// The reader's result with its message, as start-up would show it.
std::optional<Tables> LoadTables(const std::vector<std::filesystem::path>& folders, std::string& error) {
    auto t = mirelo::LoadTables(folders);
    if (!t) {
        error = DescribeTableError(t.error());
        return std::nullopt;
    }
    return std::move(*t);
}

// The two texts as files of a folder, read the way the program reads them.
std::optional<Tables> FromTexts(std::string_view att, std::string_view eff, std::string& error) {
    const auto dir = std::filesystem::temp_directory_path() / ("mirelo-table-texts-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    std::ofstream(dir / "Att_coeff2021.dat", std::ios::binary) << att;
    std::ofstream(dir / "effEA.dat", std::ios::binary) << eff;
    auto t = LoadTables({dir}, error);
    std::filesystem::remove_all(dir);
    return t;
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
    const auto t = FromTexts(AttText(300), EffText(300), error);
    ASSERT_TRUE(t) << error;
    EXPECT_DOUBLE_EQ(t->w[1], 1.2);
    EXPECT_DOUBLE_EQ(t->al[1], 1.3);
    EXPECT_DOUBLE_EQ(t->cu[150], 150.4);
    EXPECT_DOUBLE_EQ(t->tissue[300], 300.5);
    EXPECT_DOUBLE_EQ(t->air[300], 300.7);
    EXPECT_EQ(t->w[0], 0.0);
    EXPECT_DOUBLE_EQ(t->effEA[2][1], 201e-5);
    EXPECT_DOUBLE_EQ(t->effEA[300][11], 30011e-5);
    EXPECT_EQ(t->effEA[0][5], 0.0);
}

TEST(TableReader, LineStructureDoesNotMatter) {
    std::string error;
    const auto perLine = FromTexts(AttText(300), EffText(300), error);
    ASSERT_TRUE(perLine) << error;
    // One value a line, blanks and tabs as separators, Windows line ends, empty lines between.
    for (const auto& [valueSep, recordSep] : {std::pair<std::string, std::string>{"\n", "\n"},
                                              {" \t ", "\r\n\r\n"},
                                              {" , ", ",\n"},
                                              {",", ","}}) {
        const auto other = FromTexts(AttText(300, valueSep, recordSep), EffText(300), error);
        ASSERT_TRUE(other) << error << " with separators [" << valueSep << "][" << recordSep << "]";
        EXPECT_EQ(other->w, perLine->w);
        EXPECT_EQ(other->al, perLine->al);
        EXPECT_EQ(other->cu, perLine->cu);
        EXPECT_EQ(other->tissue, perLine->tissue);
        EXPECT_EQ(other->air, perLine->air);
    }
}

TEST(TableReader, ExtraValuesTrailingLinesAndByteOrderMarkAreIgnored) {
    std::string error;
    const auto plain = FromTexts(AttText(300), EffText(300), error);
    const auto extra = FromTexts("\xEF\xBB\xBF" + AttText(301) + "\n\n", EffText(300) + "junk that is never read\n", error);
    ASSERT_TRUE(plain && extra) << error;
    EXPECT_EQ(plain->w, extra->w);
    EXPECT_EQ(plain->effEA, extra->effEA);
}

TEST(TableReader, ShortFilesAreRefusedNamingTheFile) {
    std::string error;
    EXPECT_FALSE(FromTexts(AttText(299), EffText(300), error));
    EXPECT_EQ(error, "Att_coeff2021.dat: 2093 of 2100 values");
    std::string oneShort = AttText(300);
    oneShort.resize(oneShort.rfind(','));  // drop the very last value
    EXPECT_FALSE(FromTexts(oneShort, EffText(300), error));
    EXPECT_EQ(error, "Att_coeff2021.dat: 2099 of 2100 values");
    EXPECT_FALSE(FromTexts(AttText(300), EffText(299), error));
    EXPECT_EQ(error, "effEA.dat: 3588 of 3600 values");
    EXPECT_FALSE(FromTexts("", EffText(300), error));
    EXPECT_EQ(error, "Att_coeff2021.dat: 0 of 2100 values");
}

TEST(TableReader, ValuesThatAreNotFiniteNumbersAreRefused) {
    std::string error;
    for (const std::string bad : {"abc", "nan", "inf", "1e999", "-1E400", "1.2.3", "0x10", "1e", "--1", "+"}) {
        std::string text = AttText(300);
        text.replace(text.find("2.3"), 3, bad);  // record 2, value 3
        EXPECT_FALSE(FromTexts(text, EffText(300), error)) << bad;
        EXPECT_NE(error.find("Att_coeff2021.dat: value 10 (line 2)"), std::string::npos) << error;
    }
    std::string emptyValue = AttText(300);
    emptyValue.replace(emptyValue.find(",1.3,"), 5, ",,");
    EXPECT_FALSE(FromTexts(emptyValue, EffText(300), error));
    EXPECT_NE(error.find("is empty"), std::string::npos) << error;
}

// A misplaced separator shifts every later value by one; the energy that opens each record is what
// shows it, on the line where it happens.
TEST(TableReader, ShiftedRecordsAreRefusedAtTheLineWhereTheyShift) {
    const struct {
        const char* what;
        std::string att, eff;
        std::string message;
    } cases[] = {
        {"decimal comma", [] { auto t = AttText(301); t.replace(t.find(",10.2,"), 6, ",10,2,"); return t; }(),
         EffText(300), "Att_coeff2021.dat: line 10: energy 10.7 where 5.5 was expected"},
        {"value missing", [] { auto t = AttText(301); t.replace(t.find(",4.4,"), 5, ","); return t; }(),
         EffText(300), "Att_coeff2021.dat: line 5: energy 5.2 where 2.5 was expected"},
        {"value too many", [] { auto t = AttText(301); t.replace(t.find(",7.4,"), 5, ",7.4,7.4,"); return t; }(),
         EffText(300), "Att_coeff2021.dat: line 7: energy 7.7 where 4 was expected"},
        {"last record's energy", [] { auto t = AttText(300); t.replace(t.rfind("\n150,"), 5, "\n149,"); return t; }(),
         EffText(300), "Att_coeff2021.dat: line 300: energy 149 where 150 was expected"},
        {"effEA shifted", AttText(300), [] { auto t = EffText(301); t.replace(t.find("\r\n1.5,"), 7, "\r\n1.5,1,"); return t; }(),
         "effEA.dat: line 3: energy 0.00311 where 2 was expected"},
    };
    for (const auto& c : cases) {
        std::string error;
        EXPECT_FALSE(FromTexts(c.att, c.eff, error)) << c.what;
        EXPECT_EQ(error, c.message) << c.what;
    }
}

TEST(TableReader, MessagesPointAtTheRightLineAndSurvivePrinting) {
    std::string error;
    // Old Mac line ends: a lone CR ends a line too (record 3 reads "1.5,x.2,...").
    std::string cr = AttText(300, ",", "\r");
    cr.replace(cr.find("\r1.5,"), 6, "\r1.5,x");
    EXPECT_FALSE(FromTexts(cr, EffText(300), error));
    EXPECT_EQ(error, "Att_coeff2021.dat: value 16 (line 3) is not a number: \"x.2\"");
    // A NUL byte or other control character is shown, not passed on to cut the message short.
    std::string nul = AttText(300);
    nul.replace(nul.find("2.3"), 3, std::string("2\0\x01", 3));
    EXPECT_FALSE(FromTexts(nul, EffText(300), error));
    EXPECT_EQ(error, "Att_coeff2021.dat: value 10 (line 2) is not a number: \"2\\x00\\x01\"");
}

TEST(TableReader, ExponentFormsAndSignsAreRead) {
    std::string error;
    const auto v = ReadValues("2.5E-01, -3 ,+4.0e+1\t1D2\n.5", 5);
    ASSERT_TRUE(v) << DescribeTableError(v.error());
    EXPECT_EQ(v->values, (std::vector<double>{0.25, -3, 40, 100, 0.5}));
    EXPECT_EQ(v->lines, (std::vector<std::size_t>{1, 1, 1, 1, 2}));
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
    EXPECT_DOUBLE_EQ(t->effEA[1][1], 101e-5);
    EXPECT_EQ(t->effSource.path, (dir_ / "a" / "effEA.dat").string());
    EXPECT_EQ(t->attSource.path, (dir_ / "b" / "Att_coeff2021.dat").string());
}

// Only a folder without any entry of that name passes the look-up on to the next folder; an entry
// that is there but cannot be a table stops it, named with the reason.
TEST_F(TableFiles, AnUnusableEntryIsNeverReplacedByTheNextFolder) {
    Write(dir_ / "b" / "Att_coeff2021.dat", AttText(300));
    Write(dir_ / "b" / "effEA.dat", EffText(300));
    const auto att = dir_ / "a" / "Att_coeff2021.dat";
    const struct {
        const char* what;
        std::function<void()> make;
        std::string cause;
    } cases[] = {
        {"directory", [&] { std::filesystem::create_directory(att); }, "cannot be read (Is a directory)"},
        {"FIFO", [&] { ASSERT_EQ(mkfifo(att.c_str(), 0600), 0); }, "cannot be read (not a regular file)"},
        {"device", [&] { std::filesystem::create_symlink("/dev/zero", att); }, "cannot be read (not a regular file)"},
        {"dangling link", [&] { std::filesystem::create_symlink(dir_ / "nowhere", att); },
         "cannot be read (No such file or directory)"},
        {"huge file", [&] { std::ofstream(att) << AttText(300); std::filesystem::resize_file(att, 17u << 20); },
         "too large for a table (17825792 bytes; at most 16777216)"},
    };
    for (const auto& c : cases) {
        c.make();
        std::string error;
        EXPECT_FALSE(LoadTables({dir_ / "a", dir_ / "b"}, error)) << c.what;
        EXPECT_EQ(error, att.string() + ": " + c.cause) << c.what;
        std::filesystem::remove_all(att);
    }
    if (geteuid() != 0) {  // root reads anything; the start-up test runs this as an ordinary user too
        Write(att, AttText(300));
        std::filesystem::permissions(att, std::filesystem::perms::none);
        std::string error;
        EXPECT_FALSE(LoadTables({dir_ / "a", dir_ / "b"}, error));
        EXPECT_EQ(error, att.string() + ": cannot be opened (Permission denied)");
    }
}

TEST_F(TableFiles, MissingFileIsNamed) {
    Write(dir_ / "a" / "Att_coeff2021.dat", AttText(300));
    std::string error;
    EXPECT_FALSE(LoadTables({dir_ / "a"}, error));
    EXPECT_EQ(error.rfind("effEA.dat: file not found", 0), 0u) << error;
}

}  // namespace
}  // namespace mirelo
