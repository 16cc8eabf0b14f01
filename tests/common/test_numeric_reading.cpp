// The reading of a number field: what a user may type, what it reads as, and what is refused.
#include <gtest/gtest.h>

#include <clocale>
#include <vector>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

#include "common/numeric_reading.h"

namespace mirelo {
namespace {

const double kInf = std::numeric_limits<double>::infinity();
constexpr double kRefused = -12345.678;  // marks a refusal in the tables below
constexpr double kEmpty = -98765.432;    // marks an empty field

double Read(std::string_view text, const std::vector<std::string_view>& units = {}) {
    const auto r = ReadFieldNumber(text, units);
    if (!r) {
        return kRefused;
    }
    return r->has_value() ? **r : kEmpty;
}

struct Case {
    std::string text;
    double value;
};

TEST(FieldReading, WholeNumbersAreReadEverythingElseIsRefused) {
    const Case cases[] = {
        {"2.5", 2.5}, {"-0.25", -0.25}, {"+7", 7}, {".5", 0.5}, {"5.", 5}, {"80", 80},
        {"1 2", 12}, {" \t8\n0 . 5 ", 80.5}, {"- 3", -3}, {"1 e 3", 1000},     // blanks anywhere are dropped
        {"2.5E-01", 0.25}, {"2.5e2", 250}, {"1D3", 1000}, {"1d+2", 100},
        {"８０", 80}, {"２．５", 2.5}, {"－１", -1}, {"１\u3000２", 12}, {"１Ｅ３", 1000},  // full-width forms
        {"", kEmpty}, {" ", kEmpty}, {"\u3000\t", kEmpty},
        // What used to be read as its leading number, or as 0.
        {"1,5", kRefused}, {"3,5", kRefused}, {"1.234,5", kRefused}, {"１，５", kRefused}, {"l2.5", kRefused},
        {"12abc", kRefused}, {"1.2.3", kRefused}, {"2E", kRefused}, {"2E+", kRefused}, {"3Ex5", kRefused},
        {"abc", kRefused}, {".", kRefused}, {"-", kRefused}, {"+-1", kRefused}, {"nan", kRefused},
        {"inf", kRefused}, {"0x10", kRefused}, {"管電圧", kRefused}, {"2.5mm", kRefused},  // no unit beside it
        {std::string("7\xff\xfe"), kRefused}, {std::string("4\xe3\x80"), kRefused}, {std::string("\0" "5", 2), kRefused},
        {std::string(5000, 'x'), kRefused}, {std::string(5000, '1').insert(1, "."), 1.1111111111111112},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Read(c.text), c.value) << c.text;
    }
}

TEST(FieldReading, TheUnitBesideTheFieldMayFollowTheNumber) {
    const struct {
        std::string text;
        std::vector<std::string_view> units;
        double value;
    } cases[] = {
        {"2.5mm", {"mm"}, 2.5}, {"2.5 mm", {"mm"}, 2.5}, {"２．５ｍｍ", {"mm"}, 2.5}, {"80kV", {"kV"}, 80},
        {"12度", {"度", "°"}, 12}, {"12°", {"度", "°"}, 12}, {"3.1 mm Al", {"mm Al", "mm"}, 3.1},
        {"25 Gy·cm²", {"Gy·cm²", "Gy.cm2"}, 25}, {"25Gy.cm2", {"Gy·cm²", "Gy.cm2"}, 25},
        {"mm", {"mm"}, kRefused},          // a unit is not a number
        {"2.5mmmm", {"mm"}, kRefused},     // one unit, once
        {"mm2.5", {"mm"}, kRefused},       // after the number only
        {"2.5 cm", {"mm"}, kRefused},      // another unit
        {"25 mGy·cm²", {"Gy·cm²"}, kRefused},  // a unit prefix is not dropped: it would change the value
        {"1,5mm", {"mm"}, kRefused},
        {"", {"mm"}, kEmpty},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Read(c.text, c.units), c.value) << c.text;
    }
}

TEST(FieldReading, OverflowIsInfinityUnderflowIsZero) {
    const Case cases[] = {
        {"1e999", kInf}, {"-1e999", -kInf}, {"1e-999", 0.0}, {std::string(400, '9'), kInf},
        {"62499e9223372036854775807", kInf}, {"1e-9223372036854775807", 0.0},
        {"1e99999999999999999999999", kInf}, {"-1e-99999999999999999999999", -0.0},
        {"0." + std::string(400, '0') + "1e200", 1e-201}, {"0." + std::string(400, '0') + "1e-200", 0.0},
        {std::string(300, '9') + "e10", kInf},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Read(c.text), c.value) << c.text;
    }
}

TEST(FieldReading, PeriodIsTheDecimalPointWhateverTheLocale) {
    const char* old = std::setlocale(LC_NUMERIC, nullptr);
    const std::string saved = old ? old : "C";
    // A locale with a decimal comma, when the machine has one; the reading must not change.
    if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr || std::setlocale(LC_NUMERIC, "fr_FR.UTF-8") != nullptr) {
        EXPECT_EQ(Read("2.5"), 2.5);
        EXPECT_EQ(Read("2,5"), kRefused);
    }
    std::setlocale(LC_NUMERIC, saved.c_str());
    EXPECT_EQ(Read("2.5"), 2.5);
}

}  // namespace
}  // namespace mirelo
