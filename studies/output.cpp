#include "studies/output.h"

#include <nlohmann/json.hpp>

#include <charconv>
#include <cstddef>
#include <optional>

namespace mirelo::studies {
namespace {

using json = nlohmann::ordered_json;  // keys in the order written

std::string Csv(const std::string& field) {
    if (field.find_first_of(",\"\r\n") == std::string::npos && (field.empty() || (field.front() != ' ' && field.back() != ' '))) {
        return field;
    }
    std::string quoted = "\"";
    for (char c : field) {
        quoted += c;
        if (c == '"') quoted += '"';
    }
    return quoted + "\"";
}

std::string Optional(const std::optional<double>& x) { return x ? NumberField(*x) : std::string(); }

void ThicknessHeader(std::ostream& out) {
    for (int j = 1; j <= kThicknesses; ++j) {
        out << ",J_" << ThicknessCm(j) << "cm";
    }
}

json OptionalJson(const std::optional<double>& x) { return x ? json(*x) : json(nullptr); }

json DoseJson(const std::array<double, kThicknesses>& joules) {
    json list = json::array();
    for (int j = 1; j <= kThicknesses; ++j) {
        list.push_back({{"thickness_cm", ThicknessCm(j)}, {"J", joules[static_cast<std::size_t>(j - 1)]}});
    }
    return list;
}

json CodeJson(const rdsr::Code& c) { return {{"code", c.value}, {"scheme", c.scheme}, {"meaning", c.meaning}}; }

}  // namespace

std::string NumberField(double x) {
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, x);
    return std::string(buf, r.ptr);
}

void WriteEventsCsv(std::ostream& out, const Batch& batch) {
    out << "file,study_uid,event_uid,datetime,event_type,plane,protocol,device_observer_uid,manufacturer,model,serial,"
           "profile,angle_deg,inherent_mm_al,kv,dap_gycm2,al_mm,cu_mm,filters,status,reason,photons";
    ThicknessHeader(out);
    out << ",hvl1_mm_al,hvl2_mm_al,homogeneity,mean_keV,effective_keV,fit_kv_outside,fit_far_outside\n";
    for (const EventRow& row : batch.events) {
        const rdsr::Event& e = *row.event;
        out << Csv(row.file) << ',' << Csv(row.studyUid) << ',' << Csv(e.uid) << ',' << Csv(e.dateTime) << ','
            << rdsr::EventTypeName(e.typeKind) << ',' << rdsr::PlaneName(e.planeKind) << ',' << Csv(e.protocol) << ','
            << Csv(row.device.observerUid) << ',' << Csv(row.device.manufacturer) << ',' << Csv(row.device.model) << ','
            << Csv(row.device.serial) << ',' << Csv(row.profile) << ',' << NumberField(row.angleDeg) << ','
            << NumberField(row.inherentMmAl) << ',' << Optional(e.kvp) << ',' << Optional(e.dapGyCm2) << ','
            << NumberField(row.alMm) << ',' << NumberField(row.cuMm) << ',' << Csv(FiltersText(e)) << ','
            << (row.used ? "used" : "skipped") << ',' << Csv(row.reason);
        if (row.used) {
            out << ',' << NumberField(row.dose.photons);
            for (double j : row.dose.joules) {
                out << ',' << NumberField(j);
            }
        } else {
            out << std::string(1 + kThicknesses, ',');
        }
        const auto& q = row.quality;
        if (row.used && q) {
            for (double x : {q->hvl1_mm_al, q->hvl2_mm_al, q->homogeneity, q->mean_keV, q->effective_keV}) {
                out << ',' << NumberField(x);
            }
        } else {
            out << ",,,,,";
        }
        out << ',' << Optional(row.fitKvOutside) << ','
            << (row.fitKvOutside ? (*row.fitKvOutside > kFarOutsideKv ? "yes" : "no") : "");
        out << '\n';
    }
}

void WriteStudiesCsv(std::ostream& out, const Batch& batch) {
    out << "study_uid,devices,files,events_used,events_skipped,dap_gycm2,photons";
    ThicknessHeader(out);
    out << '\n';
    auto joined = [](const std::vector<std::string>& items) {
        std::string text;
        for (const auto& item : items) {
            text += (text.empty() ? "" : "; ") + item;
        }
        return text;
    };
    for (const StudyRow& s : batch.studies) {
        out << Csv(s.studyUid) << ',' << Csv(joined(s.devices)) << ',' << Csv(joined(s.files)) << ',' << s.used << ','
            << s.skipped << ',' << NumberField(s.dapGyCm2) << ',' << NumberField(s.photons);
        for (double j : s.joules) {
            out << ',' << NumberField(j);
        }
        out << '\n';
    }
}

void WriteBatchJson(std::ostream& out, const std::vector<ReadOutcome>& reports, const Batch& batch, const Tables& tables) {
    // Report texts are not always valid UTF-8; replace what is not rather than fail.
    auto dump = [](const json& j) { return j.dump(-1, ' ', false, json::error_handler_t::replace); };
    // One element per line, written as it is made: 100,000 events never sit in memory as one tree.
    auto list = [&](const char* key, std::size_t count, auto&& element, bool last) {
        out << "  \"" << key << "\": [";
        for (std::size_t i = 0; i < count; ++i) {
            out << (i == 0 ? "\n    " : ",\n    ") << dump(element(i));
        }
        out << (count == 0 ? "]" : "\n  ]") << (last ? "\n" : ",\n");
    };
    const json tablesJson = {
        {"Att_coeff2021.dat", {{"path", tables.attSource.path}, {"sha256", tables.attSource.sha256}}},
        {"effEA.dat", {{"path", tables.effSource.path}, {"sha256", tables.effSource.sha256}}}};
    out << "{\n  \"tables\": " << dump(tablesJson) << ",\n";
    list("files", reports.size(), [&](std::size_t i) {
        const ReadOutcome& o = reports[i];
        json notes = json::array();
        if (o.report) {
            for (const auto& note : o.report->notes) notes.push_back(note);
        }
        return json{{"path", o.path},
                    {"read", o.report.has_value()},
                    {"error", o.report ? json(nullptr) : json(o.error)},
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
                               {"thickness_mm", OptionalJson(f.thicknessMm)}});
        }
        return json{
            {"file", row.file},
            {"study_uid", row.studyUid},
            {"event_uid", e.uid},
            {"datetime", e.dateTime},
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
              {"dap_gycm2", OptionalJson(e.dapGyCm2)},
              {"dap_as_written", e.dapText},
              {"angle_deg", row.angleDeg},
              {"inherent_mm_al", row.inherentMmAl},
              {"al_mm", row.alMm},
              {"cu_mm", row.cuMm}}},
            {"status", row.used ? "used" : "skipped"},
            {"reason", row.used ? json(nullptr) : json(row.reason)},
            {"photons", row.used ? json(row.dose.photons) : json(nullptr)},
            {"volume_dose", row.used ? DoseJson(row.dose.joules) : json(nullptr)},
            {"quality", row.used && row.quality ? json{{"hvl1_mm_al", row.quality->hvl1_mm_al},
                                                       {"hvl2_mm_al", row.quality->hvl2_mm_al},
                                                       {"homogeneity", row.quality->homogeneity},
                                                       {"mean_keV", row.quality->mean_keV},
                                                       {"effective_keV", row.quality->effective_keV}}
                                                 : json(nullptr)},
            {"fit_kv_outside", OptionalJson(row.fitKvOutside)},
            {"fit_far_outside", row.fitKvOutside ? json(*row.fitKvOutside > kFarOutsideKv) : json(nullptr)},
        };
    }, false);
    list("studies", batch.studies.size(), [&](std::size_t i) {
        const StudyRow& s = batch.studies[i];
        return json{{"study_uid", s.studyUid},
                    {"devices", s.devices},
                    {"files", s.files},
                    {"events_used", s.used},
                    {"events_skipped", s.skipped},
                    {"dap_gycm2", s.dapGyCm2},
                    {"photons", s.photons},
                    {"volume_dose", DoseJson(s.joules)}};
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
                            " skipped: " + row.reason);
        }
    }
    return lines;
}

}  // namespace mirelo::studies
