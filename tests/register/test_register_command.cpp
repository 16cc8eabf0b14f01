// `mirelo-calc register` through its process, on reports made here: what the register holds after
// each import (checked in the database itself), that its exports agree with `rdsr` on the same
// files, the summary's statistics and reference levels, and a kill in the middle of an import.
#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "../rdsr/corpus.h"
#include "common/text_columns.h"
#include "report_writer.h"
#include "tests/calc/run_tool.h"

namespace {

namespace fs = std::filesystem;
namespace gen = mirelo::rdsrgen;
using mirelo::test::RunTool;
using mirelo::test::ToolRun;

// One number from the database (opened read-only beside a running writer), -1 when it fails.
long long Query(const fs::path& db, const std::string& sql) {
    sqlite3* h = nullptr;
    long long value = -1;
    if (sqlite3_open_v2(db.c_str(), &h, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_busy_timeout(h, 5000);
        sqlite3_stmt* s = nullptr;
        if (sqlite3_prepare_v2(h, sql.c_str(), -1, &s, nullptr) == SQLITE_OK && sqlite3_step(s) == SQLITE_ROW) {
            value = sqlite3_column_int64(s, 0);
        }
        sqlite3_finalize(s);
    }
    sqlite3_close(h);
    return value;
}

std::string QueryText(const fs::path& db, const std::string& sql) {
    sqlite3* h = nullptr;
    std::string value;
    if (sqlite3_open_v2(db.c_str(), &h, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* s = nullptr;
        if (sqlite3_prepare_v2(h, sql.c_str(), -1, &s, nullptr) == SQLITE_OK && sqlite3_step(s) == SQLITE_ROW) {
            const auto* p = sqlite3_column_text(s, 0);
            value = p != nullptr ? reinterpret_cast<const char*>(p) : "";
        }
        sqlite3_finalize(s);
    }
    sqlite3_close(h);
    return value;
}

// The lines of a CSV text in order, without its provenance comment (its command line and time differ).
std::vector<std::string> SortedLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("# ", 0) != 0) lines.push_back(line);
    }
    std::sort(lines.begin(), lines.end());
    return lines;
}

std::size_t Occurrences(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

gen::ReportSpec Plan(const std::string& study, const std::vector<std::string>& daps, const std::string& protocol = "Abdomen",
                     const std::string& date = "20240115103000") {
    gen::ReportSpec plan;
    plan.studyUid = study;
    plan.studyDate = date.substr(0, 8);
    plan.accessionNumber = "A" + study.substr(study.rfind('.') + 1);
    plan.observerUid = "1.2.826.0.1.3680043.10.1309.9";
    plan.model = "Angio 9";
    for (std::size_t i = 0; i < daps.size(); ++i) {
        gen::EventSpec e;
        e.uid = study + "." + std::to_string(i + 1);
        e.dateTime = date;
        e.type = gen::Fluoroscopy();
        e.plane = gen::SinglePlane();
        e.protocol = protocol;
        e.dap = gen::NumSpec{daps[i], "Gy.cm2"};
        e.kvp = {"80"};
        e.filters.push_back({gen::Copper(), gen::NumSpec{"0.1", "mm"}, gen::NumSpec{"0.1", "mm"}});
        plan.events.push_back(e);
    }
    return plan;
}

class RegisterCommand : public ::testing::Test {
protected:
    void SetUp() override {
        scratch_ = fs::temp_directory_path() / ("mirelo-register-test-" + std::to_string(::getpid()));
        fs::remove_all(scratch_);
        fs::create_directories(scratch_);
        db_ = scratch_ / "register.sqlite";
    }
    void TearDown() override { fs::remove_all(scratch_); }

    ToolRun Register(std::vector<std::string> args) {
        args.insert(args.begin(), "register");
        args.insert(args.begin() + 2, {"--db", db_.string()});
        const bool computes = args[1] == "import" || args[1] == "recompute" || args[1] == "export";
        if (computes) {
            args.push_back("--tables");
            args.push_back(MIRELO_SOURCE_DATA_DIR);
        }
        return RunTool(args);
    }

    void Write(const gen::ReportSpec& plan, const fs::path& file) {
        fs::create_directories(file.parent_path());
        ASSERT_EQ(gen::WriteReport(plan, file), "") << file;
    }

    fs::path scratch_, db_;
};

// Import, again, a re-sent report with other content: what each step says and what the register
// then holds.
TEST_F(RegisterCommand, ImportKeepsEveryReportOnceAndVersionsResentOnes) {
    const auto corpus = mirelo::rdsrtest::WriteCorpus(scratch_ / "corpus");
    gen::ReportSpec resent = Plan("1.2.826.0.1.3680043.10.1320.1", {"1.5", "2.5"});
    resent.sopInstanceUid = "1.2.826.0.1.3680043.10.1321.1";
    Write(resent, scratch_ / "v1" / "r.dcm");
    resent.events.pop_back();  // the unit corrects the report: one event fewer, same SOP Instance UID
    Write(resent, scratch_ / "v2" / "r.dcm");

    struct Step {
        std::string path;
        int status;
        std::size_t added, unchanged, versions;
        long long reports, current, studies, events;
    };
    const Step steps[] = {
        // The corpus: five reports (one a second copy of the same study's report under another SOP
        // Instance UID), an image and a text file that are not reports.
        {"corpus", 1, 5, 0, 0, 5, 5, 4, 23},
        {"corpus", 1, 0, 5, 0, 5, 5, 4, 23},   // the same files again: nothing stored
        {"v1", 0, 1, 0, 0, 6, 6, 5, 25},
        {"v1", 0, 0, 1, 0, 6, 6, 5, 25},
        {"v2", 0, 0, 0, 1, 7, 6, 5, 26},       // version 2; version 1 superseded, still held
        {"v1", 0, 0, 1, 0, 7, 6, 5, 26},       // an old version re-sent is held already
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.path);
        const ToolRun run = Register({"import", (scratch_ / s.path).string()});
        EXPECT_EQ(run.status, s.status) << run.err;
        EXPECT_EQ(Occurrences(run.out, ": added 1:"), s.added) << run.out;
        EXPECT_EQ(Occurrences(run.out, ": unchanged:"), s.unchanged) << run.out;
        EXPECT_EQ(Occurrences(run.out, ": new version 2:"), s.versions) << run.out;
        EXPECT_EQ(Query(db_, "SELECT COUNT(*) FROM reports"), s.reports);
        EXPECT_EQ(Query(db_, "SELECT COUNT(*) FROM reports WHERE superseded_by IS NULL"), s.current);
        EXPECT_EQ(Query(db_, "SELECT COUNT(*) FROM studies"), s.studies);
        EXPECT_EQ(Query(db_, "SELECT COUNT(*) FROM events"), s.events);
        EXPECT_EQ(Query(db_, "SELECT COUNT(*) FROM results"), s.events);
    }
    for (const auto& name : corpus.unreadable) {
        EXPECT_NE(Register({"import", (scratch_ / "corpus" / name).string()}).err.find(name), std::string::npos);
    }
    // The study of the re-sent report counts the current version only.
    const ToolRun studies = Register({"export", "studies"});
    const auto at = studies.out.find("\n1.2.826.0.1.3680043.10.1320.1,");
    ASSERT_NE(at, std::string::npos) << studies.out;
    const std::string line = studies.out.substr(at + 1, studies.out.find('\n', at + 1) - at - 1);
    EXPECT_NE(line.find((scratch_ / "v2" / "r.dcm").string()), std::string::npos) << line;
    EXPECT_EQ(line.find((scratch_ / "v1" / "r.dcm").string()), std::string::npos) << line;
    EXPECT_NE(line.find(",1.5,"), std::string::npos) << line;
    EXPECT_EQ(Query(db_, "PRAGMA user_version"), 2);
    EXPECT_EQ(QueryText(db_, "PRAGMA journal_mode"), "wal");
}

// What the register exports is what `rdsr` writes for the same files: every event with its
// reason, every study with its sums, a report repeating another's events counted once.
TEST_F(RegisterCommand, ExportAgreesWithRdsrOnTheSameFiles) {
    mirelo::rdsrtest::WriteCorpus(scratch_ / "corpus");
    const std::string folder = (scratch_ / "corpus").string();
    ASSERT_EQ(Register({"import", folder}).status, 1);  // the image and the text file
    const std::string events = (scratch_ / "events.csv").string(), studies = (scratch_ / "studies.csv").string();
    ASSERT_EQ(RunTool({"rdsr", folder, "--events", events, "--studies", studies, "--tables", MIRELO_SOURCE_DATA_DIR}).status, 1);
    const ToolRun exportedEvents = Register({"export", "events"});
    const ToolRun exportedStudies = Register({"export", "studies"});
    ASSERT_EQ(exportedEvents.status, 0) << exportedEvents.err;
    EXPECT_EQ(SortedLines(exportedEvents.out), SortedLines(mirelo::test::Slurp(events)));
    EXPECT_EQ(SortedLines(exportedStudies.out), SortedLines(mirelo::test::Slurp(studies)));
    // The summary takes the same study sums (the second copy's events counted once): the angiography
    // unit has studies of 33.75 and 3 Gy·cm²; as many studies are incomplete as `rdsr` says.
    const ToolRun summary = Register({"summary", "--format", "csv"});
    EXPECT_NE(summary.out.find("\nMirelo Test Angio 1 (SN SN-1),2,9,18.375,26.0625,33.75,"), std::string::npos) << summary.out;
    std::size_t incomplete = 0;
    for (const std::string& line : SortedLines(summary.out)) {
        const auto last = line.rfind(','), before = line.rfind(',', last - 1);  // incomplete_studies,thickness_cm
        if (line.rfind("group,", 0) != 0) incomplete += std::stoul(line.substr(before + 1, last - before - 1));
    }
    EXPECT_EQ(incomplete, Occurrences(mirelo::test::Slurp(studies), ",incomplete,"));

    // Recomputing with a profile file changes the energies to what `rdsr` gives with it, and keeps
    // the first computation's results.
    std::ofstream(scratch_ / "profiles.toml") << mirelo::rdsrtest::ProfilesToml();
    const std::string profiles = (scratch_ / "profiles.toml").string();
    const long long before = Query(db_, "SELECT COUNT(*) FROM results");
    const ToolRun recompute = Register({"recompute", "--profiles", profiles});
    EXPECT_EQ(recompute.status, 0) << recompute.err;
    EXPECT_EQ(Query(db_, "SELECT COUNT(*) FROM results"), 2 * before);
    EXPECT_EQ(Query(db_, "SELECT COUNT(*) FROM computations WHERE profile_sha256 <> ''"), 1);
    ASSERT_EQ(RunTool({"rdsr", folder, "--profiles", profiles, "--events", events, "--tables", MIRELO_SOURCE_DATA_DIR}).status, 1);
    EXPECT_EQ(SortedLines(Register({"export", "events", "--profiles", profiles}).out), SortedLines(mirelo::test::Slurp(events)));
    EXPECT_NE(Register({"recompute", "--profiles", profiles}).err.find("already"), std::string::npos);

    // A filter that nothing matches gives the header alone.
    EXPECT_EQ(SortedLines(Register({"export", "studies", "--device", "no such unit"}).out).size(), 1u);
}

// Medians and 75th percentiles of known study DAPs, per protocol and per month, and the studies
// above the reference levels.
TEST_F(RegisterCommand, SummaryGivesTheSpreadAndTheStudiesAboveTheLevels) {
    // Abdomen: study DAPs 1, 2, 3, 4 (median 2.5, p75 3.25, max 4); 頭部 (head, as Japanese units write it): 10 (January) and 30
    // (February); one 頭部 study has an event without a DAP, so it is incomplete.
    struct Study {
        const char* uid;
        std::vector<std::string> daps;
        const char* protocol;
        const char* date;
    };
    const Study plans[] = {
        {"1.2.826.0.1.3680043.10.1330.1", {"0.5", "0.5"}, "Abdomen", "20240110090000"},
        {"1.2.826.0.1.3680043.10.1330.2", {"2"}, "Abdomen", "20240111090000"},
        {"1.2.826.0.1.3680043.10.1330.3", {"1", "1", "1"}, "Abdomen", "20240112090000"},
        {"1.2.826.0.1.3680043.10.1330.4", {"4"}, "Abdomen", "20240201090000"},
        {"1.2.826.0.1.3680043.10.1330.5", {"10"}, "頭部", "20240115090000"},
        {"1.2.826.0.1.3680043.10.1330.6", {"30", ""}, "頭部", "20240215090000"},
    };
    for (const Study& s : plans) {
        gen::ReportSpec plan = Plan(s.uid, s.daps, s.protocol, s.date);
        for (auto& e : plan.events) {
            if (e.dap && e.dap->value.empty()) e.dap.reset();
        }
        Write(plan, scratch_ / "in" / (std::string(s.uid) + ".dcm"));
    }
    ASSERT_EQ(Register({"import", (scratch_ / "in").string()}).status, 0);
    std::ofstream(scratch_ / "levels.toml") << "[[level]]\nprotocol = \"Abdomen\"\ndap_gycm2 = 3.5\n"
                                            << "[[level]]\nprotocol = \"頭部\"\ndap_gycm2 = 20\nenergy_j = 1000\n";
    const std::string levels = (scratch_ / "levels.toml").string();

    struct Case {
        std::vector<std::string> args;
        std::vector<std::string> expected;  // lines or parts of lines
    };
    const Case cases[] = {
        {{"--by", "protocol", "--format", "csv"},
         {"Abdomen,4,7,2.5,3.25,4,", "頭部,2,3,20,25,30,"}},
        {{"--by", "month", "--format", "csv"}, {"2024-01,4,7,2.5,4.75,10,", "2024-02,2,3,17,23.5,30,"}},
        {{"--by", "protocol", "--from", "2024-02-01", "--format", "csv"}, {"Abdomen,1,1,4,4,4,", "頭部,1,2,30,30,30,"}},
        {{"--by", "protocol", "--to", "20240131", "--format", "csv"}, {"Abdomen,3,6,", "頭部,1,1,10,10,10,"}},
        {{"--by", "protocol", "--levels", levels},
         {"A4 (1.2.826.0.1.3680043.10.1330.4)  20240201  DAP 4 Gy·cm² > 3.5 (protocol Abdomen)",
          "A6 (1.2.826.0.1.3680043.10.1330.6)  20240215  DAP 30 Gy·cm² > 20 (protocol 頭部)",
          "A6 (1.2.826.0.1.3680043.10.1330.6)  20240215  1 event skipped"}},
        {{"--by", "device", "--format", "json"}, {"\"group\": \"Mirelo Test Angio 9 (SN SN-1)\"", "\"median\": 3.5", "\"p75\": 8.5"}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args{"summary"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const ToolRun run = Register(args);
        SCOPED_TRACE(run.out);
        EXPECT_EQ(run.status, 0) << run.err;
        for (const auto& line : c.expected) EXPECT_NE(run.out.find(line), std::string::npos) << line;
    }
    // Only the 頭部 study of February is above its level; the 頭部 level's energy is not reached.
    EXPECT_EQ(Occurrences(Register({"summary", "--levels", levels}).out, " > "), 2u);

    // The text's columns line up whatever the script: each starts at the same terminal column on every
    // line (a cell never holds two spaces in a row, so a run of them ends a cell).
    std::istringstream byProtocol(Register({"summary", "--by", "protocol"}).out);
    std::set<std::vector<std::size_t>> layouts;
    for (std::string line; std::getline(byProtocol, line);) {
        if (line.rfind("group", 0) != 0 && line.rfind("Abdomen", 0) != 0 && line.rfind("頭部", 0) != 0) continue;
        std::vector<std::size_t> starts;
        for (auto at = line.find("  "); at != std::string::npos; at = line.find("  ", at)) {
            at = line.find_first_not_of(' ', at);
            if (at == std::string::npos) break;
            starts.push_back(mirelo::TextColumns(line.substr(0, at)));
        }
        layouts.insert(starts);
    }
    EXPECT_EQ(layouts.size(), 1u);
    EXPECT_EQ(layouts.begin()->size(), 6u);

    // Mistakes in the arguments and the level file: status 2, the place named.
    const std::pair<std::string, std::string> mistakes[] = {
        {"[[level]]\nprotocol = \"Abdomen\"\n", ":1:1: a [[level]] needs 'dap_gycm2', 'energy_j' or both"},
        {"[[level]]\nprotocol = \"Abdomen\"\ndap = 3\n", ":3:7: unknown key 'dap'"},
        {"[[level]]\nprotocol = \"A\"\ndevice = \"B\"\ndap_gycm2 = 1\n", "either 'protocol' or 'device'"},
        {"[[level]]\nprotocol = \"A\"\ndap_gycm2 = -1\n", ":3:13: 'dap_gycm2' must be a finite number above 0"},
        {"[[level]]\nprotocol = \"A\"\ndap_gycm2 = 1\n[[level]]\nprotocol = \"A\"\nenergy_j = 1\n", ":4:1: the same protocol as the entry on line 1"},
        {"[levels]\n", ":1:1: unknown key 'levels'"},
    };
    for (const auto& [text, message] : mistakes) {
        std::ofstream(scratch_ / "bad.toml") << text;
        const ToolRun run = Register({"summary", "--levels", (scratch_ / "bad.toml").string()});
        EXPECT_EQ(run.status, 2) << text;
        EXPECT_NE(run.err.find(message), std::string::npos) << run.err;
    }
    for (const auto& args : std::vector<std::vector<std::string>>{{"summary", "--thickness", "21"},
                                                                   {"summary", "--from", "2024-13-01"},
                                                                   {"summary", "--by", "week"},
                                                                   {"export", "patients"}}) {
        EXPECT_EQ(Register(args).status, 2) << args[1];
    }
}

// Studies whose completeness the summary must judge as `rdsr`'s studies do: an event skipped, or the
// events' DAP more than 1 % away from the reports' own accumulated totals (a repeated event counts
// in the total of the report that repeats it). tests/register/data/register-v1.sqlite holds these
// reports as the register of schema version 1 stored them.
struct CompletenessReport {
    std::vector<std::string> daps;  // "" for an event without a DAP
    const char* total;              // the report's accumulated DAP, nullptr for none
    int repeatOf = -1;              // its first event repeats this event of the study's first report
};
struct CompletenessCase {
    const char* uid;
    std::vector<CompletenessReport> reports;
    const char* reason;  // empty when complete
};
const CompletenessCase kCompleteness[] = {
    {"1.2.826.0.1.3680043.10.1331.1", {{{"4", "6"}, "10"}}, ""},
    {"1.2.826.0.1.3680043.10.1331.2", {{{"4", "6"}, "10.09"}}, ""},
    {"1.2.826.0.1.3680043.10.1331.3", {{{"4", "6"}, "12"}}, "the events sum to 10 Gy.cm2, the report's total is 12 Gy.cm2"},
    {"1.2.826.0.1.3680043.10.1331.4", {{{"4", "6"}, "9.8"}}, "the events sum to 10 Gy.cm2, the report's total is 9.8 Gy.cm2"},
    {"1.2.826.0.1.3680043.10.1331.5", {{{"4", ""}, nullptr}}, "1 event skipped"},
    {"1.2.826.0.1.3680043.10.1331.6", {{{"4", "6"}, "10"}, {{"6", "5"}, "11", 1}}, ""},
    {"1.2.826.0.1.3680043.10.1331.7", {{{"4", "6"}, "10"}, {{"6", "5"}, "5", 1}}, "the events sum to 21 Gy.cm2, the report's total is 15 Gy.cm2"},
};

// The summary's text lists exactly the incomplete studies of kCompleteness, each with its reason.
void ExpectIncompleteAsPlanned(const std::string& summary) {
    const std::string incomplete = summary.substr(std::min(summary.find("incomplete studies:"), summary.size()));
    for (const CompletenessCase& c : kCompleteness) {
        SCOPED_TRACE(c.uid);
        const auto at = incomplete.find(std::string(c.uid) + ")");
        ASSERT_EQ(at != std::string::npos, *c.reason != '\0') << summary;
        if (at != std::string::npos) {
            EXPECT_NE(incomplete.substr(at, incomplete.find('\n', at) - at).find(c.reason), std::string::npos) << summary;
        }
    }
    EXPECT_NE(summary.find("7 studies, 16 events"), std::string::npos) << summary;
}

TEST_F(RegisterCommand, SummaryCallsAStudyIncompleteWhereRdsrDoes) {
    for (const CompletenessCase& c : kCompleteness) {
        std::vector<std::string> firstUids;
        for (std::size_t r = 0; r < c.reports.size(); ++r) {
            gen::ReportSpec plan = Plan(c.uid, c.reports[r].daps);
            plan.sopInstanceUid = std::string(c.uid) + ".9" + std::to_string(r);
            for (std::size_t k = 0; k < plan.events.size(); ++k) {
                auto& e = plan.events[k];
                if (r == 0) firstUids.push_back(e.uid);
                else if (k == 0 && c.reports[r].repeatOf >= 0) e.uid = firstUids[static_cast<std::size_t>(c.reports[r].repeatOf)];
                else e.uid += ".r" + std::to_string(r);
                if (e.dap->value.empty()) e.dap.reset();
            }
            if (c.reports[r].total != nullptr) {
                gen::TotalsSpec t;
                t.plane = gen::SinglePlane();
                t.dap = gen::NumSpec{c.reports[r].total, "Gy.cm2"};
                plan.totals.push_back(t);
            }
            Write(plan, scratch_ / "in" / (std::string(c.uid) + "-" + std::to_string(r) + ".dcm"));
        }
    }
    ASSERT_EQ(Register({"import", (scratch_ / "in").string()}).status, 0);
    const ToolRun summary = Register({"summary"});
    ASSERT_EQ(summary.status, 0) << summary.err;
    ExpectIncompleteAsPlanned(summary.out);

    const std::string studies = (scratch_ / "studies.csv").string();
    RunTool({"rdsr", (scratch_ / "in").string(), "--studies", studies, "--tables", MIRELO_SOURCE_DATA_DIR});
    const std::vector<std::string> rdsrLines = SortedLines(mirelo::test::Slurp(studies));
    for (const CompletenessCase& c : kCompleteness) {
        const auto line = std::find_if(rdsrLines.begin(), rdsrLines.end(), [&](const std::string& l) { return l.rfind(c.uid, 0) == 0; });
        ASSERT_NE(line, rdsrLines.end()) << c.uid;
        EXPECT_NE(line->find(*c.reason != '\0' ? ",incomplete," : ",complete,"), std::string::npos) << *line;
        EXPECT_NE(line->find(c.reason), std::string::npos) << *line;
    }
}

// A register written by schema version 1 is brought to the present one when opened: the reports'
// totals taken from their stored content, the studies' sums made, nothing lost.
TEST_F(RegisterCommand, ARegisterOfTheFirstSchemaIsMigrated) {
    fs::copy_file(fs::path(MIRELO_REGISTER_TEST_DATA) / "register-v1.sqlite", db_);
    ASSERT_EQ(Query(db_, "PRAGMA user_version"), 1);
    const ToolRun summary = Register({"summary"});
    ASSERT_EQ(summary.status, 0) << summary.err;
    ExpectIncompleteAsPlanned(summary.out);
    EXPECT_EQ(Query(db_, "PRAGMA user_version"), 2);
    EXPECT_EQ(QueryText(db_, "PRAGMA integrity_check"), "ok");
    EXPECT_EQ(Query(db_, "SELECT COUNT(*) FROM report_contents"), 9);
    EXPECT_EQ(Query(db_, "SELECT COUNT(*) FROM study_totals"), 7);
    const ToolRun exported = Register({"export", "events"});
    EXPECT_EQ(exported.status, 0) << exported.err;
    EXPECT_EQ(SortedLines(exported.out).size(), 1u + 18u);
}

// Writers started together on a register that does not exist yet: one of them makes the schema,
// the others wait for it and find it made (each round on a new file).
TEST_F(RegisterCommand, WritersStartedTogetherOnANewRegisterAllSucceed) {
    constexpr int kWriters = 4, kRounds = 3;
    for (int w = 0; w < kWriters; ++w) {
        const std::string uid = "1.2.826.0.1.3680043.10.1332." + std::to_string(w + 1);
        Write(Plan(uid, {"1", "2"}), scratch_ / "in" / (std::to_string(w) + ".dcm"));
    }
    for (int round = 0; round < kRounds; ++round) {
        const fs::path db = scratch_ / ("round" + std::to_string(round) + ".sqlite");
        std::vector<int> statuses(kWriters, -1);
        std::vector<std::thread> writers;
        for (int w = 0; w < kWriters; ++w) {
            writers.emplace_back([&, w] {
                std::string command = "timeout 120 ";
                command += mirelo::test::Quoted(MIRELO_CALC_EXE);
                command += " register import " + mirelo::test::Quoted((scratch_ / "in" / (std::to_string(w) + ".dcm")).string());
                command += " --db " + mirelo::test::Quoted(db.string()) + " --tables " + mirelo::test::Quoted(MIRELO_SOURCE_DATA_DIR);
                command += " >/dev/null 2>" + mirelo::test::Quoted((scratch_ / ("err" + std::to_string(w))).string());
                const int raw = std::system(command.c_str());
                statuses[static_cast<std::size_t>(w)] = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
            });
        }
        for (auto& t : writers) t.join();
        for (int w = 0; w < kWriters; ++w) {
            EXPECT_EQ(statuses[static_cast<std::size_t>(w)], 0) << mirelo::test::Slurp(scratch_ / ("err" + std::to_string(w)));
        }
        EXPECT_EQ(Query(db, "SELECT COUNT(*) FROM reports"), kWriters);
        EXPECT_EQ(Query(db, "SELECT COUNT(*) FROM study_totals WHERE used = 2"), kWriters);
        EXPECT_EQ(QueryText(db, "PRAGMA integrity_check"), "ok");
    }
}

// A kill at any moment of an import leaves a consistent register: whole reports only, and a second
// import completes it, finding the stored reports unchanged.
TEST_F(RegisterCommand, KilledImportLeavesWholeReportsOnly) {
    constexpr int kReports = 200, kEvents = 40;
    for (int r = 0; r < kReports; ++r) {
        std::vector<std::string> daps(kEvents, "1.25");
        std::string name = "r";  // appended, not "r" + ...: GCC 12 at -O3 warns about the temporary
        name += std::to_string(r);
        name += ".dcm";
        Write(Plan("1.2.826.0.1.3680043.10.1340." + std::to_string(r + 1), daps), scratch_ / "many" / name);
    }
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::freopen("/dev/null", "w", stdout);
        const std::string db = db_.string(), folder = (scratch_ / "many").string();
        ::execl(MIRELO_CALC_EXE, MIRELO_CALC_EXE, "register", "import", "--db", db.c_str(), folder.c_str(), "--tables",
                MIRELO_SOURCE_DATA_DIR, static_cast<char*>(nullptr));
        ::_exit(127);
    }
    // Kill it once some reports are committed and before all are.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    long long seen = 0;
    while (std::chrono::steady_clock::now() < deadline) {
        seen = fs::exists(db_) ? Query(db_, "SELECT COUNT(*) FROM reports") : 0;
        if (seen >= 10) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the import ended before it was killed";
    const long long kept = Query(db_, "SELECT COUNT(*) FROM reports");
    EXPECT_GE(kept, 10);
    EXPECT_LT(kept, kReports);
    EXPECT_EQ(QueryText(db_, "PRAGMA integrity_check"), "ok");
    EXPECT_EQ(Query(db_, "SELECT COUNT(*) FROM reports r WHERE (SELECT COUNT(*) FROM events e WHERE e.report_id = r.id) <> " +
                             std::to_string(kEvents)),
              0);
    EXPECT_EQ(Query(db_, "SELECT COUNT(*) FROM events"), kept * kEvents);
    EXPECT_EQ(Query(db_, "SELECT COUNT(*) FROM results"), kept * kEvents);
    EXPECT_EQ(Query(db_, "SELECT COUNT(*) FROM studies"), kept);

    const ToolRun again = Register({"import", (scratch_ / "many").string()});
    EXPECT_EQ(again.status, 0) << again.err;
    EXPECT_EQ(static_cast<long long>(Occurrences(again.out, ": unchanged:")), kept);
    EXPECT_EQ(Query(db_, "SELECT COUNT(*) FROM reports"), kReports);
    EXPECT_EQ(Query(db_, "SELECT COUNT(*) FROM events"), kReports * kEvents);
    EXPECT_EQ(QueryText(db_, "PRAGMA integrity_check"), "ok");
}

}  // namespace
