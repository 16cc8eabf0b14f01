#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <limits>
#include <string>

#include "common/numeric_reading.h"

using mirelo::ReadNumber;

TEST(NumericReading, TakesTheLongestLeadingNumber) {
    EXPECT_DOUBLE_EQ(ReadNumber("2.5mm"), 2.5);
    EXPECT_DOUBLE_EQ(ReadNumber("2,5"), 2.0);
    EXPECT_DOUBLE_EQ(ReadNumber("12abc"), 12.0);
    EXPECT_DOUBLE_EQ(ReadNumber("1.2.3"), 1.2);
    EXPECT_DOUBLE_EQ(ReadNumber("-0.25"), -0.25);
    EXPECT_DOUBLE_EQ(ReadNumber("+7"), 7.0);
    EXPECT_DOUBLE_EQ(ReadNumber(".5"), 0.5);
    EXPECT_DOUBLE_EQ(ReadNumber("5."), 5.0);
}

TEST(NumericReading, DropsBlanksTabsAndLineFeedsAnywhere) {
    EXPECT_DOUBLE_EQ(ReadNumber("1 2"), 12.0);
    EXPECT_DOUBLE_EQ(ReadNumber(" \t8\n0 . 5 "), 80.5);
    EXPECT_DOUBLE_EQ(ReadNumber("- 3"), -3.0);
    EXPECT_DOUBLE_EQ(ReadNumber("1 e 3"), 1000.0);
}

TEST(NumericReading, TextWithoutLeadingNumberIsZero) {
    EXPECT_EQ(ReadNumber(""), 0.0);
    EXPECT_EQ(ReadNumber(" "), 0.0);
    EXPECT_EQ(ReadNumber("abc"), 0.0);
    EXPECT_EQ(ReadNumber("mm2.5"), 0.0);
    EXPECT_EQ(ReadNumber("."), 0.0);
    EXPECT_EQ(ReadNumber("-"), 0.0);
    EXPECT_EQ(ReadNumber("+-1"), 0.0);
    EXPECT_EQ(ReadNumber("nan"), 0.0);
    EXPECT_EQ(ReadNumber("inf"), 0.0);
    EXPECT_EQ(ReadNumber("0x10"), 0.0);
}

TEST(NumericReading, ExponentWithEOrD) {
    EXPECT_DOUBLE_EQ(ReadNumber("2.5E-01"), 0.25);
    EXPECT_DOUBLE_EQ(ReadNumber("2.5e2"), 250.0);
    EXPECT_DOUBLE_EQ(ReadNumber("1D3"), 1000.0);
    EXPECT_DOUBLE_EQ(ReadNumber("1d+2"), 100.0);
    // An exponent letter without digits is not part of the number.
    EXPECT_DOUBLE_EQ(ReadNumber("2E"), 2.0);
    EXPECT_DOUBLE_EQ(ReadNumber("2E+"), 2.0);
    EXPECT_DOUBLE_EQ(ReadNumber("3Ex5"), 3.0);
}

TEST(NumericReading, FullWidthInputReadsAsAscii) {
    EXPECT_DOUBLE_EQ(ReadNumber("８０"), 80.0);                 // U+FF18 U+FF10
    EXPECT_DOUBLE_EQ(ReadNumber("２．５ｍｍ"), 2.5);
    EXPECT_DOUBLE_EQ(ReadNumber("－１"), -1.0);
    EXPECT_DOUBLE_EQ(ReadNumber("１\u3000２"), 12.0);          // ideographic space is a blank
    EXPECT_DOUBLE_EQ(ReadNumber("１Ｅ３"), 1000.0);
    EXPECT_EQ(ReadNumber("管電圧"), 0.0);
}

TEST(NumericReading, OverflowIsInfinityUnderflowIsZero) {
    EXPECT_EQ(ReadNumber("1e999"), std::numeric_limits<double>::infinity());
    EXPECT_EQ(ReadNumber("-1e999"), -std::numeric_limits<double>::infinity());
    EXPECT_EQ(ReadNumber("1e-999"), 0.0);
    EXPECT_EQ(ReadNumber(std::string(400, '9')), std::numeric_limits<double>::infinity());
    // Exponents at and past the range of a long, and digits that push a small exponent over.
    const double inf = std::numeric_limits<double>::infinity();
    const struct {
        std::string text;
        double value;
    } cases[] = {
        {"62499e9223372036854775807", inf}, {"1e-9223372036854775807", 0.0},
        {"1e99999999999999999999999", inf}, {"-1e-99999999999999999999999", -0.0},
        {"0." + std::string(400, '0') + "1e200", 1e-201}, {"0." + std::string(400, '0') + "1e-200", 0.0}, {std::string(300, '9') + "e10", inf},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ReadNumber(c.text), c.value) << c.text;
    }
}

TEST(NumericReading, LongAndMalformedTextIsSafe) {
    EXPECT_DOUBLE_EQ(ReadNumber(std::string(5000, '1').insert(1, ".")), 1.1111111111111112);
    EXPECT_EQ(ReadNumber(std::string(5000, 'x')), 0.0);
    EXPECT_DOUBLE_EQ(ReadNumber(std::string("7\xff\xfe")), 7.0);  // invalid UTF-8 after the number
    EXPECT_DOUBLE_EQ(ReadNumber(std::string("4\xe3\x80")), 4.0);   // truncated sequence
    EXPECT_EQ(ReadNumber(std::string("\0" "5", 2)), 0.0);
}

TEST(NumericReading, PeriodIsTheDecimalPointWhateverTheLocale) {
    const char* old = std::setlocale(LC_NUMERIC, nullptr);
    const std::string saved = old ? old : "C";
    // A locale with a decimal comma, when the machine has one; the reading must not change.
    if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr || std::setlocale(LC_NUMERIC, "fr_FR.UTF-8") != nullptr) {
        EXPECT_DOUBLE_EQ(ReadNumber("2.5"), 2.5);
        EXPECT_DOUBLE_EQ(ReadNumber("2,5"), 2.0);
    }
    std::setlocale(LC_NUMERIC, saved.c_str());
    EXPECT_DOUBLE_EQ(ReadNumber("2.5"), 2.5);
}
