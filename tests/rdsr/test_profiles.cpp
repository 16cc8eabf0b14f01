// Profile files: a mistake is named with its line instead of silently falling back to the defaults,
// and a device gets the most specific entry.
#include <gtest/gtest.h>

#include <string>

#include "profiles/profiles.h"

namespace {

using mirelo::profiles::DescribeProfileError;
using mirelo::profiles::MatchProfile;
using mirelo::profiles::ParseProfiles;

struct BadFile {
    std::string text;
    const char* error;  // DescribeProfileError begins with "p.toml:" and contains this
};

TEST(Profiles, MistakesAreNamedWithTheirPlace) {
    const std::string entry = "[[device]]\nname = \"U\"\nobserver_uid = \"1.2.3\"\n";
    const BadFile cases[] = {
        {"[[device]]\nobserver_uid = \"1.2.3\"\n", "p.toml:1:1: every [[device]] needs a 'name'"},
        {"[[device]]\nname = \"U\"\nobserver_uid = \"1\"\ninherent_mm = 3\n", "p.toml:4:15: unknown key 'inherent_mm'"},
        {"[[device]]\nname = \"U\"\nobserver_uid = \"1\"\ntarget_angle_deg = 0\n", "'target_angle_deg' must be above 0 and below 90"},
        {"[[device]]\nname = \"U\"\nobserver_uid = \"1\"\ntarget_angle_deg = 90\n", "p.toml:4:20: 'target_angle_deg' must be above 0 and below 90"},
        {"[[device]]\nname = \"U\"\nobserver_uid = \"1\"\ninherent_mm_al = \"3\"\n", "'inherent_mm_al' must be a number"},
        {"[[device]]\nname = \"U\"\nobserver_uid = \"1\"\ninherent_mm_al = 21\n", "'inherent_mm_al' must be from 0 to 20"},
        {"[[device]]\nname = \"U\"\nobserver_uid = \"1\"\nplane = \"C\"\n", "'plane' must be \"A\", \"B\" or \"single\""},
        {"[[device]]\nname = \"U\"\nobserver_uid = \"1\"\nhvl_mm_al = 3\n", "needs both 'hvl_mm_al' and 'hvl_kv'"},
        {"[[device]]\nname = \"U\"\nobserver_uid = \"1\"\nhvl_mm_al = 3\nhvl_kv = 80\ninherent_mm_al = 2\n", "keep one"},
        {"[[device]]\nname = \"U\"\nobserver_uid = \"1\"\nhvl = [{kv = 60, mm_al = 2.3}, {kv = 60, mm_al = 2.4}]\n",
         "p.toml:4:32: two measurements in 'hvl' at 60 kV"},
        {"[[device]]\nname = \"U\"\nobserver_uid = \"1\"\nhvl = [{kv = 60}]\n", "needs 'kv' and 'mm_al'"},
        {"[[device]]\nname = \"U\"\nobserver_uid = \"1\"\nhvl = [{kv = 60, mm = 2}]\n", "unknown key 'mm' in 'hvl'"},
        {"[[device]]\nname = \"U\"\nobserver_uid = \"1\"\nhvl = [{kv = 160, mm_al = 2}]\n", "'kv' must be above 0 up to 150"},
        {"[[device]]\nname = \"U\"\nobserver_uid = \"1\"\nhvl = []\n", "'hvl' must be a list"},
        {"[[device]]\nname = \"U\"\nobserver_uid = \"1\"\nhvl = 3\n", "'hvl' must be a list"},
        {"[[device]]\nname = \"U\"\nobserver_uid = \"1\"\nhvl_mm_al = 3\nhvl_kv = 80\nhvl = [{kv = 60, mm_al = 2.3}]\n",
         "put every measurement in the list"},
        {"[[device]]\nname = \"U\"\nobserver_uid = \"1\"\nhvl_al_mm = 1\n", "belong to an HVL measurement"},
        {"[[device]]\nname = \"U\"\nobserver_uid = \"1\"\nhvl = [{kv = 60, mm_al = 2.3}]\ninherent_mm_al = 2\n", "keep one"},
        {"[[device]]\nname = \"U\"\nmanufacturer = \"A\"\n", "needs 'observer_uid', or 'manufacturer' and 'model'"},
        {"[[device]]\nname = \"U\"\nobserver_uid = \"1\"\nmodel = \"X\"\n", "leave out manufacturer, model and serial"},
        {entry + entry, "p.toml:4:1: the name 'U' is taken by the entry on line 1"},
        {entry + "[[device]]\nname = \"V\"\nobserver_uid = \"1.2.3\"\n", "'V' matches the same device"},
        {"[[device]]\nname = \"U\nobserver_uid = \"1\"\n", "p.toml:2:"},  // TOML syntax: the parser's own words
        {"[device]\nname = \"U\"\n", "[[device]] tables"},
        {"angle = 12\n", "unknown key 'angle'"},
        // Characters the TOML library cannot classify are read in "..." strings only.
        {"[[device]]\nname = 'あ'\n", "p.toml:2:9: the character U+3042 can only be read inside a \"...\" string"},
        {"あ = 1\n", "p.toml:1:1: the character U+3042"},
    };
    for (const BadFile& c : cases) {
        const auto result = ParseProfiles(c.text, "p.toml");
        ASSERT_FALSE(result) << c.text;
        const std::string text = DescribeProfileError(result.error());
        EXPECT_NE(text.find(c.error), std::string::npos) << text;
        EXPECT_EQ(text.rfind("p.toml:", 0), 0u) << text;
    }
}

struct Device {
    const char *uid, *manufacturer, *model, *serial, *plane;
    const char* profile;  // nullptr: none
};

TEST(Profiles, TheMostSpecificEntryDecides) {
    const auto profiles = ParseProfiles(
        "[[device]]\nname = \"uid\"\nobserver_uid = \"1.2.3\"\ntarget_angle_deg = 11\n"
        "[[device]]\nname = \"uid A\"\nobserver_uid = \"1.2.3\"\nplane = \"a\"\n"
        "[[device]]\nname = \"serial\"\nmanufacturer = \"ACME\"\nmodel = \"X\"\nserial = \"9\"\n"
        "[[device]]\nname = \"model\"\nmanufacturer = \"ACME\"\nmodel = \"X\"\ninherent_mm_al = 3\n"
        "[[device]]\nname = \"model B\"\nmanufacturer = \"ACME\"\nmodel = \"X\"\nplane = \"B\"\n"
        "hvl_mm_al = 3.2\nhvl_kv = 80\nhvl_cu_mm = 0.1\n",
        "p.toml");
    ASSERT_TRUE(profiles) << DescribeProfileError(profiles.error());
    const Device cases[] = {
        {"1.2.3", "ACME", "X", "9", "A", "uid A"},
        {"1.2.3", "ACME", "X", "9", "B", "uid"},            // the UID outranks manufacturer and model
        {"9.9", " acme ", "x", "9", "single", "serial"},    // case and blanks do not matter
        {"", "ACME", "X", "8", "B", "model B"},
        {"", "ACME", "X", "8", "single", "model"},
        {"", "ACME", "Y", "9", "single", nullptr},
        {"", "", "", "", "A", nullptr},
    };
    for (const Device& d : cases) {
        const auto* p = MatchProfile(*profiles, {d.uid, d.manufacturer, d.model, d.serial, d.plane});
        EXPECT_STREQ(p ? p->name.c_str() : nullptr, d.profile) << d.uid << " " << d.model << " " << d.plane;
    }
    const auto& entries = profiles->entries;
    const auto japanese = ParseProfiles("# 透視室「あ」\n[[device]]\nname = \"透視室「あ」、Röntgen\"\nobserver_uid = \"1\"\n"
                                        "\"あ\" = 1\n", "p.toml");
    ASSERT_FALSE(japanese);  // the quoted key is read (and unknown), not undefined
    EXPECT_NE(DescribeProfileError(japanese.error()).find("unknown key 'あ'"), std::string::npos);
    const auto named = ParseProfiles("[[device]]\nname = \"透視室「あ」、Röntgen\"\nobserver_uid = \"1\"\n", "p.toml");
    ASSERT_TRUE(named);
    EXPECT_EQ(named->entries[0].name, "透視室「あ」、Röntgen");
    EXPECT_EQ(entries[0].targetAngleDeg, 11);
    EXPECT_EQ(entries[3].inherentMmAl, 3);
    ASSERT_EQ(entries[4].hvl.size(), 1u);
    EXPECT_EQ(entries[4].hvlCuMm, 0.1);
    EXPECT_FALSE(entries[4].hvlAlMm);  // the fit's stated default applies
    EXPECT_EQ(entries[4].hvl[0].kv, 80);
    EXPECT_EQ(entries[4].hvl[0].mmAl, 3.2);

    const auto list = ParseProfiles("[[device]]\nname = \"U\"\nobserver_uid = \"1\"\nhvl_al_mm = 0.5\n"
                                    "hvl = [{kv = 80, mm_al = 3.0, mm_al2 = 4.4}, {kv = 60, mm_al = 2.3}]\n",
                                    "p.toml");
    ASSERT_TRUE(list) << DescribeProfileError(list.error());
    const auto& points = list->entries[0].hvl;
    ASSERT_EQ(points.size(), 2u);
    EXPECT_EQ(points[0].kv, 80);
    EXPECT_EQ(points[0].mmAl2, 4.4);
    EXPECT_EQ(points[1].mmAl, 2.3);
    EXPECT_FALSE(points[1].mmAl2);
    EXPECT_EQ(list->entries[0].hvlAlMm, 0.5);
}

}  // namespace
