#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

#include "common/csv.h"
#include "common/number_text.h"
#include "common/sci_format.h"
#include "common/text_columns.h"

using mirelo::FormatSci;
using mirelo::DecimalsToTellApart;
using mirelo::FixedText;
using mirelo::NumberText;

TEST(SciFormat, PatternExamples) {
    EXPECT_EQ(FormatSci(0.5), "5.000E-01");
    EXPECT_EQ(FormatSci(1), "1.000E+00");
    EXPECT_EQ(FormatSci(150), "1.500E+02");
    EXPECT_EQ(FormatSci(0.0123456), "1.235E-02");
    EXPECT_EQ(FormatSci(6.2421972534332e12), "6.242E+12");
    EXPECT_EQ(FormatSci(5e-4), "5.000E-04");
}

TEST(SciFormat, ZeroSignAndCarry) {
    EXPECT_EQ(FormatSci(0.0), "0.000E+00");
    EXPECT_EQ(FormatSci(-0.0), "0.000E+00");
    EXPECT_EQ(FormatSci(-2.5), "-2.500E+00");
    EXPECT_EQ(FormatSci(9.9996), "1.000E+01");  // mantissa rounding carries into the exponent
    EXPECT_EQ(FormatSci(9.9994), "9.999E+00");
    EXPECT_EQ(FormatSci(1e100), "1.000E+100");
    EXPECT_EQ(FormatSci(1e-300), "1.000E-300");
    EXPECT_EQ(FormatSci(5e-324), "4.941E-324");
}

TEST(SciFormat, NonFiniteIsNeverDisguisedAsANumber) {
    EXPECT_EQ(FormatSci(std::numeric_limits<double>::quiet_NaN()), "NaN");
    EXPECT_EQ(FormatSci(std::numeric_limits<double>::infinity()), "Infinity");
    EXPECT_EQ(FormatSci(-std::numeric_limits<double>::infinity()), "-Infinity");
}

TEST(SciFormat, SpectrumValuesGiveNineCharacters) {
    for (double v = 1e-10; v < 1; v *= 1.37) {
        EXPECT_EQ(FormatSci(v).size(), 9u) << v;
    }
}

TEST(NumberText, ShortestPlainDecimal) {
    EXPECT_EQ(NumberText(80), "80");
    EXPECT_EQ(NumberText(80.5), "80.5");
    EXPECT_EQ(NumberText(0), "0");
    EXPECT_EQ(NumberText(-0.0), "0");
    EXPECT_EQ(NumberText(-12.25), "-12.25");
    EXPECT_EQ(NumberText(0.1 + 0.2), "0.3");  // 15 significant digits hide binary noise
    EXPECT_EQ(NumberText(1.0 / 3), "0.333333333333333");
    EXPECT_EQ(NumberText(123456789012345.0), "123456789012345");
    EXPECT_EQ(NumberText(150), "150");
}

TEST(NumberText, ExtremeMagnitudesKeepAnExponent) {
    EXPECT_EQ(NumberText(1e20), "1E+20");
    EXPECT_EQ(NumberText(1e-7), "1E-07");
    EXPECT_EQ(NumberText(std::numeric_limits<double>::infinity()), "Infinity");
}

// Every CSV the program writes goes through these two: a text cell is quoted when a reader would
// otherwise split or trim it, and guarded when a spreadsheet would run it; a number is written as
// the shortest text that reads back the same.
TEST(Csv, TextCells) {
    const std::pair<const char*, const char*> kCells[] = {
        {"", ""},
        {"plain words", "plain words"},
        {"a,b", "\"a,b\""},
        {"say \"hi\"", "\"say \"\"hi\"\"\""},
        {"two\nlines", "\"two\nlines\""},
        {"cr\rhere", "\"cr\rhere\""},
        {" leading", "\" leading\""},
        {"trailing ", "\"trailing \""},
        {"=1+1", "'=1+1"},
        {"+49 30", "'+49 30"},
        {"-5 mm", "'-5 mm"},
        {"@SUM(A1)", "'@SUM(A1)"},
        {"\tcmd", "'\tcmd"},
        {"\rcmd", "\"'\rcmd\""},
        {"=HYPERLINK(\"x\",\"y\")", "\"'=HYPERLINK(\"\"x\"\",\"\"y\"\")\""},
        {"a=b", "a=b"},
        {"1.5", "1.5"},
    };
    for (const auto& [text, cell] : kCells) {
        EXPECT_EQ(mirelo::CsvText(text), cell) << text;
    }
}

TEST(Csv, NumbersReadBackExactlyAndAreNeverGuarded) {
    const std::pair<double, const char*> kNumbers[] = {
        {0.1, "0.1"},   {-0.5, "-0.5"}, {1e-5, "1e-05"}, {80, "80"},
        {6.241509074460763e18, "6241509074460763136"}, {1e21, "1e+21"}, {0.1 + 0.2, "0.30000000000000004"},
        {std::numeric_limits<double>::infinity(), "Infinity"},
    };
    for (const auto& [x, text] : kNumbers) {
        EXPECT_EQ(mirelo::ShortestText(x), text) << text;
    }
}

TEST(NumberText, FixedDecimalsAndEnoughToTellAValueFromARange) {
    const struct {
        double x;
        int decimals;
        const char* text;
    } fixed[] = {{2.054999, 2, "2.05"}, {-0.001, 2, "0.00"}, {0, 3, "0.000"}, {6.3249, 3, "6.325"}, {17, 0, "17"}};
    for (const auto& c : fixed) {
        EXPECT_EQ(FixedText(c.x, c.decimals), c.text) << c.x;
    }
    const struct {
        double value, low, high;
        int decimals;
    } apart[] = {
        {0.1, 0.0031, 0.0998, 4},   // two decimals would print 0.00 to 0.10 for 0.10
        {9.0, 0.003, 6.32, 2},      // clearly outside at once
        {0.001, 0.0031, 6.32, 3},   // 0.00 against 0.00 is no answer
        {3.0, 1.0, 3.0 - 1e-9, 9},
    };
    for (const auto& c : apart) {
        const int d = DecimalsToTellApart(c.value, c.low, c.high);
        EXPECT_EQ(d, c.decimals) << c.value;
    }
}

// What reports' texts hold, in the columns a terminal gives them: kanji and kana two, combining marks
// none, a broken byte one (shown as U+FFFD).
TEST(TextColumns, AsATerminalShowsThem) {
    const std::pair<const char*, std::size_t> cases[] = {
        {"", 0},
        {"Abdomen", 7},
        {"Gy\xC2\xB7" "cm\xC2\xB2", 6},                 // Gy·cm²
        {"Sch\xC3\xA4" "del a.p.", 12},                   // Schädel a.p., precomposed
        {"Sche\xCC\x88" "del", 7},                       // e + combining diaeresis
        {"\xE5\xB1\xB1\xE7\x94\xB0", 4},             // 山田
        {"\xE9\xA0\xAD\xE9\x83\xA8 PA", 7},          // 頭部 PA
        {"\xEF\xBD\xB1\xEF\xBE\x9D", 2},             // ｱﾝ, halfwidth katakana
        {"\xEF\xBC\xA1", 2},                            // Ａ, fullwidth
        {"Abdomen \xFF", 9},                              // a byte that is not UTF-8
        {"\xE5\xB1", 2},                                 // a character cut short: its two bytes
    };
    for (const auto& [text, columns] : cases) {
        EXPECT_EQ(mirelo::TextColumns(text), columns) << text;
        EXPECT_EQ(mirelo::TextColumns(mirelo::PadToColumns(text, 10)), std::max<std::size_t>(columns, 10)) << text;
    }
}
