// `mirelo-calc rdsr` through its process: the corpus made here in, files, stderr and exit status
// out. Every used event must give the strings `mirelo-calc` gives for the same inputs typed by
// hand, every study the sums of its events, every skipped event its reason.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <algorithm>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "corpus.h"
#include "tests/calc/run_tool.h"

namespace {

namespace fs = std::filesystem;

using mirelo::test::ToolRun;

ToolRun Tool(const std::vector<std::string>& args) { return mirelo::test::RunTool(args); }

// A CSV text as rows of fields (quotes as RFC 4180 writes them), header row first.
std::vector<std::vector<std::string>> ParseCsv(const std::string& text) {
    std::vector<std::vector<std::string>> rows(1);
    std::string field;
    bool quoted = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') field += '"', ++i;
            else if (c == '"') quoted = false;
            else field += c;
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            rows.back().push_back(field), field.clear();
        } else if (c == '\n') {
            rows.back().push_back(field), field.clear();
            rows.emplace_back();
        } else {
            field += c;
        }
    }
    rows.pop_back();  // after the last line break
    return rows;
}

// Rows as maps from the header's names; the provenance line before the header is passed over.
std::vector<std::map<std::string, std::string>> Records(const std::string& text) {
    const std::string csv = text.rfind("# ", 0) == 0 ? text.substr(text.find('\n') + 1) : text;
    const auto rows = ParseCsv(csv);
    std::vector<std::map<std::string, std::string>> records;
    for (std::size_t r = 1; r < rows.size(); ++r) {
        EXPECT_EQ(rows[r].size(), rows[0].size()) << "row " << r;
        std::map<std::string, std::string> record;
        for (std::size_t c = 0; c < rows[0].size() && c < rows[r].size(); ++c) {
            record[rows[0][c]] = rows[r][c];
        }
        records.push_back(record);
    }
    return records;
}

std::vector<std::string> ThicknessColumns() {
    std::vector<std::string> names;
    for (int cm = 10; cm <= 30; cm += 2) names.push_back("J_" + std::to_string(cm) + "cm");
    return names;
}

class RdsrCommand : public ::testing::Test {
protected:
    void SetUp() override {
        scratch_ = fs::temp_directory_path() / ("mirelo_rdsr_cmd_" + std::to_string(::getpid()));
        fs::remove_all(scratch_);
        corpus_ = mirelo::rdsrtest::WriteCorpus(scratch_ / "reports");
        vendor_ = mirelo::rdsrtest::WriteVendorCorpus(scratch_ / "vendor");
        std::ofstream(scratch_ / "profiles.toml") << mirelo::rdsrtest::ProfilesToml();
    }
    void TearDown() override { fs::remove_all(scratch_); }
    std::vector<std::string> Args(std::vector<std::string> extra) const {
        std::vector<std::string> args = {"rdsr", (scratch_ / "reports").string(), "--profiles",
                                         (scratch_ / "profiles.toml").string(), "--tables", MIRELO_SOURCE_DATA_DIR};
        args.insert(args.end(), extra.begin(), extra.end());
        return args;
    }
    fs::path scratch_;
    mirelo::rdsrtest::Corpus corpus_;
    mirelo::rdsrtest::VendorCorpus vendor_;
};

std::string ReadText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST_F(RdsrCommand, EventsAsByHandStudiesAsSumsSkippedWithReasons) {
    const fs::path events = scratch_ / "events.csv", studies = scratch_ / "studies.csv";
    const ToolRun run = Tool(Args({"--events", events.string(), "--studies", studies.string()}));
    // Two files are not dose reports: named on stderr, and the exit status says a file was not read.
    EXPECT_EQ(run.status, 1) << run.err;
    for (const auto& name : corpus_.unreadable) {
        EXPECT_NE(run.err.find(name + ": not a"), std::string::npos) << run.err;
    }
    std::ifstream eventsIn(events), studiesIn(studies);
    const auto eventRows = Records(std::string(std::istreambuf_iterator<char>(eventsIn), {}));
    const auto studyRows = Records(std::string(std::istreambuf_iterator<char>(studiesIn), {}));

    // Every event once, in order, used or skipped with its reason, on stderr too.
    ASSERT_EQ(eventRows.size(), corpus_.events.size());
    std::string batch = "kv,angle,inherent,al,cu,area_dose\n";
    std::vector<const std::map<std::string, std::string>*> used;
    for (std::size_t i = 0; i < eventRows.size(); ++i) {
        const auto& row = eventRows[i];
        const auto& expected = corpus_.events[i];
        SCOPED_TRACE(expected.file + " " + expected.uid);
        EXPECT_EQ(fs::path(row.at("file")).filename(), expected.file);
        EXPECT_EQ(row.at("event_uid"), expected.uid);
        const bool duplicate = expected.reason.find("already met in") != std::string::npos;
        EXPECT_EQ(row.at("status"), expected.reason.empty() ? "used" : duplicate ? "duplicate" : "skipped");
        EXPECT_NE(row.at("reason").find(expected.reason), std::string::npos) << row.at("reason");
        if (expected.reason.empty()) {
            used.push_back(&row);
            batch += row.at("kv") + "," + row.at("angle_deg") + "," + row.at("inherent_mm_al") + "," + row.at("al_mm") +
                     "," + row.at("cu_mm") + "," + row.at("dap_gycm2") + "\n";
        } else {
            EXPECT_NE(run.err.find(expected.uid + (duplicate ? " duplicate: " : " skipped: ") + row.at("reason")),
                      std::string::npos) << run.err;
        }
    }

    // The same inputs typed by hand: one calculation per line of a batch file.
    std::ofstream(scratch_ / "by_hand.csv") << batch;
    const ToolRun byHand = Tool({"--batch", (scratch_ / "by_hand.csv").string(), "--format", "csv", "--tables",
                             MIRELO_SOURCE_DATA_DIR});
    ASSERT_EQ(byHand.status, 0) << byHand.err;
    const auto handRows = Records(byHand.out);
    ASSERT_EQ(handRows.size(), used.size());
    for (std::size_t i = 0; i < used.size(); ++i) {
        SCOPED_TRACE(used[i]->at("event_uid"));
        EXPECT_EQ(used[i]->at("photons"), handRows[i].at("photons"));
        for (const auto& column : ThicknessColumns()) {
            EXPECT_EQ(used[i]->at(column), handRows[i].at(column)) << column;
        }
    }
    // And one of them as a single command, as a user would check it.
    const auto& first = *used.front();
    const ToolRun single = Tool({"--kv", first.at("kv"), "--angle", first.at("angle_deg"), "--inherent",
                             first.at("inherent_mm_al"), "--al", first.at("al_mm"), "--cu", first.at("cu_mm"),
                             "--area-dose", first.at("dap_gycm2"), "--format", "csv", "--tables", MIRELO_SOURCE_DATA_DIR});
    ASSERT_EQ(single.status, 0) << single.err;
    const auto singleRows = Records(single.out);
    ASSERT_EQ(singleRows.size(), 11u);
    EXPECT_EQ(singleRows[0].at("J"), first.at("J_10cm"));
    EXPECT_EQ(singleRows[10].at("J"), first.at("J_30cm"));

    // Each study: the sums of its events read back from the events file, in the same order.
    ASSERT_EQ(studyRows.size(), 4u);
    for (const auto& study : studyRows) {
        SCOPED_TRACE(study.at("study_uid"));
        std::size_t nUsed = 0, nSkipped = 0;
        double dap = 0;
        std::vector<double> joules(11, 0.0);
        for (const auto& row : eventRows) {
            if (row.at("study_uid") != study.at("study_uid")) continue;
            if (row.at("status") != "used") {
                nSkipped += row.at("status") == "skipped" ? 1 : 0;
                continue;
            }
            ++nUsed;
            dap += std::stod(row.at("dap_gycm2"));
            for (std::size_t j = 0; j < 11; ++j) joules[j] += std::stod(row.at(ThicknessColumns()[j]));
        }
        EXPECT_EQ(std::stoul(study.at("events_used")), nUsed);
        EXPECT_EQ(std::stoul(study.at("events_skipped")), nSkipped);
        EXPECT_NEAR(std::stod(study.at("dap_gycm2")), dap, 1e-12 * dap);
        for (std::size_t j = 0; j < 11; ++j) {
            EXPECT_EQ(std::stod(study.at(ThicknessColumns()[j])), joules[j]) << ThicknessColumns()[j];
        }
    }
}

TEST_F(RdsrCommand, JsonHoldsTheSameEventsAndStudies) {
    const fs::path events = scratch_ / "events.csv";
    const ToolRun csv = Tool(Args({"--events", events.string()}));
    const ToolRun json = Tool(Args({"--format", "json"}));
    EXPECT_EQ(json.status, 1);
    const auto doc = nlohmann::json::parse(json.out);
    std::ifstream in(events);
    const auto rows = Records(std::string(std::istreambuf_iterator<char>(in), {}));
    ASSERT_EQ(doc["events"].size(), rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const auto& e = doc["events"][i];
        EXPECT_EQ(e["event_uid"], rows[i].at("event_uid"));
        EXPECT_EQ(e["status"], rows[i].at("status"));
        if (rows[i].at("status") == "used") {
            EXPECT_EQ(e["volume_dose"][0]["J"].get<double>(), std::stod(rows[i].at("J_10cm")));
        } else {
            EXPECT_EQ(e["reason"], rows[i].at("reason"));
        }
    }
    EXPECT_EQ(doc["studies"].size(), 4u);
    // The run that made it, as in the CSV's first line.
    const auto& run = doc["run"];
    EXPECT_EQ(run["program"].get<std::string>().rfind("mirelo-calc ", 0), 0u);
    EXPECT_NE(run["command_line"].get<std::string>().find("rdsr " + (scratch_ / "reports").string()), std::string::npos);
    EXPECT_EQ(run["tables"]["effEA.dat"]["sha256"].get<std::string>().size(), 64u);
    EXPECT_EQ(run["profiles"]["sha256"].get<std::string>().size(), 64u);
    std::ifstream csvIn(events);
    std::string provenance;
    std::getline(csvIn, provenance);
    EXPECT_NE(provenance.find(run["profiles"]["sha256"].get<std::string>()), std::string::npos) << provenance;
    std::size_t unread = 0;
    for (const auto& f : doc["files"]) unread += f["read"].get<bool>() || f["skipped"].get<bool>() ? 0 : 1;
    EXPECT_EQ(unread, corpus_.unreadable.size());
}

struct Refusal {
    std::vector<std::string> args;
    int status;
    std::string message;
};

TEST_F(RdsrCommand, RefusalsAndExitStatuses) {
    std::ofstream(scratch_ / "bad.toml") << "[[device]]\nname = \"x\"\nobserver_uid = \"1\"\nangle = 12\n";
    const std::string tables = MIRELO_SOURCE_DATA_DIR;
    const auto complete = vendor_.complete;
    const auto other = [&](const char* name) { return (vendor_.folder / name).string(); };
    const auto out = (scratch_ / "out.csv").string();
    const auto noFolder = (scratch_ / "no_such_folder" / "events.csv").string();
    const Refusal cases[] = {
        // Every event used; images, DICOMDIR and CT reports beside it are not errors.
        {{"rdsr", complete, other("z_image.dcm"), other("DICOMDIR"), other("y_ct.dcm"), "--tables", tables}, 0,
         "DICOMDIR: skipped"},
        // Results written, but a study short of its report's total, or an event skipped.
        {{"rdsr", vendor_.incomplete, "--tables", tables}, 3, "incomplete: the events sum to 2 Gy.cm2, the report's total is 2.5"},
        {{"rdsr", other("u_refused.dcm"), "--tables", tables}, 3, "unit 'Gy.cm' unknown"},
        {{"rdsr", vendor_.incomplete, "--allow-incomplete", "--tables", tables}, 0, "incomplete"},
        // A file not read: 1, whatever else is incomplete, and the others' results still written.
        {{"rdsr", vendor_.incomplete, vendor_.deep, "--tables", tables}, 1, "nested more than 200 levels"},
        {{"rdsr", complete, (scratch_ / "missing.dcm").string(), "--tables", tables}, 1, "missing.dcm: cannot be read"},
        {{"rdsr", complete, "--tables", (scratch_ / "reports").string()}, 1, "Att_coeff2021.dat"},
        // An output that cannot be written is named at once, with the system's reason, before reading.
        {{"rdsr", complete, "--events", noFolder, "--tables", tables}, 1, "events.csv: cannot be written: No such file or directory"},
        {{"rdsr", complete, "--studies", scratch_.string(), "--tables", tables}, 1, "cannot be written: is a folder"},
        // Usage and profile mistakes.
        {{"rdsr", complete, "--events", out, "--studies", out, "--tables", tables}, 2, "--events and --studies name the same file"},
        {{"rdsr", complete, "--events", out, "--studies", (scratch_ / "." / "out.csv").string(), "--tables", tables}, 2,
         "name the same file"},
        {{"rdsr", complete, "--profiles", (scratch_ / "bad.toml").string(), "--tables", tables}, 2,
         "bad.toml:4:9: unknown key 'angle'"},
        {{"rdsr"}, 2, "PATH"},
        // A profile that matched no device is named once at the end; it does not change the status.
        {{"rdsr", complete, "--profiles", (scratch_ / "profiles.toml").string(), "--tables", tables}, 0,
         "warning: profile 'Biplane A' (" + (scratch_ / "profiles.toml").string() + " line 7) matched no device in this run"},
    };
    for (const Refusal& c : cases) {
        const ToolRun run = Tool(c.args);
        SCOPED_TRACE(c.message);
        EXPECT_EQ(run.status, c.status) << run.err;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
        if (c.status == 2 || c.message.find("cannot be written") != std::string::npos) {
            EXPECT_EQ(run.err.find(" files, "), std::string::npos) << "read although refused:\n" << run.err;
        }
    }
    // The patient's name and ID only when asked for.
    const ToolRun kept = Tool({"rdsr", complete, "--keep-patient-id", "--tables", tables});
    const auto keptRows = Records(kept.out);
    ASSERT_EQ(keptRows.size(), 1u);
    EXPECT_EQ(keptRows[0].at("patient_name") + " " + keptRows[0].at("patient_id"), "Test^Patient MIRELO-TEST");
    // The deep file beside a good one: the good one's study is written.
    const ToolRun deep = Tool({"rdsr", vendor_.incomplete, vendor_.deep, "--tables", tables});
    const auto studies = Records(deep.out);
    ASSERT_EQ(studies.size(), 1u);
    EXPECT_EQ(studies[0].at("dap_gycm2"), "2");
}

// What real reports do, one behaviour per file: every event used, skipped with its reason or a
// duplicate; every study held against its report's total; every other file named.
TEST_F(RdsrCommand, VendorReportsEveryEventUsedOrVisiblyNot) {
    const fs::path events = scratch_ / "events.csv", studies = scratch_ / "studies.csv";
    const ToolRun run = Tool({"rdsr", vendor_.folder.string(), "--events", events.string(), "--studies",
                              studies.string(), "--tables", MIRELO_SOURCE_DATA_DIR});
    EXPECT_EQ(run.status, 1) << run.err;  // the deep file
    for (const auto& f : vendor_.notRead) {
        EXPECT_NE(run.err.find(f.message), std::string::npos) << f.file << "\n" << run.err;
    }
    EXPECT_NE(run.err.find("r_replaced.dcm: text bytes that are not valid in 'ISO_IR 192' replaced by U+FFFD"),
              std::string::npos) << run.err;
    const std::string eventsText = ReadText(events), studiesText = ReadText(studies);
    for (const std::string* text : {&eventsText, &studiesText}) {
        EXPECT_EQ(text->rfind("# mirelo-calc ", 0), 0u) << text->substr(0, 200);
        const std::string provenance = text->substr(0, text->find('\n'));
        for (const char* part : {"; command: mirelo-calc rdsr ", "Att_coeff2021.dat sha256 ", "; profiles: none", "; run at 20"}) {
            EXPECT_NE(provenance.find(part), std::string::npos) << part << "\n" << provenance;
        }
    }
    // One warning per device on the default conditions, not one per event.
    const std::string warning = "warning: device 'Mirelo Test Angio 1 (SN SN-1)': ";
    EXPECT_NE(run.err.find(warning), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find(warning), run.err.rfind(warning)) << run.err;

    const auto rows = Records(eventsText);
    EXPECT_EQ(rows.size(), vendor_.events.size());
    for (const auto& e : vendor_.events) {
        SCOPED_TRACE(e.file + " " + e.uid);
        const auto row = std::find_if(rows.begin(), rows.end(), [&](const auto& r) {
            return fs::path(r.at("file")).filename() == e.file && r.at("event_uid") == e.uid;
        });
        ASSERT_NE(row, rows.end());
        EXPECT_EQ(row->at("status"), e.status);
        EXPECT_NE(row->at("reason").find(e.reason), std::string::npos) << row->at("reason");
        if (e.status == "used") {
            EXPECT_EQ(row->at("kv"), e.kv);
            EXPECT_EQ(row->at("kv_source"), e.kvSource);
            EXPECT_EQ(row->at("dap_gycm2"), e.dap);
            EXPECT_FALSE(row->at("J_20cm").empty());
        } else {
            EXPECT_TRUE(row->at("J_20cm").empty());
        }
        if (!e.protocol.empty()) {
            EXPECT_EQ(row->at("protocol"), e.protocol);
        }
    }
    // The event that gives its duration, pulses, dose at the reference point and field area.
    const auto full = std::find_if(rows.begin(), rows.end(), [&](const auto& r) {
        return fs::path(r.at("file")).filename() == "n_nofilter.dcm" && r.at("event_uid") == "1.2.826.0.1.3680043.10.1320.3.1";
    });
    ASSERT_NE(full, rows.end());
    EXPECT_EQ(full->at("datetime") + " " + full->at("duration_s") + " " + full->at("pulses") + " " + full->at("dose_rp_gy") +
                  " " + full->at("field_area_cm2"),
              "2016-08-18T19:26:17.043 3.5 35 0.0012 144");
    const auto studyRows = Records(studiesText);
    EXPECT_EQ(studyRows.size(), vendor_.studies.size());
    for (const auto& s : vendor_.studies) {
        SCOPED_TRACE(s.uid);
        const auto row = std::find_if(studyRows.begin(), studyRows.end(), [&](const auto& r) { return r.at("study_uid") == s.uid; });
        ASSERT_NE(row, studyRows.end());
        EXPECT_EQ(row->at("status"), s.status) << row->at("reason");
        EXPECT_EQ(row->at("dap_gycm2"), s.dap);
        EXPECT_EQ(row->at("report_dap_total_gycm2"), s.reportDap);
        EXPECT_EQ(row->at("shortfall_gycm2"), s.shortfall);
        EXPECT_EQ(row->at("shortfall_percent"), s.shortfallPercent);
        EXPECT_EQ(row->at("J_20cm").empty(), s.dap.empty());  // no used event: empty energies, not zeros
        if (!s.description.empty()) {
            EXPECT_EQ(row->at("study_description"), s.description);
        }
        EXPECT_EQ(row->at("study_datetime"), "2016-08-18T19:26:17.043");
        EXPECT_EQ(row->at("accession_number"), "ACC-1");
        EXPECT_EQ(row->at("patient_age") + row->at("patient_sex") + row->at("patient_weight_kg"), "054YF71.5");
        EXPECT_EQ(row->count("patient_id"), 0u);  // only with --keep-patient-id
    }
}

}  // namespace
