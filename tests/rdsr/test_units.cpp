// Pieces of the report reader on their own: dose-area product units as vendors spell them (every
// unambiguous spelling of a dose times an area gives its power of ten to Gy·cm², everything else is
// refused), DICOM date-times and text bytes, and the nesting pre-scan in each encoding.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>

#include "rdsr/dap_unit.h"
#include "rdsr/nesting_scan.h"
#include "rdsr/report_reader.h"
#include "report_writer.h"

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

namespace {

// Nested sequences in every encoding the pre-scan walks: deeper than the limit is refused before
// DCMTK parses (ten thousand levels would overflow its stack and end the test), shallower is left
// to DCMTK.
TEST(NestingScan, DeepFilesAreRefusedBeforeParsingInEveryEncoding) {
    namespace gen = mirelo::rdsrgen;
    const auto folder = std::filesystem::temp_directory_path() / ("mirelo_nesting_" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    const struct {
        gen::Nesting nesting;
        int levels;
        bool tooDeep;
    } cases[] = {
        {gen::Nesting::ExplicitUndefinedLength, 150, false}, {gen::Nesting::ExplicitUndefinedLength, 201, true},
        {gen::Nesting::ExplicitUndefinedLength, 10000, true}, {gen::Nesting::ImplicitDefinedLength, 150, false},
        {gen::Nesting::ImplicitDefinedLength, 201, true},     {gen::Nesting::ImplicitDefinedLength, 10000, true},
        {gen::Nesting::Deflated, 150, false},                 {gen::Nesting::Deflated, 10000, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(static_cast<int>(c.nesting)) + " " + std::to_string(c.levels));
        const auto path = folder / "nested.dcm";
        ASSERT_EQ(gen::WriteDeeplyNested(path, c.levels, c.nesting), "");
        const auto scan = mirelo::rdsr::ScanNesting(path);
        EXPECT_EQ(scan.tooDeep, c.tooDeep);
        std::ifstream in(path, std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const auto inMemory = mirelo::rdsr::ScanNesting(std::string_view(bytes));
        EXPECT_EQ(inMemory.tooDeep, scan.tooDeep);
        EXPECT_EQ(inMemory.depth, scan.depth);
        EXPECT_EQ(inMemory.complete, scan.complete);
        if (!c.tooDeep) {
            EXPECT_TRUE(scan.complete);
            EXPECT_EQ(scan.depth, static_cast<std::size_t>(c.levels));
        }
        const auto read = mirelo::rdsr::ReadReportFile(path);
        ASSERT_FALSE(read);
        const std::string text = mirelo::rdsr::DescribeReadError(read.error());
        EXPECT_EQ(text.find("nested more than 200 levels") != std::string::npos, c.tooDeep) << text;
    }
    std::filesystem::remove_all(folder);
}

// A length field beyond the end of the file, in the meta information and in the data set: refused
// before DCMTK parses the bytes from memory (it would allocate the declared 4 GB at once). The
// untouched report is one the scan vouches for, so it is parsed from memory.
TEST(NestingScan, LengthsBeyondTheEndOfTheFileAreRefused) {
    namespace gen = mirelo::rdsrgen;
    const auto folder = std::filesystem::temp_directory_path() / ("mirelo_overlong_" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    gen::ReportSpec plan;
    plan.events.push_back({});
    plan.events.back().type = gen::Fluoroscopy();
    plan.events.back().plane = gen::SinglePlane();
    plan.events.back().kvp = {"80"};
    plan.events.back().dap = gen::NumSpec{"1E-4", "Gy.m2"};
    ASSERT_EQ(gen::WriteReport(plan, folder / "report.dcm"), "");
    std::ifstream in(folder / "report.dcm", std::ios::binary);
    const std::string original((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const struct {
        std::string header;  // the element's tag and VR as written; its 4-byte length follows
        const char* refused;
    } cases[] = {
        {"", nullptr},
        {std::string("\x02\x00\x01\x00OB\0\0", 8), "element (0002,0001) declares 4294901760 bytes where "},
        {std::string("\x40\x00\x60\xA1UT\0\0", 8), "element (0040,A160) declares 4294901760 bytes where "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.refused ? c.refused : "untouched");
        std::string bytes = original;
        if (!c.header.empty()) {
            const auto at = bytes.find(c.header);
            ASSERT_NE(at, std::string::npos);
            bytes.replace(at + c.header.size(), 4, std::string("\0\0\xFF\xFF", 4));
        }
        std::ofstream(folder / "case.dcm", std::ios::binary) << bytes;
        const auto scan = mirelo::rdsr::ScanNesting(std::string_view(bytes));
        EXPECT_EQ(scan.overlong, c.refused != nullptr);
        EXPECT_EQ(scan.vouched, c.refused == nullptr);
        const auto read = mirelo::rdsr::ReadReportFile(folder / "case.dcm");
        if (c.refused == nullptr) {
            ASSERT_TRUE(read) << mirelo::rdsr::DescribeReadError(read.error());
            EXPECT_EQ(read->events.size(), 1u);
        } else {
            ASSERT_FALSE(read);
            EXPECT_EQ(read.error().kind, mirelo::rdsr::ReadError::Kind::Unreadable);
            EXPECT_NE(mirelo::rdsr::DescribeReadError(read.error()).find(c.refused), std::string::npos)
                << mirelo::rdsr::DescribeReadError(read.error());
        }
    }
    std::filesystem::remove_all(folder);
}

// A report parsed one content item at a time from its bytes (defined or undefined lengths, an
// element after the content) reads exactly as DCMTK's whole tree of the same content does (an
// implicit VR copy, which the scan does not vouch for).
TEST(NestingScan, ReportsReadItemByItemAsFromTheWholeTree) {
    namespace gen = mirelo::rdsrgen;
    const auto folder = std::filesystem::temp_directory_path() / ("mirelo_layout_" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    gen::ReportSpec plan;
    plan.outOfTemplateItems = true;
    for (const char* kvp : {"70", "0\\81\\83"}) {
        plan.events.push_back({});
        plan.events.back().type = gen::Fluoroscopy();
        plan.events.back().plane = gen::PlaneA();
        plan.events.back().kvpPulses = kvp;
        plan.events.back().dap = gen::NumSpec{"2.5E-4", "Gy.m2"};
        plan.events.back().filters = {{gen::Copper(), gen::NumSpec{"0.1", "mm"}, gen::NumSpec{"0.3", "mm"}}};
    }
    plan.totals = {{gen::PlaneA(), gen::NumSpec{"5E-4", "Gy.m2"}, {}, {}, gen::NumSpec{"12", "s"}}};
    ASSERT_EQ(gen::WriteReport(plan, folder / "defined.dcm"), "");
    const auto text = [](const mirelo::rdsr::Report& r) {
        std::string t = r.device.name + "|" + r.device.observerUid + "|" + std::to_string(*r.totals.dapGyCm2) + "|" +
                        std::to_string(r.totals.fluoroTimeS.value_or(-1));
        for (const auto& e : r.events) {
            t += "|" + e.uid + " " + e.type.meaning + " " + e.plane.value + " " + e.protocol + " " + e.dapText + " " +
                 std::to_string(e.kvp.value_or(-1)) + " " + std::to_string(e.kvpPulses) + " " +
                 std::to_string(e.filters.size()) + " " + std::to_string(e.filters.front().thicknessMm.value_or(-1));
        }
        for (const auto& note : r.notes) t += "|" + note;
        return t;
    };
    const auto whole = folder / "implicit.dcm";
    ASSERT_EQ(gen::Rewrite(folder / "defined.dcm", whole, gen::Layout::ImplicitVr), "");
    const auto expected = mirelo::rdsr::ReadReportFile(whole);
    ASSERT_TRUE(expected);
    ASSERT_EQ(expected->events.size(), 2u);
    const struct {
        const char* name;
        std::optional<gen::Layout> layout;
    } cases[] = {{"defined.dcm", std::nullopt},
                 {"undefined.dcm", gen::Layout::UndefinedLengths},
                 {"after.dcm", gen::Layout::ElementAfterContent}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.layout) {
            ASSERT_EQ(gen::Rewrite(folder / "defined.dcm", folder / c.name, *c.layout), "");
        }
        std::ifstream in(folder / c.name, std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const auto scan = mirelo::rdsr::ScanNesting(std::string_view(bytes));
        EXPECT_TRUE(scan.vouched && scan.hasContent);
        EXPECT_GE(scan.contentItems.size(), 4u);  // observer context, procedure, two events, totals
        const auto read = mirelo::rdsr::ReadReportFile(folder / c.name);
        ASSERT_TRUE(read);
        EXPECT_EQ(text(*read), text(*expected));
    }
    EXPECT_FALSE(mirelo::rdsr::ScanNesting(whole).vouched);
    std::filesystem::remove_all(folder);
}

}  // namespace

namespace {

// Texts come out as UTF-8 whatever the file declares: converted, kept when already UTF-8, or
// replaced visibly; the note and the declared set name itself are UTF-8 too (a file whose Specific
// Character Set held raw bytes once gave a note that was not).
TEST(ReaderTexts, EveryTextIsUtf8WhateverTheFileDeclares) {
    namespace gen = mirelo::rdsrgen;
    const auto folder = std::filesystem::temp_directory_path() / ("mirelo_texts_" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    const struct {
        const char* characterSet;
        const char* protocol;
        const char* utf8;
        bool note;  // replaced bytes are named
    } cases[] = {
        {"ISO_IR 100", "Sch\xE4" "del", "Sch\xC3\xA4" "del", false},
        {"ISO 2022 IR 13\\ISO 2022 IR 87", "\xB6\xDE\x1b$B;3\x1b(B", "\xEF\xBD\xB6\xEF\xBE\x9E\xE5\xB1\xB1", false},  // ｶﾞ山
        {"", "caf\xC3\xA9", "caf\xC3\xA9", false},  // UTF-8 written without saying so
        {"ISO_IR 192", "Abdomen \xFF", "Abdomen \xEF\xBF\xBD", true},
        {"\xA4\xB6\xACO 2022 IR 87", "Abdomen \xE9", "Abdomen \xEF\xBF\xBD", true},  // a set nobody knows
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.characterSet);
        gen::ReportSpec plan;
        plan.characterSet = c.characterSet;
        gen::EventSpec event;
        event.type = gen::Fluoroscopy();
        event.plane = gen::SinglePlane();
        event.protocol = c.protocol;
        plan.events = {event};
        const auto path = folder / "texts.dcm";
        ASSERT_EQ(gen::WriteReport(plan, path), "");
        const auto report = mirelo::rdsr::ReadReportFile(path);
        ASSERT_TRUE(report);
        ASSERT_EQ(report->events.size(), 1u);
        EXPECT_EQ(report->events[0].protocol, c.utf8);
        EXPECT_EQ(mirelo::rdsr::ValidUtf8(report->characterSet), report->characterSet);
        std::size_t replacedNotes = 0;
        for (const auto& note : report->notes) {
            EXPECT_EQ(mirelo::rdsr::ValidUtf8(note), note);
            replacedNotes += note.find("replaced by U+FFFD") != std::string::npos ? 1 : 0;
        }
        EXPECT_EQ(replacedNotes, c.note ? 1u : 0u);
    }
    std::filesystem::remove_all(folder);
}

}  // namespace
