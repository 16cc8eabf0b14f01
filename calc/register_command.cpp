#include "calc/register_command.h"

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <optional>
#include <sstream>
#include <system_error>

#include "calc/stop_request.h"
#include "common/path_text.h"
#include "common/sha256.h"
#include "profiles/profiles.h"
#include "register/database.h"
#include "register/listener.h"
#include "register/summary.h"
#include "studies/output.h"
#include "studies/studies.h"
#include "tables/table_error_text.h"

namespace mirelo::calc {
namespace {

constexpr int kSystemProblem = 1;
constexpr int kInputProblem = 2;

int Fail(int status, const std::string& message) {
    std::fprintf(stderr, "mirelo-calc register: %s\n", message.c_str());
    return status;
}

std::optional<std::string> FileBytes(const std::string& path) {
    std::ifstream in(PathFromText(path), std::ios::binary);
    if (!in) return std::nullopt;
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) return std::nullopt;
    return bytes;
}

// The database file, its folder made when it is the default one.
Result<registry::Database, registry::DbError> OpenDatabase(const RegisterOptions& options,
                                                          registry::Durability durability = registry::Durability::Normal) {
    std::filesystem::path file = PathFromText(options.db);
    if (file.empty()) {
        file = registry::DefaultDatabasePath();
        std::error_code ec;
        std::filesystem::create_directories(file.parent_path(), ec);
    }
    return registry::Database::Open(file, durability);
}

// The profiles and their provenance, or the exit status of the failure.
struct Setup {
    profiles::Profiles profiles;
    std::unique_ptr<Tables> tables;
    registry::Provenance provenance;
};

Result<Setup, int> Prepare(const RegisterOptions& options, const TableLoader& loadTables) {
    Setup setup;
    if (!options.profiles.empty()) {
        auto loaded = profiles::LoadProfiles(PathFromText(options.profiles));
        if (!loaded) {
            return Failure{Fail(kInputProblem, "--profiles " + profiles::DescribeProfileError(loaded.error()))};
        }
        setup.provenance.profilePath = PathText(std::filesystem::absolute(PathFromText(options.profiles)));
        setup.provenance.profileSha256 = loaded->sha256;
        setup.profiles = std::move(*loaded);
    }
    auto tables = loadTables();
    if (!tables) {
        return Failure{Fail(kSystemProblem, DescribeTableError(tables.error()))};
    }
    setup.tables = std::make_unique<Tables>(std::move(*tables));
    setup.provenance.attSha256 = setup.tables->attSource.sha256;
    setup.provenance.effSha256 = setup.tables->effSource.sha256;
    setup.provenance.programVersion = options.programVersion;
    return setup;
}

// YYYY-MM-DD or YYYYMMDD as YYYYMMDD; empty stays empty.
std::optional<std::string> DateArgument(const std::string& text) {
    std::string digits;
    for (char c : text) {
        if (c >= '0' && c <= '9') digits += c;
        else if (c != '-') return std::nullopt;
    }
    if (text.empty()) return digits;
    if (digits.size() != 8 || (text.size() != 8 && text.size() != 10)) return std::nullopt;
    const int month = std::stoi(digits.substr(4, 2)), day = std::stoi(digits.substr(6, 2));
    if (month < 1 || month > 12 || day < 1 || day > 31) return std::nullopt;
    return digits;
}

Result<registry::StudyFilter, int> Filter(const RegisterOptions& options) {
    const auto from = DateArgument(options.from);
    const auto to = DateArgument(options.to);
    if (!from) return Failure{Fail(kInputProblem, "--from \"" + options.from + "\": not a date (YYYY-MM-DD)")};
    if (!to) return Failure{Fail(kInputProblem, "--to \"" + options.to + "\": not a date (YYYY-MM-DD)")};
    return registry::StudyFilter{*from, *to, options.device};
}

// Reads one report file with the reading stage of `rdsr` and stores it: the result, or why not.
struct OneImport {
    std::optional<registry::ImportResult> stored;
    bool notAReport = false;
    bool databaseFailed = false;
    std::string error;
};

OneImport ImportOutcome(registry::Database& db, studies::ReadOutcome& outcome, const std::string& source, const Setup& setup) {
    if (!outcome.report) return {std::nullopt, true, false, outcome.error};
    const auto bytes = FileBytes(outcome.path);
    if (!bytes) return {std::nullopt, false, false, "cannot be read again for its checksum"};
    registry::Arrival arrival{std::move(*outcome.report), Sha256Hex(*bytes), source, registry::NowUtc()};
    outcome.report.reset();
    const auto stored = db.Import(arrival, *setup.tables, setup.profiles, setup.provenance);
    if (!stored) return {std::nullopt, false, true, registry::DescribeDbError(stored.error())};
    return {*stored, false, false, {}};
}

std::string ImportLine(const std::string& path, const registry::ImportResult& r) {
    char line[64];
    if (r.kind == registry::ImportKind::Unchanged) {
        std::snprintf(line, sizeof line, ": unchanged: already held as version %d", r.version);
    } else {
        std::snprintf(line, sizeof line, ": %s %d: %zu events, %zu used", registry::ImportKindName(r.kind), r.version,
                      r.events, r.used);
    }
    return path + line;
}

// Set on a request to stop (calc/stop_request.h): the listener finishes the association in hand and
// stops.
std::atomic<bool> stopRequested{false};

template <class Writer>
bool WriteOut(Writer&& write) {
    write(std::cout);
    std::cout.flush();
    return std::cout.good();
}

}  // namespace

int RunRegisterImport(const RegisterOptions& options, const TableLoader& loadTables) {
    auto setup = Prepare(options, loadTables);
    if (!setup) return setup.error();
    auto db = OpenDatabase(options);
    if (!db) return Fail(kSystemProblem, registry::DescribeDbError(db.error()));

    // The reading stage of `rdsr`: every file is read first, then each report is stored in a
    // transaction of its own.
    const auto paths = PathsFromText(options.paths);
    auto outcomes = studies::ReadReports(paths);
    std::size_t unread = 0, skippedFiles = 0, added = 0, versions = 0, unchanged = 0, events = 0;
    for (auto& outcome : outcomes) {
        if (outcome.report) {
            for (const auto& note : outcome.report->notes) {
                std::fprintf(stderr, "mirelo-calc register: %s: %s\n", outcome.path.c_str(), note.c_str());
            }
        }
        if (!outcome.report && outcome.skipped) {
            // Another kind of DICOM file (an image, a DICOMDIR): normal in a PACS export.
            ++skippedFiles;
            std::fprintf(stderr, "mirelo-calc register: %s: %s\n", outcome.path.c_str(), outcome.error.c_str());
            continue;
        }
        const OneImport done = ImportOutcome(*db, outcome, PathText(std::filesystem::absolute(PathFromText(outcome.path))), *setup);
        if (!done.stored) {
            if (done.databaseFailed) {
                return Fail(kSystemProblem, outcome.path + ": " + done.error);
            }
            ++unread;
            std::fprintf(stderr, "mirelo-calc register: %s: %s\n", outcome.path.c_str(), done.error.c_str());
            continue;
        }
        switch (done.stored->kind) {
            case registry::ImportKind::Added: ++added; break;
            case registry::ImportKind::NewVersion: ++versions; break;
            case registry::ImportKind::Unchanged: ++unchanged; break;
        }
        events += done.stored->events;
        std::printf("%s\n", ImportLine(outcome.path, *done.stored).c_str());
    }
    std::fflush(stdout);
    std::fprintf(stderr,
                 "mirelo-calc register: %zu files, %zu not read, %zu other DICOM skipped; %zu reports added, %zu new "
                 "versions, %zu unchanged; %zu events stored\n",
                 outcomes.size(), unread, skippedFiles, added, versions, unchanged, events);
    return unread > 0 ? kSystemProblem : 0;
}

int RunRegisterSummary(const RegisterOptions& options) {
    const auto filter = Filter(options);
    if (!filter) return filter.error();
    const auto by = options.by == "protocol" ? registry::GroupBy::Protocol
                    : options.by == "month"  ? registry::GroupBy::Month
                                             : registry::GroupBy::Device;
    int thickness = 0;
    try {
        std::size_t used = 0;
        thickness = std::stoi(options.thickness, &used);
        if (used != options.thickness.size()) thickness = 0;
    } catch (const std::exception&) {
        thickness = 0;
    }
    if (thickness < 10 || thickness > 30 || thickness % 2 != 0) {
        return Fail(kInputProblem, "--thickness \"" + options.thickness + "\": one of 10, 12, ... 30 (cm)");
    }
    std::optional<registry::Levels> levels;
    if (!options.levels.empty()) {
        auto loaded = registry::LoadLevels(PathFromText(options.levels));
        if (!loaded) return Fail(kInputProblem, "--levels " + profiles::DescribeProfileError(loaded.error()));
        levels = std::move(*loaded);
    }
    auto db = OpenDatabase(options);
    if (!db) return Fail(kSystemProblem, registry::DescribeDbError(db.error()));
    const auto stored = db->Studies(*filter);
    if (!stored) return Fail(kSystemProblem, registry::DescribeDbError(stored.error()));
    const auto summary = registry::Summarise(*stored, by, thickness, levels ? &*levels : nullptr);
    const bool written = WriteOut([&](std::ostream& out) {
        if (options.format == "csv") registry::WriteSummaryCsv(out, summary);
        else if (options.format == "json") registry::WriteSummaryJson(out, summary);
        else registry::WriteSummaryText(out, summary);
    });
    return written ? 0 : Fail(kSystemProblem, "the output could not be written");
}

int RunRegisterRecompute(const RegisterOptions& options, const TableLoader& loadTables) {
    auto setup = Prepare(options, loadTables);
    if (!setup) return setup.error();
    auto db = OpenDatabase(options);
    if (!db) return Fail(kSystemProblem, registry::DescribeDbError(db.error()));
    const auto done = db->Recompute(*setup->tables, setup->profiles, setup->provenance);
    if (!done) return Fail(kSystemProblem, registry::DescribeDbError(done.error()));
    if (done->changedNothing) {
        std::fprintf(stderr, "mirelo-calc register: every report is computed with these tables and profiles already\n");
    } else {
        std::fprintf(stderr, "mirelo-calc register: %zu reports recomputed: %zu events, %zu used\n", done->reports,
                     done->events, done->used);
    }
    return 0;
}

int RunRegisterExport(const RegisterOptions& options, const TableLoader& loadTables) {
    const auto filter = Filter(options);
    if (!filter) return filter.error();
    auto setup = Prepare(options, loadTables);
    if (!setup) return setup.error();
    auto db = OpenDatabase(options);
    if (!db) return Fail(kSystemProblem, registry::DescribeDbError(db.error()));
    const auto stored = db->Reports(*filter);
    if (!stored) return Fail(kSystemProblem, registry::DescribeDbError(stored.error()));
    // The computing stage of `rdsr` over the stored reports (the files are not read again), so the
    // lines are those `rdsr` writes for the same reports with these tables and profiles.
    for (const registry::Provenance& p : stored->computedWith) {
        if (p.attSha256 != setup->provenance.attSha256 || p.effSha256 != setup->provenance.effSha256 ||
            p.profileSha256 != setup->provenance.profileSha256) {
            std::fprintf(stderr,
                         "mirelo-calc register: some stored results were computed with other tables or profiles "
                         "(%s); the export uses these, run recompute to store them\n",
                         p.profilePath.empty() ? "no profile file" : p.profilePath.c_str());
            break;
        }
    }
    const auto batch = studies::ComputeStudies(*setup->tables, stored->reports, setup->profiles);
    studies::OutputOptions out;
    out.run = {"mirelo-calc " + options.programVersion, options.commandLine, registry::NowUtc(), options.profiles,
               setup->profiles.sha256};
    const bool written = WriteOut([&](std::ostream& stream) {
        if (options.format == "json") {
            studies::WriteBatchJson(stream, stored->reports, batch, *setup->tables, out);
        } else if (options.what == "events") {
            studies::WriteEventsCsv(stream, batch, *setup->tables, out);
        } else {
            studies::WriteStudiesCsv(stream, batch, *setup->tables, out);
        }
    });
    return written ? 0 : Fail(kSystemProblem, "the output could not be written");
}

int RunRegisterListen(const RegisterOptions& options, const TableLoader& loadTables) {
    registry::ListenerConfig config;
    config.port = options.port;
    config.aet = options.aet;
    config.bind = options.bind;
    if (config.aet.empty() || config.aet.size() > 16 || !registry::ParseCaller(config.aet)) {
        return Fail(kInputProblem, "--aet \"" + options.aet + "\": an AE title of 1 to 16 characters");
    }
    for (const auto& text : options.allow) {
        const auto caller = registry::ParseCaller(text);
        if (!caller) return Fail(kInputProblem, "--allow \"" + text + "\": not AET or AET@IPv4-ADDRESS");
        config.allow.push_back(*caller);
    }
    double megabytes = 0;
    try {
        std::size_t used = 0;
        megabytes = std::stod(options.maxSizeMb, &used);
        if (used != options.maxSizeMb.size()) megabytes = 0;
    } catch (const std::exception&) {
        megabytes = 0;
    }
    if (!(megabytes > 0 && megabytes <= 4096)) {
        return Fail(kInputProblem, "--max-size \"" + options.maxSizeMb + "\": above 0 up to 4096 (MB)");
    }
    config.maxObjectBytes = static_cast<std::uintmax_t>(megabytes * 1024 * 1024);
    auto setup = Prepare(options, loadTables);
    if (!setup) return setup.error();
    // Every C-STORE is answered "stored" only once its commit is durable.
    auto db = OpenDatabase(options, registry::Durability::Full);
    if (!db) return Fail(kSystemProblem, registry::DescribeDbError(db.error()));
    const std::filesystem::path dbFile = options.db.empty() ? registry::DefaultDatabasePath() : PathFromText(options.db);
    config.archive = options.archive.empty() ? std::filesystem::absolute(dbFile).parent_path() / "archive"
                                             : PathFromText(options.archive);

    const registry::Logger log = [](const std::string& line) {
        std::fprintf(stderr, "mirelo-calc register listen: %s\n", line.c_str());
        std::fflush(stderr);
    };
    const registry::Receiver receive = [&](const std::filesystem::path& file, const std::string& source) {
        auto outcomes = studies::ReadReports({file}, 1);
        if (outcomes.size() != 1) return registry::Verdict{registry::Verdict::Kind::Failed, "the file was not read"};
        const OneImport done = ImportOutcome(*db, outcomes.front(), source, *setup);
        if (!done.stored) {
            log(PathText(file) + ": " + done.error);
            return registry::Verdict{done.notAReport ? registry::Verdict::Kind::NotAReport : registry::Verdict::Kind::Failed,
                                     done.error};
        }
        log(ImportLine(PathText(file), *done.stored) + " from " + source);
        if (done.stored->kind == registry::ImportKind::Unchanged) {
            std::error_code ec;
            std::filesystem::remove(file, ec);  // the archive holds the stored copy already
        }
        return registry::Verdict{};
    };
    SetOnStopRequest(stopRequested);
    const auto ran = registry::Listen(config, receive, log, stopRequested);
    if (!ran) return Fail(kSystemProblem, ran.error());
    return 0;
}

}  // namespace mirelo::calc
