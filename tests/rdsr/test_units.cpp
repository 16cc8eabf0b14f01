// Dose-area product units as vendors spell them: every unambiguous spelling of a dose times an
// area gives its power of ten to Gy·cm²; everything else is refused.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "rdsr/dap_unit.h"
#include "rdsr/report_reader.h"

namespace {

struct Spelling {
    const char* unit;
    std::optional<int> exponent;
};

TEST(DoseAreaUnit, SpellingsGiveTheirFactorOrAreRefused) {
    const Spelling cases[] = {
        {"Gy.m2", 4},      {"Gym2", 4},       {"Gy*m2", 4},      {"Gy.m^2", 4},     {"Gym^2", 4},
        {"Gy.cm2", 0},     {"Gycm2", 0},      {"Gy.dm2", 2},     {"dGy.cm2", -1},   {"dGycm2", -1},
        {"cGy.cm2", -2},   {"mGy.cm2", -3},   {"mGy*cm^2", -3},  {"uGy.m2", -2},    {"uGy.cm2", -6},
        {"\xC2\xB5Gy.m2", -2}, {"\xCE\xBCGy.cm2", -6}, {"mGy.dm2", -1}, {"dGy.m2", 3},
        // Refused: other units, other case, blanks, mega, mm2, doubled separators, trailing text.
        {"", std::nullopt},        {"Gy", std::nullopt},        {"m2", std::nullopt},       {"Gy.cm", std::nullopt},
        {"Gy.m3", std::nullopt},   {"GY.M2", std::nullopt},     {"gy.m2", std::nullopt},    {"MGy.cm2", std::nullopt},
        {"DGy.cm2", std::nullopt}, {"Gy.mm2", std::nullopt},    {"Gy..m2", std::nullopt},   {"Gy.m2 ", std::nullopt},
        {" Gy.m2", std::nullopt},  {"Gy . m2", std::nullopt},   {"Gy.m2.", std::nullopt},   {"Gy.m^^2", std::nullopt},
        {"Gy/m2", std::nullopt},   {"mGy", std::nullopt},       {"\xC2Gy.m2", std::nullopt}, {"Gy.m22", std::nullopt},
        {"kGy.m2", std::nullopt},  {"Gy.km2", std::nullopt},    {"Gy.c m2", std::nullopt},  {"Gy*.m2", std::nullopt},
    };
    for (const Spelling& c : cases) {
        EXPECT_EQ(mirelo::rdsr::DoseAreaExponent(c.unit), c.exponent) << "'" << c.unit << "'";
    }
}

// The converted value is the decimal a person writes: the exponent is applied to the text.
TEST(DoseAreaUnit, ConvertedValuesAreTheExactDecimals) {
    const struct {
        const char* value;
        const char* unit;
        double gyCm2;
    } cases[] = {{"0.0048", "Gy.m2", 48}, {"0.0000004", "Gym2", 0.004}, {"1.5E-4", "Gy.m2", 1.5}, {"12.5", "dGy.cm2", 1.25}};
    for (const auto& c : cases) {
        const auto exponent = mirelo::rdsr::DoseAreaExponent(c.unit);
        ASSERT_TRUE(exponent) << c.unit;
        EXPECT_EQ(mirelo::rdsr::ParseDecimalString(c.value, *exponent), c.gyCm2) << c.value << " " << c.unit;
    }
}

TEST(DicomText, DateTimesInIso8601AndBytesAsUtf8) {
    const std::pair<const char*, const char*> times[] = {
        {"20160818192617.043", "2016-08-18T19:26:17.043"}, {"20160818", "2016-08-18"}, {"201608181926", "2016-08-18T19:26"},
        {"20160818192617+0100", "2016-08-18T19:26:17+01:00"}, {"2016", "2016"}, {"yesterday", "yesterday"},
        {"20160818192617.", "20160818192617."}, {"2016081819261", "2016081819261"}};
    for (const auto& [dicom, iso] : times) {
        EXPECT_EQ(mirelo::rdsr::IsoDateTime(dicom), iso) << dicom;
    }
    const std::pair<std::string, std::string> texts[] = {
        {"plain", "plain"}, {"Sch\xC3\xA4" "del", "Sch\xC3\xA4" "del"}, {"Sch\xE4" "del", "Sch\xEF\xBF\xBD" "del"},
        {"\xC0\xAF", "\xEF\xBF\xBD\xEF\xBF\xBD"} /* overlong '/' */, {"\xED\xA0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
        {"\xE5\xB1", "\xEF\xBF\xBD\xEF\xBF\xBD"} /* cut short */};
    for (const auto& [bytes, utf8] : texts) {
        EXPECT_EQ(mirelo::rdsr::ValidUtf8(bytes), utf8) << bytes;
    }
}

}  // namespace
