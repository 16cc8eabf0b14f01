#include "register/report_json.h"

#include <nlohmann/json.hpp>

namespace mirelo::registry {
namespace {

using json = nlohmann::json;

json Opt(const std::optional<double>& x) { return x ? json(*x) : json(nullptr); }
void Get(const json& j, const char* key, std::optional<double>& x) {
    const auto it = j.find(key);
    x = it != j.end() && it->is_number() ? std::optional<double>(it->get<double>()) : std::nullopt;
}
void Get(const json& j, const char* key, std::string& x) {
    const auto it = j.find(key);
    x = it != j.end() && it->is_string() ? it->get<std::string>() : std::string();
}
template <class Int>
void GetInt(const json& j, const char* key, Int& x) {
    const auto it = j.find(key);
    x = it != j.end() && it->is_number_unsigned() ? static_cast<Int>(it->get<unsigned long long>()) : Int{};
}

json CodeJson(const rdsr::Code& c) { return {{"value", c.value}, {"scheme", c.scheme}, {"meaning", c.meaning}}; }
rdsr::Code CodeFrom(const json& j) {
    rdsr::Code c;
    if (j.is_object()) {
        Get(j, "value", c.value);
        Get(j, "scheme", c.scheme);
        Get(j, "meaning", c.meaning);
    }
    return c;
}

json EventJson(const rdsr::Event& e) {
    json filters = json::array();
    for (const rdsr::Filter& f : e.filters) {
        filters.push_back({{"material", CodeJson(f.material)}, {"type", CodeJson(f.type)},
                           {"thickness_mm", Opt(f.thicknessMm)}, {"problem", f.problem}});
    }
    return {{"uid", e.uid}, {"datetime", e.dateTime}, {"type", CodeJson(e.type)},
            {"type_kind", static_cast<int>(e.typeKind)}, {"plane", CodeJson(e.plane)},
            {"plane_kind", static_cast<int>(e.planeKind)}, {"protocol", e.protocol}, {"kvp", Opt(e.kvp)},
            {"kvp_source", static_cast<int>(e.kvpSource)}, {"kvp_pulses", e.kvpPulses},
            {"kvp_pulses_written", e.kvpPulsesWritten}, {"kvp_problem", e.kvpProblem}, {"dap", Opt(e.dapGyCm2)},
            {"dap_value", e.dapValue}, {"dap_unit", e.dapUnit}, {"dap_text", e.dapText}, {"dap_problem", e.dapProblem},
            {"filters", filters}, {"duration_s", Opt(e.durationS)}, {"exposure_time_ms", Opt(e.exposureTimeMs)},
            {"pulses", Opt(e.pulses)}, {"dose_rp_gy", Opt(e.doseRpGy)}, {"field_area_cm2", Opt(e.fieldAreaCm2)}};
}

rdsr::Event EventFrom(const json& j) {
    rdsr::Event e;
    Get(j, "uid", e.uid);
    Get(j, "datetime", e.dateTime);
    e.type = CodeFrom(j.value("type", json()));
    e.typeKind = static_cast<rdsr::EventType>(j.value("type_kind", 2));
    e.plane = CodeFrom(j.value("plane", json()));
    e.planeKind = static_cast<rdsr::Plane>(j.value("plane_kind", 3));
    Get(j, "protocol", e.protocol);
    Get(j, "kvp", e.kvp);
    e.kvpSource = static_cast<rdsr::KvpSource>(j.value("kvp_source", 0));
    GetInt(j, "kvp_pulses", e.kvpPulses);
    GetInt(j, "kvp_pulses_written", e.kvpPulsesWritten);
    Get(j, "kvp_problem", e.kvpProblem);
    Get(j, "dap", e.dapGyCm2);
    Get(j, "dap_value", e.dapValue);
    Get(j, "dap_unit", e.dapUnit);
    Get(j, "dap_text", e.dapText);
    Get(j, "dap_problem", e.dapProblem);
    if (const auto it = j.find("filters"); it != j.end() && it->is_array()) {
        for (const json& f : *it) {
            rdsr::Filter filter;
            filter.material = CodeFrom(f.value("material", json()));
            filter.type = CodeFrom(f.value("type", json()));
            Get(f, "thickness_mm", filter.thicknessMm);
            Get(f, "problem", filter.problem);
            e.filters.push_back(std::move(filter));
        }
    }
    Get(j, "duration_s", e.durationS);
    Get(j, "exposure_time_ms", e.exposureTimeMs);
    Get(j, "pulses", e.pulses);
    Get(j, "dose_rp_gy", e.doseRpGy);
    Get(j, "field_area_cm2", e.fieldAreaCm2);
    return e;
}

}  // namespace

std::string ReportToJson(const rdsr::Report& r) {
    json events = json::array();
    for (const rdsr::Event& e : r.events) events.push_back(EventJson(e));
    const json doc = {
        {"study_uid", r.studyUid},
        {"sop_instance_uid", r.sopInstanceUid},
        {"character_set", r.characterSet},
        {"device",
         {{"observer_uid", r.device.observerUid}, {"name", r.device.name}, {"manufacturer", r.device.manufacturer},
          {"model", r.device.model}, {"serial", r.device.serial}}},
        {"study",
         {{"date", r.study.date}, {"time", r.study.time}, {"accession_number", r.study.accessionNumber},
          {"description", r.study.description}}},
        {"patient",
         {{"age", r.patient.age}, {"sex", r.patient.sex}, {"weight_kg", Opt(r.patient.weightKg)},
          {"height_m", Opt(r.patient.heightM)}, {"name", r.patient.name}, {"id", r.patient.id}}},
        {"totals",
         {{"dap", Opt(r.totals.dapGyCm2)}, {"fluoro_dap", Opt(r.totals.fluoroDapGyCm2)},
          {"acquisition_dap", Opt(r.totals.acquisitionDapGyCm2)}, {"fluoro_time_s", Opt(r.totals.fluoroTimeS)},
          {"problem", r.totals.problem}}},
        {"events", events},
        {"notes", r.notes},
    };
    return doc.dump(-1, ' ', false, json::error_handler_t::replace);
}

std::optional<rdsr::Report> ReportFromJson(const std::string& text) {
    const json j = json::parse(text, nullptr, false);
    if (!j.is_object()) return std::nullopt;
    rdsr::Report r;
    Get(j, "study_uid", r.studyUid);
    Get(j, "sop_instance_uid", r.sopInstanceUid);
    Get(j, "character_set", r.characterSet);
    const json d = j.value("device", json::object());
    Get(d, "observer_uid", r.device.observerUid);
    Get(d, "name", r.device.name);
    Get(d, "manufacturer", r.device.manufacturer);
    Get(d, "model", r.device.model);
    Get(d, "serial", r.device.serial);
    const json s = j.value("study", json::object());
    Get(s, "date", r.study.date);
    Get(s, "time", r.study.time);
    Get(s, "accession_number", r.study.accessionNumber);
    Get(s, "description", r.study.description);
    const json p = j.value("patient", json::object());
    Get(p, "age", r.patient.age);
    Get(p, "sex", r.patient.sex);
    Get(p, "weight_kg", r.patient.weightKg);
    Get(p, "height_m", r.patient.heightM);
    Get(p, "name", r.patient.name);
    Get(p, "id", r.patient.id);
    const json t = j.value("totals", json::object());
    Get(t, "dap", r.totals.dapGyCm2);
    Get(t, "fluoro_dap", r.totals.fluoroDapGyCm2);
    Get(t, "acquisition_dap", r.totals.acquisitionDapGyCm2);
    Get(t, "fluoro_time_s", r.totals.fluoroTimeS);
    Get(t, "problem", r.totals.problem);
    if (const auto it = j.find("events"); it != j.end() && it->is_array()) {
        for (const json& e : *it) r.events.push_back(EventFrom(e));
    }
    if (const auto it = j.find("notes"); it != j.end() && it->is_array()) {
        for (const json& n : *it) {
            if (n.is_string()) r.notes.push_back(n.get<std::string>());
        }
    }
    return r;
}

}  // namespace mirelo::registry
