#include "studies/output.h"

#include <nlohmann/json.hpp>

#include <charconv>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <optional>

#include "common/csv.h"
#include "common/number_text.h"
#include "rdsr/report_reader.h"

namespace mirelo::studies {
namespace {

using json = nlohmann::ordered_json;  // keys in the order written

std::string Optional(const std::optional<double>& x) { return x ? ShortestText(*x) : std::string(); }

json OptionalJson(const std::optional<double>& x) { return x ? json(*x) : json(nullptr); }
json TextOrNull(const std::string& s) { return s.empty() ? json(nullptr) : json(s); }

json DoseJson(const std::array<double, kThicknesses>& joules) {
    json list = json::array();
    for (int j = 1; j <= kThicknesses; ++j) {
        list.push_back({{"thickness_cm", ThicknessCm(j)}, {"J", joules[static_cast<std::size_t>(j - 1)]}});
    }
    return list;
}

json CodeJson(const rdsr::Code& c) { return {{"code", c.value}, {"scheme", c.scheme}, {"meaning", c.meaning}}; }

std::string Joined(const std::vector<std::string>& items) {
    std::string text;
    for (const auto& item : items) {
        text += (text.empty() ? "" : "; ") + item;
    }
    return text;
}

const char* Status(const EventRow& row) { return row.used ? "used" : row.duplicate ? "duplicate" : "skipped"; }

std::string Percent(const std::optional<double>& x) {
    if (!x) return {};
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.2f", *x);
    double y = 0;
    std::from_chars(buf, buf + std::strlen(buf), y);
    return ShortestText(y == 0 ? 0.0 : y);  // no "-0"
}

bool PulsesCounted(const rdsr::Event& e) {
    return e.kvpSource == rdsr::KvpSource::Single || e.kvpSource == rdsr::KvpSource::PulseMean;
}

std::string StudyDateTime(const rdsr::StudyInfo& info) { return rdsr::IsoDateTime(info.date + info.time); }

}  // namespace

std::string SumField(double x) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.15g", x);
    double y = 0;
    std::from_chars(buf, buf + std::strlen(buf), y);
    return ShortestText(y);
}

std::string ProvenanceLine(const Tables& tables, const RunInfo& run) {
    std::string line = "# " + run.program + "; command: " + run.commandLine + "; tables: Att_coeff2021.dat sha256 " +
                       tables.attSource.sha256 + ", effEA.dat sha256 " + tables.effSource.sha256 + "; profiles: ";
    line += run.profilesPath.empty() ? std::string("none") : run.profilesPath + " sha256 " + run.profilesSha256;
    line += "; run at " + run.time;
    for (char& c : line) {
        if (c == '\n' || c == '\r') c = ' ';  // one line, whatever the command line held
    }
    return line;
}

std::vector<std::string> EventsColumns() {
    std::vector<std::string> columns = {
        "file", "study_uid", "event_uid", "datetime", "event_type", "plane", "protocol", "device_observer_uid",
        "manufacturer", "model", "serial", "profile", "angle_deg", "inherent_mm_al", "kv", "kv_source", "kv_pulses_used",
        "kv_pulses_written", "dap_gycm2", "dap_value", "dap_unit", "duration_s", "exposure_time_ms", "pulses",
        "dose_rp_gy", "field_area_cm2", "al_mm", "cu_mm", "filters", "status", "reason", "photons"};
    for (int j = 1; j <= kThicknesses; ++j) {
        columns.push_back("J_" + std::to_string(ThicknessCm(j)) + "cm");
    }
    for (const char* c : {"hvl1_mm_al", "hvl2_mm_al", "homogeneity", "mean_keV", "effective_keV", "fit_kv_outside",
                          "fit_far_outside"}) {
        columns.emplace_back(c);
    }
    return columns;
}

std::vector<Cell> EventCells(const EventRow& row) {
    const rdsr::Event& e = *row.event;
    const auto text = [](std::string t) { return Cell{std::move(t), false}; };
    const auto number = [](std::string t) { return Cell{std::move(t), true}; };
    std::vector<Cell> cells = {
        text(row.file), text(row.studyUid), text(e.uid), text(rdsr::IsoDateTime(e.dateTime)),
        text(rdsr::EventTypeName(e.typeKind)), text(rdsr::PlaneName(e.planeKind)), text(e.protocol),
        text(row.device.observerUid), text(row.device.manufacturer), text(row.device.model), text(row.device.serial),
        text(row.profile), number(ShortestText(row.angleDeg)), number(ShortestText(row.inherentMmAl)), number(Optional(e.kvp)),
        text(rdsr::KvpSourceName(e.kvpSource)), number(PulsesCounted(e) ? std::to_string(e.kvpPulses) : std::string()),
        number(std::to_string(e.kvpPulsesWritten)), number(Optional(e.dapGyCm2)), text(e.dapValue), text(e.dapUnit),
        number(Optional(e.durationS)), number(Optional(e.exposureTimeMs)), number(Optional(e.pulses)),
        number(Optional(e.doseRpGy)), number(Optional(e.fieldAreaCm2)), number(ShortestText(row.alMm)),
        number(ShortestText(row.cuMm)), text(FiltersText(e)), text(Status(row)), text(row.reason),
        number(row.used ? ShortestText(row.dose.photons) : std::string())};
    for (double j : row.dose.joules) {
        cells.push_back(number(row.used ? ShortestText(j) : std::string()));
    }
    const auto& q = row.quality;
    for (double x : {q ? q->hvl1MmAl : 0, q ? q->hvl2MmAl : 0, q ? q->homogeneity : 0, q ? q->meanKeV : 0,
                     q ? q->effectiveKeV : 0}) {
        cells.push_back(number(row.used && q ? ShortestText(x) : std::string()));
    }
    cells.push_back(number(Optional(row.fitKvOutside)));
    cells.push_back(text(row.fitKvOutside ? (*row.fitKvOutside > kFarOutsideKv ? "yes" : "no") : ""));
    return cells;
}

std::vector<std::string> StudiesColumns(const OutputOptions& options) {
    std::vector<std::string> columns = {"study_uid", "study_datetime", "accession_number", "study_description",
                                        "patient_age", "patient_sex", "patient_weight_kg", "patient_height_m"};
    if (options.patientId) {
        columns.insert(columns.end(), {"patient_name", "patient_id"});
    }
    columns.insert(columns.end(), {"devices", "files", "status", "reason", "events_used", "events_skipped",
                                   "events_duplicate", "dap_gycm2", "report_dap_total_gycm2",
                                   "report_fluoro_dap_total_gycm2", "report_acquisition_dap_total_gycm2",
                                   "shortfall_gycm2", "shortfall_percent", "photons"});
    for (int j = 1; j <= kThicknesses; ++j) {
        columns.push_back("J_" + std::to_string(ThicknessCm(j)) + "cm");
    }
    return columns;
}

std::vector<Cell> StudyCells(const StudyRow& s, const OutputOptions& options) {
    const bool any = s.used > 0;
    const auto text = [](std::string t) { return Cell{std::move(t), false}; };
    const auto number = [](std::string t) { return Cell{std::move(t), true}; };
    const auto sum = [](const std::optional<double>& x) { return x ? SumField(*x) : std::string(); };
    std::vector<Cell> cells = {text(s.studyUid), text(StudyDateTime(s.info)), text(s.info.accessionNumber),
                               text(s.info.description), text(s.patient.age), text(s.patient.sex),
                               number(Optional(s.patient.weightKg)), number(Optional(s.patient.heightM))};
    if (options.patientId) {
        cells.push_back(text(s.patient.name));
        cells.push_back(text(s.patient.id));
    }
    for (Cell& c : std::vector<Cell>{
             text(Joined(s.devices)), text(Joined(s.files)), text(StudyStatusName(s.status)), text(s.reason),
             number(std::to_string(s.used)), number(std::to_string(s.skipped)), number(std::to_string(s.duplicates)),
             number(any ? SumField(s.dapGyCm2) : std::string()), number(sum(s.reported.dapGyCm2)),
             number(sum(s.reported.fluoroDapGyCm2)), number(sum(s.reported.acquisitionDapGyCm2)),
             number(s.shortfallGyCm2 ? SumField(*s.shortfallGyCm2 == 0 ? 0.0 : *s.shortfallGyCm2) : std::string()), number(Percent(s.shortfallPercent)),
             number(any ? ShortestText(s.photons) : std::string())}) {
        cells.push_back(std::move(c));
    }
    for (double j : s.joules) {
        cells.push_back(number(any ? ShortestText(j) : std::string()));
    }
    return cells;
}

namespace {

// Numbers are written as they are; text cells are quoted and kept from being read as formulas.
void WriteRow(std::ostream& out, const std::vector<Cell>& cells) {
    for (std::size_t i = 0; i < cells.size(); ++i) {
        out << (i == 0 ? "" : ",") << (cells[i].number ? cells[i].text : CsvText(cells[i].text));
    }
    out << '\n';
}

void WriteHeader(std::ostream& out, const std::vector<std::string>& columns) {
    for (std::size_t i = 0; i < columns.size(); ++i) {
        out << (i == 0 ? "" : ",") << columns[i];
    }
    out << '\n';
}

}  // namespace

void WriteEventsCsv(std::ostream& out, const Batch& batch, const Tables& tables, const OutputOptions& options) {
    out << ProvenanceLine(tables, options.run) << '\n';
    WriteHeader(out, EventsColumns());
    for (const EventRow& row : batch.events) {
        WriteRow(out, EventCells(row));
    }
}

void WriteStudiesCsv(std::ostream& out, const Batch& batch, const Tables& tables, const OutputOptions& options) {
    out << ProvenanceLine(tables, options.run) << '\n';
    WriteHeader(out, StudiesColumns(options));
    for (const StudyRow& s : batch.studies) {
        WriteRow(out, StudyCells(s, options));
    }
}

void WriteBatchJson(std::ostream& out, const std::vector<ReadOutcome>& reports, const Batch& batch, const Tables& tables,
                    const OutputOptions& options) {
    // Texts are UTF-8 from the reader; replace rather than fail should one not be.
    auto dump = [](const json& j) { return j.dump(-1, ' ', false, json::error_handler_t::replace); };
    // One element per line, written as it is made: 100,000 events never sit in memory as one tree.
    auto list = [&](const char* key, std::size_t count, auto&& element, bool last) {
        out << "  \"" << key << "\": [";
        for (std::size_t i = 0; i < count; ++i) {
            out << (i == 0 ? "\n    " : ",\n    ") << dump(element(i));
        }
        out << (count == 0 ? "]" : "\n  ]") << (last ? "\n" : ",\n");
    };
    const RunInfo& run = options.run;
    const json runJson = {
        {"program", run.program},
        {"command_line", run.commandLine},
        {"time", run.time},
        {"tables",
         {{"Att_coeff2021.dat", {{"path", tables.attSource.path}, {"sha256", tables.attSource.sha256}}},
          {"effEA.dat", {{"path", tables.effSource.path}, {"sha256", tables.effSource.sha256}}}}},
        {"profiles", run.profilesPath.empty() ? json(nullptr)
                                              : json{{"path", run.profilesPath}, {"sha256", run.profilesSha256}}}};
    json warnings = json::array();
    for (const Warning& w : batch.warnings) warnings.push_back(w.text);
    out << "{\n  \"run\": " << dump(runJson) << ",\n  \"warnings\": " << dump(warnings) << ",\n";
    list("files", reports.size(), [&](std::size_t i) {
        const ReadOutcome& o = reports[i];
        json notes = json::array();
        if (o.report) {
            for (const auto& note : o.report->notes) notes.push_back(note);
        }
        return json{{"path", o.path},
                    {"read", o.report.has_value()},
                    {"skipped", o.skipped},
                    {"error", o.report || o.skipped ? json(nullptr) : json(o.error)},
                    {"what", o.skipped ? json(o.error) : json(nullptr)},
                    {"character_set", o.report ? json(o.report->characterSet) : json(nullptr)},
                    {"events", o.report ? json(o.report->events.size()) : json(nullptr)},
                    {"notes", notes}};
    }, false);
    list("events", batch.events.size(), [&](std::size_t i) {
        const EventRow& row = batch.events[i];
        const rdsr::Event& e = *row.event;
        json filters = json::array();
        for (const rdsr::Filter& f : e.filters) {
            filters.push_back({{"material", CodeJson(f.material)},
                               {"type", CodeJson(f.type)},
                               {"thickness_mm", OptionalJson(f.thicknessMm)},
                               {"in_beam", !IsNoFilter(f)}});
        }
        return json{
            {"file", row.file},
            {"study_uid", row.studyUid},
            {"event_uid", e.uid},
            {"datetime", TextOrNull(rdsr::IsoDateTime(e.dateTime))},
            {"event_type", rdsr::EventTypeName(e.typeKind)},
            {"event_type_code", CodeJson(e.type)},
            {"plane", rdsr::PlaneName(e.planeKind)},
            {"protocol", e.protocol},
            {"device",
             {{"observer_uid", row.device.observerUid},
              {"manufacturer", row.device.manufacturer},
              {"model", row.device.model},
              {"serial", row.device.serial}}},
            {"filters", filters},
            {"profile", row.profile},
            {"inputs",
             {{"kv", OptionalJson(e.kvp)},
              {"kv_source", TextOrNull(rdsr::KvpSourceName(e.kvpSource))},
              {"kv_pulses_used", PulsesCounted(e) ? json(e.kvpPulses) : json(nullptr)},
              {"kv_pulses_written", e.kvpPulsesWritten},
              {"dap_gycm2", OptionalJson(e.dapGyCm2)},
              {"dap_as_written", {{"value", TextOrNull(e.dapValue)}, {"unit", TextOrNull(e.dapUnit)}}},
              {"angle_deg", row.angleDeg},
              {"inherent_mm_al", row.inherentMmAl},
              {"al_mm", row.alMm},
              {"cu_mm", row.cuMm}}},
            {"duration_s", OptionalJson(e.durationS)},
            {"exposure_time_ms", OptionalJson(e.exposureTimeMs)},
            {"pulses", OptionalJson(e.pulses)},
            {"dose_rp_gy", OptionalJson(e.doseRpGy)},
            {"field_area_cm2", OptionalJson(e.fieldAreaCm2)},
            {"status", Status(row)},
            {"reason", row.used ? json(nullptr) : json(row.reason)},
            {"photons", row.used ? json(row.dose.photons) : json(nullptr)},
            {"volume_dose", row.used ? DoseJson(row.dose.joules) : json(nullptr)},
            {"quality", row.used && row.quality ? json{{"hvl1_mm_al", row.quality->hvl1MmAl},
                                                       {"hvl2_mm_al", row.quality->hvl2MmAl},
                                                       {"homogeneity", row.quality->homogeneity},
                                                       {"mean_keV", row.quality->meanKeV},
                                                       {"effective_keV", row.quality->effectiveKeV}}
                                                 : json(nullptr)},
            {"fit_kv_outside", OptionalJson(row.fitKvOutside)},
            {"fit_far_outside", row.fitKvOutside ? json(*row.fitKvOutside > kFarOutsideKv) : json(nullptr)},
        };
    }, false);
    list("studies", batch.studies.size(), [&](std::size_t i) {
        const StudyRow& s = batch.studies[i];
        const bool any = s.used > 0;
        json patient = {{"age", TextOrNull(s.patient.age)},
                        {"sex", TextOrNull(s.patient.sex)},
                        {"weight_kg", OptionalJson(s.patient.weightKg)},
                        {"height_m", OptionalJson(s.patient.heightM)}};
        if (options.patientId) {
            patient["name"] = s.patient.name;
            patient["id"] = s.patient.id;
        }
        return json{{"study_uid", s.studyUid},
                    {"study_datetime", TextOrNull(StudyDateTime(s.info))},
                    {"accession_number", TextOrNull(s.info.accessionNumber)},
                    {"study_description", TextOrNull(s.info.description)},
                    {"patient", patient},
                    {"devices", s.devices},
                    {"files", s.files},
                    {"status", StudyStatusName(s.status)},
                    {"reason", TextOrNull(s.reason)},
                    {"events_used", s.used},
                    {"events_skipped", s.skipped},
                    {"events_duplicate", s.duplicates},
                    {"dap_gycm2", any ? json(s.dapGyCm2) : json(nullptr)},
                    {"report_totals",
                     {{"dap_gycm2", OptionalJson(s.reported.dapGyCm2)},
                      {"fluoro_dap_gycm2", OptionalJson(s.reported.fluoroDapGyCm2)},
                      {"acquisition_dap_gycm2", OptionalJson(s.reported.acquisitionDapGyCm2)},
                      {"fluoro_time_s", OptionalJson(s.reported.fluoroTimeS)}}},
                    {"shortfall_gycm2", OptionalJson(s.shortfallGyCm2)},
                    {"shortfall_percent", OptionalJson(s.shortfallPercent)},
                    {"photons", any ? json(s.photons) : json(nullptr)},
                    {"volume_dose", any ? DoseJson(s.joules) : json(nullptr)}};
    }, true);
    out << "}\n";
}

std::vector<std::string> ProblemLines(const std::vector<ReadOutcome>& reports, const Batch& batch) {
    std::vector<std::string> lines;
    for (const ReadOutcome& o : reports) {
        if (!o.report) {
            lines.push_back(o.path + ": " + o.error);
        } else {
            for (const auto& note : o.report->notes) lines.push_back(o.path + ": " + note);
        }
    }
    for (const EventRow& row : batch.events) {
        if (!row.used) {
            const std::string& uid = row.event->uid;
            lines.push_back(row.file + ": event " + (uid.empty() ? std::string("without UID") : uid) +
                            (row.duplicate ? " duplicate: " : " skipped: ") + row.reason);
        }
    }
    for (const StudyRow& s : batch.studies) {
        if (s.status == StudyStatus::Incomplete) {
            lines.push_back("study " + (s.studyUid.empty() ? Joined(s.files) : s.studyUid) + " incomplete: " + s.reason);
        }
    }
    for (const Warning& w : batch.warnings) {
        lines.push_back("warning: " + w.text);
    }
    return lines;
}

}  // namespace mirelo::studies
