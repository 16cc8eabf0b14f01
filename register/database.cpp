#include "register/database.h"

#include "common/path_text.h"
#include "common/sha256.h"
#include "register/platform.h"
#include "register/report_json.h"

#include <sqlite3.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <map>
#include <set>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>

namespace mirelo::registry {
namespace {

using json = nlohmann::json;

// Each migration takes the schema from version i to i + 1: its SQL, then (where the new columns
// hold what only the stored reports know) a step in code. Types are the portable ones (INTEGER,
// SMALLINT, VARCHAR, CHAR, DOUBLE PRECISION); a server database would add identity columns where
// SQLite's INTEGER PRIMARY KEY numbers the rows.
bool FillFromContents(sqlite3* db);
bool RefreshStudyTotals(sqlite3* db, std::optional<std::int64_t> study);

struct Migration {
    const char* sql;
    bool (*then)(sqlite3*);
};
const Migration kMigrations[] = {
    {
    R"sql(
CREATE TABLE devices (
  id INTEGER PRIMARY KEY,
  observer_uid VARCHAR(64) NOT NULL,
  manufacturer VARCHAR(64) NOT NULL,
  model VARCHAR(64) NOT NULL,
  serial VARCHAR(64) NOT NULL,
  name VARCHAR(64) NOT NULL,
  UNIQUE (observer_uid, manufacturer, model, serial)
);
CREATE TABLE studies (
  id INTEGER PRIMARY KEY,
  study_uid VARCHAR(64) UNIQUE,
  accession_number VARCHAR(16),
  study_date CHAR(8)
);
CREATE TABLE computations (
  id INTEGER PRIMARY KEY,
  att_sha256 CHAR(64) NOT NULL,
  eff_sha256 CHAR(64) NOT NULL,
  profile_path VARCHAR(4096) NOT NULL,
  profile_sha256 VARCHAR(64) NOT NULL,
  program_version VARCHAR(32) NOT NULL,
  created_at VARCHAR(32) NOT NULL
);
CREATE TABLE reports (
  id INTEGER PRIMARY KEY,
  sop_instance_uid VARCHAR(64) NOT NULL,
  version INTEGER NOT NULL,
  file_sha256 CHAR(64) NOT NULL,
  content_sha256 CHAR(64) NOT NULL,
  content TEXT NOT NULL,
  received_at VARCHAR(32) NOT NULL,
  source VARCHAR(4096) NOT NULL,
  study_id INTEGER NOT NULL REFERENCES studies (id),
  device_id INTEGER NOT NULL REFERENCES devices (id),
  computation_id INTEGER NOT NULL REFERENCES computations (id),
  superseded_by INTEGER REFERENCES reports (id),
  UNIQUE (sop_instance_uid, version)
);
CREATE INDEX reports_study ON reports (study_id);
CREATE INDEX reports_content ON reports (sop_instance_uid, content_sha256);
CREATE TABLE events (
  id INTEGER PRIMARY KEY,
  report_id INTEGER NOT NULL REFERENCES reports (id),
  seq INTEGER NOT NULL,
  event_uid VARCHAR(64),
  event_datetime VARCHAR(32) NOT NULL,
  type_code VARCHAR(16) NOT NULL,
  type_scheme VARCHAR(16) NOT NULL,
  type_meaning VARCHAR(64) NOT NULL,
  type_kind VARCHAR(16) NOT NULL,
  plane_code VARCHAR(16) NOT NULL,
  plane_scheme VARCHAR(16) NOT NULL,
  plane_meaning VARCHAR(64) NOT NULL,
  plane_kind VARCHAR(8) NOT NULL,
  protocol VARCHAR(256) NOT NULL,
  kvp DOUBLE PRECISION,
  dap_gycm2 DOUBLE PRECISION,
  dap_text VARCHAR(64) NOT NULL,
  dap_problem VARCHAR(256) NOT NULL,
  filters VARCHAR(4096) NOT NULL,
  duration_s DOUBLE PRECISION,
  UNIQUE (report_id, seq),
  UNIQUE (report_id, event_uid)
);
CREATE TABLE results (
  event_id INTEGER NOT NULL REFERENCES events (id),
  computation_id INTEGER NOT NULL REFERENCES computations (id),
  profile VARCHAR(64) NOT NULL,
  angle_deg DOUBLE PRECISION NOT NULL,
  inherent_mm_al DOUBLE PRECISION NOT NULL,
  al_mm DOUBLE PRECISION NOT NULL,
  cu_mm DOUBLE PRECISION NOT NULL,
  used SMALLINT NOT NULL,
  reason VARCHAR(512) NOT NULL,
  photons DOUBLE PRECISION,
  j_10cm DOUBLE PRECISION, j_12cm DOUBLE PRECISION, j_14cm DOUBLE PRECISION, j_16cm DOUBLE PRECISION,
  j_18cm DOUBLE PRECISION, j_20cm DOUBLE PRECISION, j_22cm DOUBLE PRECISION, j_24cm DOUBLE PRECISION,
  j_26cm DOUBLE PRECISION, j_28cm DOUBLE PRECISION, j_30cm DOUBLE PRECISION,
  hvl1_mm_al DOUBLE PRECISION, hvl2_mm_al DOUBLE PRECISION, homogeneity DOUBLE PRECISION,
  mean_kev DOUBLE PRECISION, effective_kev DOUBLE PRECISION,
  fit_kv_outside DOUBLE PRECISION,
  PRIMARY KEY (event_id, computation_id)
);
)sql", nullptr},
    // Version 2: the reports' own totals in columns, each study's sums kept with it (written in the
    // transaction that changes the study, so a summary reads one row per study and not its events),
    // and the reports' content in a table of its own, so that a scan of the reports does not walk
    // the pages of every report's text.
    {R"sql(
CREATE TABLE report_contents (
  report_id INTEGER PRIMARY KEY REFERENCES reports (id),
  content TEXT NOT NULL
);
INSERT INTO report_contents (report_id, content) SELECT id, content FROM reports;
ALTER TABLE reports DROP COLUMN content;
ALTER TABLE reports ADD COLUMN total_dap_gycm2 DOUBLE PRECISION;
ALTER TABLE reports ADD COLUMN totals_problem VARCHAR(256) NOT NULL DEFAULT '';
CREATE TABLE study_totals (
  study_id INTEGER PRIMARY KEY REFERENCES studies (id),
  used INTEGER NOT NULL,
  skipped INTEGER NOT NULL,
  repeats INTEGER NOT NULL,
  dap_gycm2 DOUBLE PRECISION NOT NULL,
  repeat_dap_gycm2 DOUBLE PRECISION NOT NULL,
  reported_dap_gycm2 DOUBLE PRECISION,
  totals_from_every_report SMALLINT NOT NULL,
  totals_problem VARCHAR(256) NOT NULL,
  photons DOUBLE PRECISION NOT NULL,
  j_10cm DOUBLE PRECISION NOT NULL, j_12cm DOUBLE PRECISION NOT NULL, j_14cm DOUBLE PRECISION NOT NULL,
  j_16cm DOUBLE PRECISION NOT NULL, j_18cm DOUBLE PRECISION NOT NULL, j_20cm DOUBLE PRECISION NOT NULL,
  j_22cm DOUBLE PRECISION NOT NULL, j_24cm DOUBLE PRECISION NOT NULL, j_26cm DOUBLE PRECISION NOT NULL,
  j_28cm DOUBLE PRECISION NOT NULL, j_30cm DOUBLE PRECISION NOT NULL,
  fluoroscopy_s DOUBLE PRECISION
);
)sql",
     [](sqlite3* db) { return FillFromContents(db) && RefreshStudyTotals(db, std::nullopt); }},
};
static_assert(sizeof kMigrations / sizeof kMigrations[0] == kSchemaVersion);

// A prepared statement, finalized on scope exit.
class Statement {
public:
    Statement(sqlite3* db, const char* sql) {
        if (sqlite3_prepare_v2(db, sql, -1, &s_, nullptr) != SQLITE_OK) {
            s_ = nullptr;
        }
    }
    ~Statement() { sqlite3_finalize(s_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    bool Ok() const { return s_ != nullptr; }
    Statement& Bind(int i, const std::string& text) {
        sqlite3_bind_text(s_, i, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
        return *this;
    }
    Statement& BindNullableText(int i, const std::string& text) {
        return text.empty() ? BindNull(i) : Bind(i, text);
    }
    Statement& Bind(int i, double x) {
        sqlite3_bind_double(s_, i, x);
        return *this;
    }
    Statement& Bind(int i, std::int64_t x) {
        sqlite3_bind_int64(s_, i, x);
        return *this;
    }
    Statement& Bind(int i, const std::optional<double>& x) { return x ? Bind(i, *x) : BindNull(i); }
    Statement& BindNull(int i) {
        sqlite3_bind_null(s_, i);
        return *this;
    }
    // SQLITE_ROW, SQLITE_DONE or an error code.
    int Step() { return s_ == nullptr ? SQLITE_ERROR : sqlite3_step(s_); }
    void Reset() {
        sqlite3_reset(s_);
        sqlite3_clear_bindings(s_);
    }
    std::string Text(int i) const {
        const auto* p = sqlite3_column_text(s_, i);
        return p == nullptr ? std::string() : std::string(reinterpret_cast<const char*>(p), static_cast<std::size_t>(sqlite3_column_bytes(s_, i)));
    }
    std::int64_t Int(int i) const { return sqlite3_column_int64(s_, i); }
    double Double(int i) const { return sqlite3_column_double(s_, i); }
    bool IsNull(int i) const { return sqlite3_column_type(s_, i) == SQLITE_NULL; }
    std::optional<double> OptionalDouble(int i) const { return IsNull(i) ? std::nullopt : std::optional<double>(Double(i)); }

private:
    sqlite3_stmt* s_ = nullptr;
};

Failure<DbError> Fail(sqlite3* db, const char* what) { return Failure{DbError{what, sqlite3_errmsg(db)}}; }

bool Exec(sqlite3* db, const char* sql) { return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK; }

// Rolls back unless committed.
class Transaction {
public:
    explicit Transaction(sqlite3* db) : db_(db), open_(Exec(db, "BEGIN IMMEDIATE")) {}
    ~Transaction() {
        if (open_) Exec(db_, "ROLLBACK");
    }
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    bool Began() const { return open_; }
    bool Commit() {
        if (!open_ || !Exec(db_, "COMMIT")) return false;
        open_ = false;
        return true;
    }

private:
    sqlite3* db_;
    bool open_;
};

std::optional<std::int64_t> SingleInt(sqlite3* db, const char* sql) {
    Statement s(db, sql);
    if (s.Step() != SQLITE_ROW) return std::nullopt;
    return s.Int(0);
}

// The reports' own totals, from their stored content (the step of the migration to version 2).
bool FillFromContents(sqlite3* db) {
    Statement q(db, "SELECT report_id, content FROM report_contents");
    Statement set(db, "UPDATE reports SET total_dap_gycm2 = ?1, totals_problem = ?2 WHERE id = ?3");
    if (!q.Ok() || !set.Ok()) return false;
    int rc;
    while ((rc = q.Step()) == SQLITE_ROW) {
        const auto report = ReportFromJson(q.Text(1));
        if (!report) return false;
        set.Reset();
        set.Bind(1, report->totals.dapGyCm2).Bind(2, report->totals.problem).Bind(3, q.Int(0));
        if (set.Step() != SQLITE_DONE) return false;
    }
    return rc == SQLITE_DONE;
}

// Writes the sums of one study (or of all) from its current reports, each with its current
// computation. An event counts in the first current report (by arrival) that holds its UID; in a
// later one it is a repeat, whose DAP the later report's own total includes all the same.
bool RefreshStudyTotals(sqlite3* db, std::optional<std::int64_t> study) {
    Statement drop(db, "DELETE FROM study_totals WHERE ?1 IS NULL OR study_id = ?1");
    Statement add(db,
                  "WITH cur AS (SELECT id, study_id, computation_id, total_dap_gycm2, totals_problem FROM reports "
                  "WHERE superseded_by IS NULL AND (?1 IS NULL OR study_id = ?1)), "
                  "rows AS (SELECT r.study_id AS sid, e.type_kind AS kind, e.duration_s AS dur, e.dap_gycm2 AS dap, "
                  "x.used AS used, x.photons AS photons, x.j_10cm AS j10, x.j_12cm AS j12, x.j_14cm AS j14, "
                  "x.j_16cm AS j16, x.j_18cm AS j18, x.j_20cm AS j20, x.j_22cm AS j22, x.j_24cm AS j24, "
                  "x.j_26cm AS j26, x.j_28cm AS j28, x.j_30cm AS j30, CASE WHEN e.event_uid IS NULL THEN 1 ELSE "
                  "ROW_NUMBER() OVER (PARTITION BY r.study_id, e.event_uid ORDER BY r.id, e.seq) END AS n "
                  "FROM cur r JOIN events e ON e.report_id = r.id "
                  "JOIN results x ON x.event_id = e.id AND x.computation_id = r.computation_id), "
                  "counted AS (SELECT *, CASE WHEN n = 1 AND used = 1 THEN 1 ELSE 0 END AS c FROM rows), "
                  "ev AS (SELECT sid, SUM(c) AS used, SUM(CASE WHEN n = 1 AND used = 0 THEN 1 ELSE 0 END) AS skipped, "
                  "SUM(CASE WHEN n > 1 THEN 1 ELSE 0 END) AS repeats, SUM(c * dap) AS dap, "
                  "SUM(CASE WHEN n > 1 THEN dap END) AS repeat_dap, SUM(c * photons) AS photons, "
                  "SUM(c * j10) AS j10, SUM(c * j12) AS j12, SUM(c * j14) AS j14, SUM(c * j16) AS j16, "
                  "SUM(c * j18) AS j18, SUM(c * j20) AS j20, SUM(c * j22) AS j22, SUM(c * j24) AS j24, "
                  "SUM(c * j26) AS j26, SUM(c * j28) AS j28, SUM(c * j30) AS j30, "
                  "SUM(CASE WHEN c = 1 AND kind = 'fluoroscopy' THEN dur END) AS fluoro FROM counted GROUP BY sid), "
                  "st AS (SELECT study_id AS sid, SUM(total_dap_gycm2) AS reported, "
                  "MIN(CASE WHEN total_dap_gycm2 IS NULL THEN 0 ELSE 1 END) AS every FROM cur GROUP BY study_id) "
                  "INSERT INTO study_totals (study_id, used, skipped, repeats, dap_gycm2, repeat_dap_gycm2, "
                  "reported_dap_gycm2, totals_from_every_report, totals_problem, photons, j_10cm, j_12cm, j_14cm, "
                  "j_16cm, j_18cm, j_20cm, j_22cm, j_24cm, j_26cm, j_28cm, j_30cm, fluoroscopy_s) "
                  "SELECT st.sid, COALESCE(ev.used, 0), COALESCE(ev.skipped, 0), COALESCE(ev.repeats, 0), "
                  "COALESCE(ev.dap, 0), COALESCE(ev.repeat_dap, 0), st.reported, st.every, "
                  "COALESCE((SELECT p.totals_problem FROM cur p WHERE p.study_id = st.sid AND p.totals_problem <> '' "
                  "ORDER BY p.id LIMIT 1), ''), COALESCE(ev.photons, 0), COALESCE(ev.j10, 0), COALESCE(ev.j12, 0), "
                  "COALESCE(ev.j14, 0), COALESCE(ev.j16, 0), COALESCE(ev.j18, 0), COALESCE(ev.j20, 0), "
                  "COALESCE(ev.j22, 0), COALESCE(ev.j24, 0), COALESCE(ev.j26, 0), COALESCE(ev.j28, 0), "
                  "COALESCE(ev.j30, 0), ev.fluoro FROM st LEFT JOIN ev ON ev.sid = st.sid");
    if (!drop.Ok() || !add.Ok()) return false;
    if (study) {
        drop.Bind(1, *study);
        add.Bind(1, *study);
    }
    return drop.Step() == SQLITE_DONE && add.Step() == SQLITE_DONE;
}

json CodeJson(const rdsr::Code& c) { return json::array({c.value, c.scheme, c.meaning}); }
std::string FiltersJson(const std::vector<rdsr::Filter>& filters) {
    json list = json::array();
    for (const rdsr::Filter& f : filters) {
        list.push_back({CodeJson(f.material), CodeJson(f.type), f.thicknessMm ? json(*f.thicknessMm) : json(nullptr), f.problem});
    }
    return list.dump(-1, ' ', false, json::error_handler_t::replace);
}

// Which events of a report are stored: an event UID repeated within the report is stored once.
std::vector<bool> StoredEvents(const rdsr::Report& report) {
    std::vector<bool> stored;
    std::unordered_set<std::string> uids;
    for (const rdsr::Event& e : report.events) stored.push_back(e.uid.empty() || uids.insert(e.uid).second);
    return stored;
}

// The study's date: the day of its earliest irradiation event that gives one.
std::string StudyDate(const rdsr::Report& report) {
    if (report.study.date.size() == 8) return report.study.date;
    std::string date;
    for (const rdsr::Event& e : report.events) {
        if (e.dateTime.size() >= 8 && (date.empty() || e.dateTime.compare(0, 8, date) < 0)) {
            date = e.dateTime.substr(0, 8);
        }
    }
    return date;
}

// Finds or adds the computation with this provenance.
Result<std::int64_t, DbError> ComputationId(sqlite3* db, const Provenance& p) {
    Statement find(db,
                   "SELECT id FROM computations WHERE att_sha256 = ?1 AND eff_sha256 = ?2 AND profile_path = ?3 "
                   "AND profile_sha256 = ?4 AND program_version = ?5 ORDER BY id DESC LIMIT 1");
    find.Bind(1, p.attSha256).Bind(2, p.effSha256).Bind(3, p.profilePath).Bind(4, p.profileSha256).Bind(5, p.programVersion);
    if (find.Step() == SQLITE_ROW) return find.Int(0);
    Statement add(db,
                  "INSERT INTO computations (att_sha256, eff_sha256, profile_path, profile_sha256, program_version, "
                  "created_at) VALUES (?1, ?2, ?3, ?4, ?5, ?6)");
    add.Bind(1, p.attSha256).Bind(2, p.effSha256).Bind(3, p.profilePath).Bind(4, p.profileSha256).Bind(5, p.programVersion).Bind(6, NowUtc());
    if (add.Step() != SQLITE_DONE) return Fail(db, "storing the computation");
    return sqlite3_last_insert_rowid(db);
}

Result<std::int64_t, DbError> DeviceId(sqlite3* db, const rdsr::Device& d) {
    Statement find(db, "SELECT id FROM devices WHERE observer_uid = ?1 AND manufacturer = ?2 AND model = ?3 AND serial = ?4");
    find.Bind(1, d.observerUid).Bind(2, d.manufacturer).Bind(3, d.model).Bind(4, d.serial);
    if (find.Step() == SQLITE_ROW) return find.Int(0);
    Statement add(db, "INSERT INTO devices (observer_uid, manufacturer, model, serial, name) VALUES (?1, ?2, ?3, ?4, ?5)");
    add.Bind(1, d.observerUid).Bind(2, d.manufacturer).Bind(3, d.model).Bind(4, d.serial).Bind(5, d.name);
    if (add.Step() != SQLITE_DONE) return Fail(db, "storing the device");
    return sqlite3_last_insert_rowid(db);
}

Result<std::int64_t, DbError> StudyId(sqlite3* db, const rdsr::Report& report) {
    if (!report.studyUid.empty()) {
        Statement find(db, "SELECT id FROM studies WHERE study_uid = ?1");
        find.Bind(1, report.studyUid);
        if (find.Step() == SQLITE_ROW) {
            const std::int64_t id = find.Int(0);
            // An earlier date from a later report of the study wins.
            const std::string date = StudyDate(report);
            if (!date.empty()) {
                Statement update(db, "UPDATE studies SET study_date = ?1 WHERE id = ?2 AND (study_date IS NULL OR study_date > ?1)");
                update.Bind(1, date).Bind(2, id);
                if (update.Step() != SQLITE_DONE) return Fail(db, "dating the study");
            }
            return id;
        }
    }
    // A report without a study UID is a study of its own.
    Statement add(db, "INSERT INTO studies (study_uid, study_date, accession_number) VALUES (?1, ?2, ?3)");
    add.BindNullableText(1, report.studyUid).BindNullableText(2, StudyDate(report)).BindNullableText(3, report.study.accessionNumber);
    if (add.Step() != SQLITE_DONE) return Fail(db, "storing the study");
    return sqlite3_last_insert_rowid(db);
}

// Computes one report on its own: the study's other reports are the register's business.
studies::Batch ComputeOne(const rdsr::Report& report, const Tables& tables, const profiles::Profiles& profiles,
                          std::vector<studies::ReadOutcome>& holder) {
    holder.clear();
    holder.push_back({report.path, report, {}, false});
    return studies::ComputeStudies(tables, holder, profiles);
}

// Stores the results of `batch` (rows in the order of `eventIds`) under `computation`.
Result<std::size_t, DbError> StoreResults(sqlite3* db, const studies::Batch& batch, const std::vector<std::int64_t>& eventIds,
                                          std::int64_t computation) {
    Statement add(db,
                  "INSERT INTO results (event_id, computation_id, profile, angle_deg, inherent_mm_al, al_mm, cu_mm, "
                  "used, reason, photons, j_10cm, j_12cm, j_14cm, j_16cm, j_18cm, j_20cm, j_22cm, j_24cm, j_26cm, "
                  "j_28cm, j_30cm, hvl1_mm_al, hvl2_mm_al, homogeneity, mean_kev, effective_kev, fit_kv_outside) "
                  "VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13, ?14, ?15, ?16, ?17, ?18, ?19, ?20, "
                  "?21, ?22, ?23, ?24, ?25, ?26, ?27)");
    std::size_t used = 0;
    for (std::size_t i = 0; i < batch.events.size(); ++i) {
        if (eventIds[i] < 0) continue;  // a repeat within the report, not stored
        const studies::EventRow& row = batch.events[i];
        add.Reset();
        add.Bind(1, eventIds[i]).Bind(2, computation).Bind(3, row.profile).Bind(4, row.angleDeg).Bind(5, row.inherentMmAl);
        add.Bind(6, row.alMm).Bind(7, row.cuMm).Bind(8, std::int64_t{row.used ? 1 : 0}).Bind(9, row.reason);
        if (row.used) {
            ++used;
            add.Bind(10, row.dose.photons);
            for (int j = 0; j < kThicknesses; ++j) add.Bind(11 + j, row.dose.joules[static_cast<std::size_t>(j)]);
        }
        if (row.quality) {
            add.Bind(22, row.quality->hvl1MmAl).Bind(23, row.quality->hvl2MmAl).Bind(24, row.quality->homogeneity);
            add.Bind(25, row.quality->meanKeV).Bind(26, row.quality->effectiveKeV);
        }
        add.Bind(27, row.fitKvOutside);
        if (add.Step() != SQLITE_DONE) return Fail(db, "storing an event's result");
    }
    return used;
}

bool DeviceMatches(const rdsr::Device& d, const std::string& wanted) {
    return wanted.empty() || wanted == studies::DeviceText(d) || wanted == d.observerUid || wanted == d.name;
}

// The current reports as the reading stage made them (path = where each came from), with the ids
// of their stored events, one per event of the report (-1 for a repeat that is not stored).
struct Loaded {
    std::vector<studies::ReadOutcome> reports;
    std::vector<std::int64_t> reportIds, computations;
    std::vector<std::vector<std::int64_t>> eventIds;
};

Result<Loaded, DbError> LoadCurrent(sqlite3* db, const StudyFilter& filter, bool withEventIds) {
    Statement q(db,
                "SELECT r.id, r.source, c.content, r.computation_id FROM reports r JOIN studies s ON s.id = r.study_id "
                "JOIN report_contents c ON c.report_id = r.id "
                "WHERE r.superseded_by IS NULL AND (?1 = '' OR s.study_date >= ?1) AND (?2 = '' OR s.study_date <= ?2) "
                "ORDER BY r.id");
    Statement ids(db, "SELECT id FROM events WHERE report_id = ?1 ORDER BY seq");
    if (!q.Ok() || !ids.Ok()) return Fail(db, "reading the register");
    q.Bind(1, filter.from).Bind(2, filter.to);
    Loaded loaded;
    int rc;
    while ((rc = q.Step()) == SQLITE_ROW) {
        auto report = ReportFromJson(q.Text(2));
        if (!report) return Failure{DbError{"reading the register", "report " + std::to_string(q.Int(0)) + " is damaged"}};
        if (!DeviceMatches(report->device, filter.device)) continue;
        report->path = q.Text(1);
        std::vector<std::int64_t> aligned;
        if (withEventIds) {
            std::vector<std::int64_t> eventIds;
            ids.Reset();
            ids.Bind(1, q.Int(0));
            int r;
            while ((r = ids.Step()) == SQLITE_ROW) eventIds.push_back(ids.Int(0));
            if (r != SQLITE_DONE) return Fail(db, "reading the register");
            std::size_t next = 0;
            for (bool isStored : StoredEvents(*report)) aligned.push_back(isStored && next < eventIds.size() ? eventIds[next++] : -1);
        }
        const std::string path = report->path;
        loaded.reports.push_back({path, std::move(*report), {}, false});
        loaded.reportIds.push_back(q.Int(0));
        loaded.computations.push_back(q.Int(3));
        loaded.eventIds.push_back(std::move(aligned));
    }
    if (rc != SQLITE_DONE) return Fail(db, "reading the register");
    return loaded;
}

void AddOnce(std::vector<std::string>& list, const std::string& item) {
    if (std::find(list.begin(), list.end(), item) == list.end()) list.push_back(item);
}

}  // namespace

std::string DescribeDbError(const DbError& error) { return error.what + ": " + error.message; }

const char* ImportKindName(ImportKind kind) {
    switch (kind) {
        case ImportKind::Added: return "added";
        case ImportKind::NewVersion: return "new version";
        case ImportKind::Unchanged: return "unchanged";
    }
    return "?";
}

Result<Database, DbError> Database::Open(const std::filesystem::path& file, Durability durability) {
    sqlite3* raw = nullptr;
    // SQLite takes file names in UTF-8 on every platform (on POSIX these are the name's own bytes).
    const std::u8string name = file.u8string();
    const int rc = sqlite3_open_v2(reinterpret_cast<const char*>(name.c_str()), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    Database db(raw);  // closes it on every return
    if (rc != SQLITE_OK) {
        return Failure{DbError{"opening " + PathText(file), raw != nullptr ? sqlite3_errmsg(raw) : "out of memory"}};
    }
    // Another process (the listener, an import) may hold the write lock for a moment.
    sqlite3_busy_timeout(raw, 30000);
    if (!Exec(raw, "PRAGMA foreign_keys = ON") || !Exec(raw, "PRAGMA journal_mode = WAL") ||
        !Exec(raw, durability == Durability::Full ? "PRAGMA synchronous = FULL" : "PRAGMA synchronous = NORMAL")) {
        return Fail(raw, "setting up the database");
    }
    const auto version = SingleInt(raw, "PRAGMA user_version");
    if (!version) return Fail(raw, "reading the schema version");
    if (*version > kSchemaVersion) {
        return Failure{DbError{"opening " + PathText(file), "schema version " + std::to_string(*version) +
                                                               " is newer than this program's " + std::to_string(kSchemaVersion)}};
    }
    if (*version < kSchemaVersion) {
        // Under the write lock, the version read again: another process (a listener and an import
        // started together) may have migrated it meanwhile.
        Transaction t(raw);
        const auto locked = t.Began() ? SingleInt(raw, "PRAGMA user_version") : std::nullopt;
        if (!locked) return Fail(raw, "updating the schema");
        for (auto v = *locked; v < kSchemaVersion; ++v) {
            const std::string bump = "PRAGMA user_version = " + std::to_string(v + 1);
            const Migration& m = kMigrations[v];
            if (!Exec(raw, m.sql) || (m.then != nullptr && !m.then(raw)) || !Exec(raw, bump.c_str())) {
                return Fail(raw, "updating the schema");
            }
        }
        if (!t.Commit()) return Fail(raw, "updating the schema");
    }
    return db;
}

Database::Database(Database&& other) noexcept : db_(std::exchange(other.db_, nullptr)) {}
Database& Database::operator=(Database&& other) noexcept {
    if (this != &other) {
        sqlite3_close(db_);
        db_ = std::exchange(other.db_, nullptr);
    }
    return *this;
}
Database::~Database() { sqlite3_close(db_); }

int Database::SchemaVersion() const { return static_cast<int>(SingleInt(db_, "PRAGMA user_version").value_or(-1)); }

Result<ImportResult, DbError> Database::Import(const Arrival& arrival, const Tables& tables,
                                               const profiles::Profiles& profiles, const Provenance& provenance) {
    const rdsr::Report& report = arrival.report;
    ImportResult result;
    const std::string contentJson = ReportToJson(report);
    const std::string content = Sha256Hex(contentJson);
    // This content held already (as any version): nothing to do.
    const auto held = [&]() -> std::optional<int> {
        Statement same(db_, "SELECT version FROM reports WHERE sop_instance_uid = ?1 AND content_sha256 = ?2");
        same.Bind(1, report.sopInstanceUid).Bind(2, content);
        if (same.Step() == SQLITE_ROW) return static_cast<int>(same.Int(0));
        return std::nullopt;
    };
    if (const auto version = held()) {
        result.kind = ImportKind::Unchanged;
        result.version = *version;
        return result;
    }
    // Computed before the write lock is taken, so that another writer (the listener and an import
    // on one file) waits for the inserts only.
    std::vector<studies::ReadOutcome> holder;
    const studies::Batch batch = ComputeOne(report, tables, profiles, holder);

    Transaction t(db_);
    if (!t.Began()) return Fail(db_, "starting a transaction");
    if (const auto version = held()) {  // stored by another writer meanwhile
        result.kind = ImportKind::Unchanged;
        result.version = *version;
        return result;
    }
    std::optional<std::int64_t> previous, previousStudy;
    {
        Statement latest(db_, "SELECT id, version, study_id FROM reports WHERE sop_instance_uid = ?1 ORDER BY version DESC LIMIT 1");
        latest.Bind(1, report.sopInstanceUid);
        if (latest.Step() == SQLITE_ROW) {
            previous = latest.Int(0);
            previousStudy = latest.Int(2);
            result.kind = ImportKind::NewVersion;
            result.version = static_cast<int>(latest.Int(1)) + 1;
        }
    }
    const auto computation = ComputationId(db_, provenance);
    if (!computation) return Failure{computation.error()};
    const auto device = DeviceId(db_, report.device);
    if (!device) return Failure{device.error()};
    const auto study = StudyId(db_, report);
    if (!study) return Failure{study.error()};

    Statement addReport(db_,
                        "INSERT INTO reports (sop_instance_uid, version, file_sha256, received_at, source, study_id, "
                        "device_id, computation_id, content_sha256, total_dap_gycm2, totals_problem) "
                        "VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11)");
    addReport.Bind(1, report.sopInstanceUid).Bind(2, std::int64_t{result.version}).Bind(3, arrival.sha256);
    addReport.Bind(4, arrival.receivedAt).Bind(5, arrival.source).Bind(6, *study).Bind(7, *device).Bind(8, *computation);
    addReport.Bind(9, content).Bind(10, report.totals.dapGyCm2).Bind(11, report.totals.problem);
    if (addReport.Step() != SQLITE_DONE) return Fail(db_, "storing the report");
    const std::int64_t reportId = sqlite3_last_insert_rowid(db_);
    Statement addContent(db_, "INSERT INTO report_contents (report_id, content) VALUES (?1, ?2)");
    addContent.Bind(1, reportId).Bind(2, contentJson);
    if (addContent.Step() != SQLITE_DONE) return Fail(db_, "storing the report");
    if (previous) {
        Statement supersede(db_, "UPDATE reports SET superseded_by = ?1 WHERE sop_instance_uid = ?2 AND id <> ?1 AND superseded_by IS NULL");
        supersede.Bind(1, reportId).Bind(2, report.sopInstanceUid);
        if (supersede.Step() != SQLITE_DONE) return Fail(db_, "superseding the older version");
    }

    Statement addEvent(db_,
                       "INSERT INTO events (report_id, seq, event_uid, event_datetime, type_code, type_scheme, "
                       "type_meaning, type_kind, plane_code, plane_scheme, plane_meaning, plane_kind, protocol, kvp, "
                       "dap_gycm2, dap_text, dap_problem, filters, duration_s) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, "
                       "?10, ?11, ?12, ?13, ?14, ?15, ?16, ?17, ?18, ?19)");
    std::vector<std::int64_t> eventIds;
    const std::vector<bool> stored = StoredEvents(report);
    std::int64_t seq = 0;
    for (std::size_t k = 0; k < report.events.size(); ++k) {
        const rdsr::Event& e = report.events[k];
        if (!stored[k]) {
            eventIds.push_back(-1);
            continue;
        }
        addEvent.Reset();
        addEvent.Bind(1, reportId).Bind(2, ++seq).BindNullableText(3, e.uid).Bind(4, e.dateTime);
        addEvent.Bind(5, e.type.value).Bind(6, e.type.scheme).Bind(7, e.type.meaning).Bind(8, std::string(rdsr::EventTypeName(e.typeKind)));
        addEvent.Bind(9, e.plane.value).Bind(10, e.plane.scheme).Bind(11, e.plane.meaning).Bind(12, std::string(rdsr::PlaneName(e.planeKind)));
        addEvent.Bind(13, e.protocol).Bind(14, e.kvp).Bind(15, e.dapGyCm2).Bind(16, e.dapText).Bind(17, e.dapProblem);
        addEvent.Bind(18, FiltersJson(e.filters)).Bind(19, e.durationS);
        if (addEvent.Step() != SQLITE_DONE) return Fail(db_, "storing an event");
        eventIds.push_back(sqlite3_last_insert_rowid(db_));
    }
    const auto used = StoreResults(db_, batch, eventIds, *computation);
    if (!used) return Failure{used.error()};
    if (!RefreshStudyTotals(db_, *study) || (previousStudy && *previousStudy != *study && !RefreshStudyTotals(db_, *previousStudy))) {
        return Fail(db_, "summing the study");
    }
    if (!t.Commit()) return Fail(db_, "committing the report");
    result.events = static_cast<std::size_t>(seq);
    result.used = *used;
    return result;
}

Result<Database::RecomputeResult, DbError> Database::Recompute(const Tables& tables, const profiles::Profiles& profiles,
                                                               const Provenance& provenance) {
    Transaction t(db_);
    if (!t.Began()) return Fail(db_, "starting a transaction");
    const auto computation = ComputationId(db_, provenance);
    if (!computation) return Failure{computation.error()};
    auto loaded = LoadCurrent(db_, {}, true);
    if (!loaded) return Failure{loaded.error()};
    RecomputeResult result;
    result.changedNothing = true;
    Statement point(db_, "UPDATE reports SET computation_id = ?1 WHERE id = ?2");
    std::vector<studies::ReadOutcome> holder;
    for (std::size_t i = 0; i < loaded->reports.size(); ++i) {
        if (loaded->computations[i] == *computation) continue;  // computed so already
        result.changedNothing = false;
        const studies::Batch batch = ComputeOne(*loaded->reports[i].report, tables, profiles, holder);
        const auto used = StoreResults(db_, batch, loaded->eventIds[i], *computation);
        if (!used) return Failure{used.error()};
        point.Reset();
        point.Bind(1, *computation).Bind(2, loaded->reportIds[i]);
        if (point.Step() != SQLITE_DONE) return Fail(db_, "pointing a report at its new computation");
        ++result.reports;
        result.events += batch.events.size();
        result.used += *used;
    }
    if (!result.changedNothing && !RefreshStudyTotals(db_, std::nullopt)) return Fail(db_, "summing the studies");
    if (!t.Commit()) return Fail(db_, "committing the new computation");
    return result;
}

Result<StoredReports, DbError> Database::Reports(const StudyFilter& filter) const {
    auto loaded = LoadCurrent(db_, filter, false);
    if (!loaded) return Failure{loaded.error()};
    StoredReports out;
    out.reports = std::move(loaded->reports);
    const std::set<std::int64_t> computations(loaded->computations.begin(), loaded->computations.end());
    Statement p(db_, "SELECT att_sha256, eff_sha256, profile_path, profile_sha256, program_version FROM computations WHERE id = ?1");
    for (const std::int64_t id : computations) {
        p.Reset();
        p.Bind(1, id);
        if (p.Step() == SQLITE_ROW) out.computedWith.push_back({p.Text(0), p.Text(1), p.Text(2), p.Text(3), p.Text(4)});
    }
    return out;
}

Result<std::vector<StoredStudy>, DbError> Database::Studies(const StudyFilter& filter) const {
    // The current reports of each study, in the order they arrived: the first one names the
    // study's device and protocol.
    Statement reports(db_,
                      "SELECT s.id, s.study_uid, s.accession_number, s.study_date, r.source, d.observer_uid, d.name, "
                      "d.manufacturer, d.model, d.serial, "
                      "(SELECT e.protocol FROM events e WHERE e.report_id = r.id ORDER BY e.seq LIMIT 1) "
                      "FROM reports r JOIN studies s ON s.id = r.study_id JOIN devices d ON d.id = r.device_id "
                      "WHERE r.superseded_by IS NULL AND (?1 = '' OR s.study_date >= ?1) AND (?2 = '' OR s.study_date <= ?2) "
                      "ORDER BY s.id, r.id");
    if (!reports.Ok()) return Fail(db_, "reading the register");
    reports.Bind(1, filter.from).Bind(2, filter.to);
    std::vector<StoredStudy> out;
    std::unordered_map<std::int64_t, std::size_t> index;
    int rc;
    while ((rc = reports.Step()) == SQLITE_ROW) {
        const rdsr::Device device{reports.Text(5), reports.Text(6), reports.Text(7), reports.Text(8), reports.Text(9)};
        auto [slot, isNew] = index.try_emplace(reports.Int(0), out.size());
        if (isNew) {
            StoredStudy s;
            s.studyUid = reports.Text(1);
            s.accessionNumber = reports.Text(2);
            s.date = reports.Text(3);
            s.device = studies::DeviceText(device);
            out.push_back(std::move(s));
        }
        StoredStudy& study = out[slot->second];
        AddOnce(study.devices, studies::DeviceText(device));
        study.sources.push_back(reports.Text(4));
        if (study.protocol.empty()) study.protocol = reports.Text(10);
    }
    if (rc != SQLITE_DONE) return Fail(db_, "reading the register");

    // The sums kept with each study; completeness by the rule of `rdsr`'s studies.
    Statement sums(db_,
                   "SELECT study_id, used, skipped, repeats, dap_gycm2, repeat_dap_gycm2, reported_dap_gycm2, "
                   "totals_from_every_report, totals_problem, photons, j_10cm, j_12cm, j_14cm, j_16cm, j_18cm, "
                   "j_20cm, j_22cm, j_24cm, j_26cm, j_28cm, j_30cm, fluoroscopy_s FROM study_totals");
    if (!sums.Ok()) return Fail(db_, "summing the studies");
    while ((rc = sums.Step()) == SQLITE_ROW) {
        const auto it = index.find(sums.Int(0));
        if (it == index.end()) continue;  // outside the dates
        StoredStudy& study = out[it->second];
        study.used = static_cast<std::size_t>(sums.Int(1));
        study.skipped = static_cast<std::size_t>(sums.Int(2));
        study.repeats = static_cast<std::size_t>(sums.Int(3));
        study.dapGyCm2 = sums.Double(4);
        study.reportedDapGyCm2 = sums.OptionalDouble(6);
        study.photons = sums.Double(9);
        for (int j = 0; j < kThicknesses; ++j) study.joules[static_cast<std::size_t>(j)] = sums.Double(10 + j);
        study.fluoroscopySeconds = sums.OptionalDouble(21);
        studies::StudyRow row;
        row.used = study.used;
        row.skipped = study.skipped;
        row.duplicates = study.repeats;
        row.dapGyCm2 = study.dapGyCm2;
        row.duplicateDapGyCm2 = sums.Double(5);
        row.reported.dapGyCm2 = study.reportedDapGyCm2;
        row.totalsFromEveryReport = sums.Int(7) != 0;
        row.reported.problem = sums.Text(8);
        studies::JudgeStudy(row);
        study.status = row.status;
        study.reason = std::move(row.reason);
    }
    if (rc != SQLITE_DONE) return Fail(db_, "summing the studies");
    if (!filter.device.empty()) {
        std::erase_if(out, [&](const StoredStudy& s) {
            return std::find(s.devices.begin(), s.devices.end(), filter.device) == s.devices.end();
        });
    }
    return out;
}

Result<Database::Counts, DbError> Database::Count() const {
    Counts c;
    const auto get = [&](const char* sql, std::size_t& slot) {
        const auto n = SingleInt(db_, sql);
        slot = static_cast<std::size_t>(n.value_or(0));
        return n.has_value();
    };
    if (!get("SELECT COUNT(*) FROM reports", c.reports) ||
        !get("SELECT COUNT(*) FROM reports WHERE superseded_by IS NULL", c.currentReports) ||
        !get("SELECT COUNT(*) FROM studies", c.studies) || !get("SELECT COUNT(*) FROM events", c.events) ||
        !get("SELECT COUNT(*) FROM results", c.results) || !get("SELECT COUNT(*) FROM computations", c.computations)) {
        return Fail(db_, "counting");
    }
    return c;
}

std::filesystem::path DefaultDatabasePath() { return platform::UserDataFolder() / "mirelo-register.sqlite"; }

std::string NowUtc() {
    const std::tm tm = platform::UtcTime(std::chrono::system_clock::to_time_t(std::chrono::system_clock::now()));
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%SZ", &tm);
    return buf;
}

}  // namespace mirelo::registry
