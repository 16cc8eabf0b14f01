#pragma once

// The dose register: every report received, each study once, every event with the computation that
// gave its energies. One SQLite file; the schema uses portable SQL types only, so that a server
// database can take its place behind this interface later.
#include <array>
#include <cstddef>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/result.h"
#include "dose/volume_dose.h"
#include "profiles/profiles.h"
#include "studies/studies.h"
#include "tables/tables.h"

struct sqlite3;

namespace mirelo::registry {

inline constexpr int kSchemaVersion = 2;

struct DbError {
    std::string what;     // the step that failed ("opening", "storing a report", ...)
    std::string message;  // the database's own words
};
std::string DescribeDbError(const DbError& error);

// How hard a commit is made durable: Normal survives a killed process (the import can be repeated
// after a power cut); Full also survives a power cut, for the listener that has told the sender
// "stored" once the commit returns.
enum class Durability { Normal, Full };

// What produced a set of energies.
struct Provenance {
    std::string attSha256, effSha256;  // the two tables
    std::string profilePath, profileSha256;  // empty without a profile file
    std::string programVersion;
};

enum class ImportKind {
    Added,       // a report the register did not hold
    NewVersion,  // the same SOP Instance UID with other content: the older version is superseded
    Unchanged,   // this content is held already (whatever the file's transfer syntax): nothing stored
};
const char* ImportKindName(ImportKind kind);  // "added", "new version", "unchanged"

struct ImportResult {
    ImportKind kind = ImportKind::Added;
    int version = 1;
    std::size_t events = 0, used = 0;
};

// A report as it arrived: what the reading stage made of it and where it came from.
struct Arrival {
    rdsr::Report report;
    std::string sha256;      // of the file's bytes
    std::string source;      // the file's path, or "dicom:CALLING_AE@HOST"
    std::string receivedAt;  // ISO 8601, UTC
};

// Which studies to look at. Dates are YYYYMMDD, inclusive; empty for no bound.
struct StudyFilter {
    std::string from, to;
    std::string device;  // a device text (studies::DeviceText) or observer UID; empty for all
};

// One study as the register holds it: the current version of every report, each irradiation event
// counted once, computed with each report's current computation.
struct StoredStudy {
    std::string studyUid;
    std::string accessionNumber;
    std::string date;      // YYYYMMDD
    std::string device;    // of its first report
    std::string protocol;  // of its first event
    std::vector<std::string> devices, sources;
    std::size_t used = 0, skipped = 0;
    std::size_t repeats = 0;  // events met before in an earlier report of the study: counted there
    double dapGyCm2 = 0;
    std::optional<double> reportedDapGyCm2;  // the reports' own totals, summed
    double photons = 0;
    std::array<double, kThicknesses> joules{};
    std::optional<double> fluoroscopySeconds;  // where the reports give durations
    // Complete or incomplete by the rule of `rdsr`'s studies (studies::JudgeStudy), with its reason.
    studies::StudyStatus status = studies::StudyStatus::Complete;
    std::string reason;
};

// The current reports as the reading stage made them (path = where each came from), for the
// computing stage and the writers of `rdsr`; and the provenance of their stored results.
struct StoredReports {
    std::vector<studies::ReadOutcome> reports;
    std::vector<Provenance> computedWith;  // one entry per distinct computation among them
};

class Database {
public:
    static Result<Database, DbError> Open(const std::filesystem::path& file, Durability durability = Durability::Normal);
    Database(Database&& other) noexcept;
    Database& operator=(Database&& other) noexcept;
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;
    ~Database();

    int SchemaVersion() const;

    // Stores one report and its computed events in one transaction.
    Result<ImportResult, DbError> Import(const Arrival& arrival, const Tables& tables,
                                         const profiles::Profiles& profiles, const Provenance& provenance);

    // Computes every current report's events again from their stored values (the files are not read
    // again) under a new computation; the older results stay with their provenance.
    struct RecomputeResult {
        std::size_t reports = 0, events = 0, used = 0;
        bool changedNothing = false;  // the current computation already had this provenance
    };
    Result<RecomputeResult, DbError> Recompute(const Tables& tables, const profiles::Profiles& profiles,
                                               const Provenance& provenance);

    Result<std::vector<StoredStudy>, DbError> Studies(const StudyFilter& filter) const;
    Result<StoredReports, DbError> Reports(const StudyFilter& filter) const;

    struct Counts {
        std::size_t reports = 0, currentReports = 0, studies = 0, events = 0, results = 0, computations = 0;
    };
    Result<Counts, DbError> Count() const;

private:
    explicit Database(sqlite3* db) : db_(db) {}
    sqlite3* db_ = nullptr;
};

// The register's default file: mirelo-register.sqlite in the user's data folder
// ($XDG_DATA_HOME/mirelo, else ~/.local/share/mirelo; %LOCALAPPDATA%\Mirelo on Windows).
std::filesystem::path DefaultDatabasePath();

// The present time as ISO 8601 UTC, e.g. 2026-12-07T15:34:24Z.
std::string NowUtc();

}  // namespace mirelo::registry
