#include "calc/register_command.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <optional>
#include <sstream>
#include <system_error>

#include "common/sha256.h"
#include "profiles/profiles.h"
#include "register/database.h"
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
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) return std::nullopt;
    return bytes;
}

// The database file, its folder made when it is the default one.
Result<registry::Database, registry::DbError> OpenDatabase(const RegisterOptions& options,
                                                          registry::Durability durability = registry::Durability::Normal) {
    std::filesystem::path file = options.db;
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
        auto loaded = profiles::LoadProfiles(options.profiles);
        if (!loaded) {
            return Failure{Fail(kInputProblem, "--profiles " + profiles::DescribeProfileError(loaded.error()))};
        }
        setup.profiles = std::move(*loaded);
        setup.provenance.profilePath = std::filesystem::absolute(options.profiles).string();
        setup.provenance.profileSha256 = Sha256Hex(FileBytes(options.profiles).value_or(std::string()));
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
    const std::vector<std::filesystem::path> paths(options.paths.begin(), options.paths.end());
    auto outcomes = studies::ReadReports(paths);
    std::size_t unread = 0, added = 0, versions = 0, unchanged = 0, events = 0;
    for (auto& outcome : outcomes) {
        if (!outcome.report) {
            ++unread;
            std::fprintf(stderr, "mirelo-calc register: %s: %s\n", outcome.path.c_str(), outcome.error.c_str());
            continue;
        }
        const auto bytes = FileBytes(outcome.path);
        if (!bytes) {
            ++unread;
            std::fprintf(stderr, "mirelo-calc register: %s: cannot be read again for its checksum\n", outcome.path.c_str());
            continue;
        }
        for (const auto& note : outcome.report->notes) {
            std::fprintf(stderr, "mirelo-calc register: %s: %s\n", outcome.path.c_str(), note.c_str());
        }
        registry::Arrival arrival{std::move(*outcome.report), Sha256Hex(*bytes),
                                  std::filesystem::absolute(outcome.path).string(), registry::NowUtc()};
        outcome.report.reset();
        const auto stored = db->Import(arrival, *setup->tables, setup->profiles, setup->provenance);
        if (!stored) {
            return Fail(kSystemProblem, outcome.path + ": " + registry::DescribeDbError(stored.error()));
        }
        switch (stored->kind) {
            case registry::ImportKind::Added: ++added; break;
            case registry::ImportKind::NewVersion: ++versions; break;
            case registry::ImportKind::Unchanged: ++unchanged; break;
        }
        events += stored->events;
        if (stored->kind == registry::ImportKind::Unchanged) {
            std::printf("%s: unchanged: already held as version %d\n", outcome.path.c_str(), stored->version);
        } else {
            std::printf("%s: %s %d: %zu events, %zu used\n", outcome.path.c_str(), registry::ImportKindName(stored->kind),
                        stored->version, stored->events, stored->used);
        }
    }
    std::fflush(stdout);
    std::fprintf(stderr,
                 "mirelo-calc register: %zu files, %zu not read; %zu reports added, %zu new versions, %zu unchanged; "
                 "%zu events stored\n",
                 outcomes.size(), unread, added, versions, unchanged, events);
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
        auto loaded = registry::LoadLevels(options.levels);
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
    (void)loadTables;
    const auto filter = Filter(options);
    if (!filter) return filter.error();
    auto db = OpenDatabase(options);
    if (!db) return Fail(kSystemProblem, registry::DescribeDbError(db.error()));
    const auto stored = db->Events(*filter);
    if (!stored) return Fail(kSystemProblem, registry::DescribeDbError(stored.error()));
    const bool written = WriteOut([&](std::ostream& out) {
        if (options.format == "json") {
            // The tables named by the checksums the energies were computed with.
            auto named = std::make_unique<Tables>();
            named->attSource.sha256 = stored->provenance.attSha256;
            named->effSource.sha256 = stored->provenance.effSha256;
            studies::WriteBatchJson(out, stored->reports, stored->batch, *named);
        } else if (options.what == "events") {
            studies::WriteEventsCsv(out, stored->batch);
        } else {
            studies::WriteStudiesCsv(out, stored->batch);
        }
    });
    return written ? 0 : Fail(kSystemProblem, "the output could not be written");
}

}  // namespace mirelo::calc
