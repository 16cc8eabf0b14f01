#include "studies/studies.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cmath>
#include <map>
#include <set>
#include <system_error>
#include <thread>
#include <tuple>
#include <unordered_map>
#include <utility>

#include "common/ascii.h"
#include "common/number_text.h"
#include "common/path_text.h"
#include "quality/quality.h"
#include "quality/spectrum_cache.h"
#include "studies/output.h"
#include "rdsr/report_reader.h"
#include "spectrum/spectrum.h"

namespace mirelo::studies {
namespace {

// Files under `path` in name order, or the path itself.
void Collect(const std::filesystem::path& path, std::vector<ReadOutcome>& out, std::set<std::filesystem::path>& seen) {
    std::error_code ec;
    const auto status = std::filesystem::status(path, ec);
    if (std::filesystem::is_directory(status)) {
        // A folder reached twice (a link to a parent folder) is searched once.
        const auto folder = std::filesystem::weakly_canonical(path, ec);
        if (!ec && !seen.insert(folder).second) {
            return;
        }
        std::vector<std::filesystem::path> entries;
        for (std::filesystem::directory_iterator it(path, ec), end; !ec && it != end; it.increment(ec)) {
            entries.push_back(it->path());
        }
        if (ec) {
            out.push_back({PathText(path), std::nullopt, std::string("cannot be read: ") + ec.message()});
            return;
        }
        std::sort(entries.begin(), entries.end());
        for (const auto& entry : entries) {
            Collect(entry, out, seen);
        }
        return;
    }
    const auto canonical = std::filesystem::weakly_canonical(path, ec);
    if (!seen.insert(ec ? path : canonical).second) {
        return;  // named twice (a file and its folder): read once
    }
    out.push_back({PathText(path), std::nullopt, {}});
}

enum class Material { Aluminium, Copper, Other };

Material MaterialOf(const rdsr::Code& code) {
    // The codes of the X-ray filter material context group; other editions and devices code the
    // same materials differently, so the meaning is read too.
    if (code.Is("C-120F9", "SRT") || StartsWithNoCase(code.meaning, "alumin")) return Material::Aluminium;
    if (code.Is("C-127F9", "SRT") || StartsWithNoCase(code.meaning, "copper")) return Material::Copper;
    return Material::Other;
}

std::string CodeText(const rdsr::Code& c) {
    std::string text(1, '\'');
    text += c.meaning.empty() ? c.value : c.meaning;
    text += '\'';
    if (!c.value.empty()) {
        text += " (" + c.value + ", " + c.scheme + ")";
    }
    return text;
}

}  // namespace

bool IsNoFilter(const rdsr::Filter& f) {
    // A "No filter" entry often still names a material (the one a filter wheel would hold).
    return f.type.Is("111609", "DCM") || f.type.meaning == "No filter" || (f.thicknessMm && *f.thicknessMm == 0);
}

namespace {

std::string SpectrumReason(SpectrumInputError e, const EventRow& row, double kv) {
    switch (e) {
        case SpectrumInputError::TubeVoltage:
            return std::string("tube voltage ") + ShortestText(kv) + " kV outside 0-150 kV";
        case SpectrumInputError::TargetAngle:
            return std::string("target angle ") + ShortestText(row.angleDeg) + " degrees unusable";
    }
    return "spectrum not computable";
}

std::string DoseReason(DoseError e, double kv) {
    switch (e) {
        case DoseError::AreaDose: return "dose-area product not finite";
        case DoseError::NoSpectrum: return std::string("the spectrum at ") + ShortestText(kv) + " kV carries no energy";
        case DoseError::OutOfRange: return "dose-area product too large: the results overflow";
    }
    return "dose not computable";
}

class Computer {
public:
    Computer(const Tables& tables, const profiles::Profiles& profiles) : tables_(tables), profiles_(profiles) {}

    // Fills the conditions of `row` and computes it, or says why not.
    void Compute(EventRow& row) {
        const rdsr::Event& e = *row.event;
        const profiles::Profile* profile = profiles::MatchProfile(
            profiles_, {row.device.observerUid, row.device.manufacturer, row.device.model, row.device.serial,
                        rdsr::PlaneName(e.planeKind)});
        row.profileEntry = profile;
        if (profile != nullptr) {
            row.profile = profile->name;
            row.angleDeg = profile->targetAngleDeg;
            if (profile->inherentMmAl) {
                row.inherentMmAl = *profile->inherentMmAl;
            }
        } else {
            row.profile = "default";
        }
        for (const rdsr::Filter& f : e.filters) {
            if (IsNoFilter(f)) {
                continue;
            }
            if (!f.problem.empty()) {
                return Skip(row, f.problem);
            }
            const Material material = MaterialOf(f.material);
            if (material == Material::Other) {
                return Skip(row, f.material.Empty() ? std::string("filter material not given")
                                                    : std::string("filter material ") + CodeText(f.material) +
                                                          " not in the tables (aluminium and copper only)");
            }
            if (*f.thicknessMm < 0) {
                return Skip(row, std::string("filter thickness ") + ShortestText(*f.thicknessMm) + " mm negative");
            }
            (material == Material::Aluminium ? row.alMm : row.cuMm) += *f.thicknessMm;
        }
        if (!e.kvp) {
            return Skip(row, e.kvpProblem.empty() ? std::string("no tube voltage (KVP)") : e.kvpProblem);
        }
        if (!e.dapGyCm2) {
            return Skip(row, e.dapProblem.empty() ? std::string("no dose-area product") : e.dapProblem);
        }
        if (*e.dapGyCm2 < 0) {
            return Skip(row, std::string("dose-area product ") + ShortestText(*e.dapGyCm2) + " Gy.cm2 negative");
        }
        const double kv = *e.kvp;
        if (profile != nullptr && !profile->hvl.empty()) {
            const auto& fit = FitFor(*profile);
            if (!fit) {
                return Skip(row, FitReason(fit.error(), *profile));
            }
            const InherentAt at = InherentAtKv(*fit, kv);
            row.inherentMmAl = at.mmAl;
            row.fitKvOutside = at.kvOutside;
        }
        const Beam beam = Beam::FromMm(row.angleDeg, row.inherentMmAl, row.alMm, row.cuMm);
        const auto spectrum = spectra_.Get(tables_, beam, TubeVoltage::Fixed(kv));
        if (!spectrum) {
            return Skip(row, SpectrumReason(spectrum.error(), row, kv));
        }
        row.quality = spectra_.Quality(tables_, beam, TubeVoltage::Fixed(kv));
        const auto dose = ComputeVolumeDose(tables_, *spectrum, *e.dapGyCm2);
        if (!dose) {
            return Skip(row, DoseReason(dose.error(), kv));
        }
        row.used = true;
        row.dose = *dose;
    }

    std::size_t SpectraComputed() const { return spectra_.Computed(); }

private:
    // The inherent filtration of a profile that gives measured HVLs, fitted once per profile.
    const Result<FiltrationCurve, CurveError>& FitFor(const profiles::Profile& profile) {
        auto it = fits_.find(&profile);
        if (it == fits_.end()) {
            it = fits_.emplace(&profile, FitFiltrationCurve(tables_, ProfileMeasurements(profile))).first;
        }
        return it->second;
    }

    static std::string FitReason(const CurveError& ce, const profiles::Profile& profile) {
        const FitError& e = ce.error;
        const HvlMeasurement m = ProfileMeasurements(profile)[ce.index];
        std::string text = "HVL fit of profile '";
        text += profile.name;
        text += "': ";
        switch (e.kind) {
            case FitError::Kind::Unreachable:
                text += "the measured ";
                text += ShortestText(m.hvl1MmAl) + " mm Al at " + ShortestText(m.kv) + " kV (through " + ShortestText(m.alMm) +
                        " mm Al and " + ShortestText(m.cuMm) + " mm Cu) cannot be reached (";
                text += ShortestText(e.lowestHvlMmAl) + " to " + ShortestText(e.highestHvlMmAl);
                text += " mm Al for " + ShortestText(e.lowestInherentMmAl) + " to " + ShortestText(e.highestInherentMmAl) +
                        " mm inherent filtration)";
                return text;
            case FitError::Kind::SameVoltage: return text + "two measurements at " + ShortestText(m.kv) + " kV";
            case FitError::Kind::TubeVoltage: return text + "tube voltage " + ShortestText(m.kv) + " kV unusable";  // text first: appends
            case FitError::Kind::TargetAngle: return text + "target angle unusable";
            case FitError::Kind::NoBeamQuality: return text + "a spectrum in the range has no beam quality";
        }
        return text + "failed";
    }

    static void Skip(EventRow& row, std::string reason) {
        row.used = false;
        row.reason = std::move(reason);
    }
    const Tables& tables_;
    const profiles::Profiles& profiles_;
    SpectrumCache spectra_;
    std::map<const profiles::Profile*, Result<FiltrationCurve, CurveError>> fits_;
};

}  // namespace

std::vector<HvlMeasurement> ProfileMeasurements(const profiles::Profile& profile) {
    std::vector<HvlMeasurement> out;
    for (const profiles::HvlPoint& point : profile.hvl) {
        out.push_back({profile.targetAngleDeg, profile.hvlAlMm.value_or(kMeasurementAlMm),
                       profile.hvlCuMm.value_or(kMeasurementCuMm), point.kv, point.mmAl, point.mmAl2});
    }
    return out;
}

std::vector<ReadOutcome> ReadReports(const std::vector<std::filesystem::path>& paths, unsigned threads,
                                     const rdsr::ReadOptions& options) {
    return std::move(*ReadReports(paths, threads, options, ReadControl{}));
}

std::optional<std::vector<ReadOutcome>> ReadReports(const std::vector<std::filesystem::path>& paths, unsigned threads,
                                                    const rdsr::ReadOptions& options, const ReadControl& control) {
    std::vector<ReadOutcome> outcomes;
    std::set<std::filesystem::path> seen;
    for (const auto& path : paths) {
        std::error_code ec;
        if (!std::filesystem::exists(path, ec)) {
            outcomes.push_back({PathText(path), std::nullopt, "cannot be read: no such file or folder"});
            continue;
        }
        Collect(path, outcomes, seen);
    }
    // Files are independent: read them on every core, each outcome into its own slot.
    if (threads == 0) {
        threads = std::max(1u, std::min(8u, std::thread::hardware_concurrency()));
    }
    threads = static_cast<unsigned>(std::min<std::size_t>(threads, outcomes.size()));
    std::atomic<std::size_t> next{0}, done{0};
    std::atomic<bool> stopped{false};
    auto work = [&] {
        for (std::size_t i = next++; i < outcomes.size(); i = next++) {
            if (stopped || (control.stop && control.stop())) {
                stopped = true;
                return;
            }
            ReadOutcome& o = outcomes[i];
            if (o.error.empty()) {
                auto read = rdsr::ReadReportFile(PathFromText(o.path), options);
                if (read) {
                    o.report = std::move(*read);
                } else {
                    o.error = rdsr::DescribeReadError(read.error());
                    o.skipped = rdsr::IsSkip(read.error());
                }
            }
            const std::size_t finished = ++done;
            if (control.progress) control.progress(finished, outcomes.size());
        }
    };
    std::vector<std::thread> pool;
    for (unsigned t = 1; t < threads; ++t) {
        pool.emplace_back(work);
    }
    work();
    for (auto& t : pool) {
        t.join();
    }
    if (stopped) {
        return std::nullopt;
    }
    return outcomes;
}

std::string DeviceText(const rdsr::Device& d) {
    std::string text = d.manufacturer;
    if (!d.model.empty()) {
        text += (text.empty() ? "" : " ") + d.model;
    }
    if (!d.serial.empty()) {
        text += (text.empty() ? "" : " ") + std::string("(SN ") + d.serial + ")";
    }
    if (text.empty()) {
        text = d.observerUid.empty() ? "unknown device" : d.observerUid;
    }
    return text;
}

std::string FiltersText(const rdsr::Event& event) {
    std::string text;
    for (const rdsr::Filter& f : event.filters) {
        if (IsNoFilter(f)) {
            continue;
        }
        if (!text.empty()) {
            text += " + ";
        }
        const Material m = MaterialOf(f.material);
        text += m == Material::Aluminium ? "Al"
                : m == Material::Copper  ? "Cu"
                                         : (f.material.meaning.empty() ? f.material.value : f.material.meaning);
        text += ' ';
        text += f.thicknessMm ? ShortestText(*f.thicknessMm) : std::string(1, '?');
        text += " mm";
    }
    return text.empty() ? "none" : text;
}

const char* StudyStatusName(StudyStatus status) {
    switch (status) {
        case StudyStatus::Complete: return "complete";
        case StudyStatus::Incomplete: return "incomplete";
        case StudyStatus::Duplicate: return "duplicate";
    }
    return "";
}

namespace {

void AddTotal(std::optional<double>& to, const std::optional<double>& value) {
    if (value) to = to.value_or(0) + *value;
}

}  // namespace

void JudgeStudy(StudyRow& s) {
    s.status = StudyStatus::Complete;
    s.reason.clear();
    s.shortfallGyCm2.reset();
    s.shortfallPercent.reset();
    std::vector<std::string> why;
    if (s.used == 0 && s.skipped == 0 && s.duplicates > 0) {
        s.status = StudyStatus::Duplicate;
        s.reason = "every event was counted in another file";
        return;
    }
    if (s.skipped > 0) {
        why.push_back(std::to_string(s.skipped) + (s.skipped == 1 ? " event" : " events") + " skipped");
    }
    if (s.used + s.skipped + s.duplicates == 0) {
        why.push_back("no irradiation events");
    }
    if (s.reported.dapGyCm2 && s.totalsFromEveryReport) {
        const double total = *s.reported.dapGyCm2;
        const double counted = s.dapGyCm2 + s.duplicateDapGyCm2;
        s.shortfallGyCm2 = total - counted;
        if (total != 0) {
            s.shortfallPercent = 100 * (total - counted) / total;
        }
        const bool agrees = total == 0 ? counted == 0 : std::abs(total - counted) <= kTotalTolerance * std::abs(total);
        if (!agrees) {
            why.push_back("the events sum to " + SumField(counted) + " Gy.cm2, the report's total is " + SumField(total) +
                          " Gy.cm2");
        }
    }
    if (!s.reported.problem.empty()) {
        why.push_back(s.reported.problem);
    }
    if (!why.empty()) {
        s.status = StudyStatus::Incomplete;
        for (const auto& w : why) s.reason += (s.reason.empty() ? "" : "; ") + w;
    }
}

Batch ComputeStudies(const Tables& tables, const std::vector<ReadOutcome>& reports, const profiles::Profiles& profiles) {
    Batch batch;
    Computer computer(tables, profiles);
    std::unordered_map<std::string, std::size_t> studyIndex;
    std::unordered_map<std::string, std::string> reportSeen;  // SOP instance UID -> file read first
    std::unordered_map<std::string, std::string> eventSeen;   // irradiation event UID -> file met first
    std::map<std::string, std::size_t> defaults;              // device -> events on the default conditions
    std::set<const profiles::Profile*> matched;               // profiles that matched an event
    for (const ReadOutcome& outcome : reports) {
        if (!outcome.report) {
            continue;
        }
        const rdsr::Report& report = *outcome.report;
        // A report without a study UID is a study of its own.
        const std::string studyKey = report.studyUid.empty() ? std::string("\x01") + report.path : report.studyUid;
        auto [slot, isNew] = studyIndex.try_emplace(studyKey, batch.studies.size());
        if (isNew) {
            StudyRow row;
            row.studyUid = report.studyUid;
            row.info = report.study;
            row.patient = report.patient;
            batch.studies.push_back(std::move(row));
        }
        StudyRow& study = batch.studies[slot->second];
        const std::string device = DeviceText(report.device);
        if (std::find(study.devices.begin(), study.devices.end(), device) == study.devices.end()) {
            study.devices.push_back(device);
        }
        study.files.push_back(report.path);
        std::string sameReport;
        if (!report.sopInstanceUid.empty()) {
            const auto [it, first] = reportSeen.try_emplace(report.sopInstanceUid, report.path);
            if (!first) sameReport = it->second;
        }
        if (sameReport.empty()) {
            // Each report's own totals once.
            if (!report.totals.dapGyCm2) study.totalsFromEveryReport = false;
            AddTotal(study.reported.dapGyCm2, report.totals.dapGyCm2);
            AddTotal(study.reported.fluoroDapGyCm2, report.totals.fluoroDapGyCm2);
            AddTotal(study.reported.acquisitionDapGyCm2, report.totals.acquisitionDapGyCm2);
            AddTotal(study.reported.fluoroTimeS, report.totals.fluoroTimeS);
            if (study.reported.problem.empty()) study.reported.problem = report.totals.problem;
        }
        for (const rdsr::Event& event : report.events) {
            EventRow row;
            row.file = report.path;
            row.studyUid = report.studyUid;
            row.device = report.device;
            row.event = &event;
            std::string firstFile = sameReport;
            if (firstFile.empty() && !event.uid.empty()) {
                const auto [it, first] = eventSeen.try_emplace(event.uid, report.path);
                if (!first) firstFile = it->second;
            }
            if (!firstFile.empty()) {
                row.duplicate = true;
                row.reason = std::string(sameReport.empty() ? "this irradiation event" : "this report") +
                             " was already met in " + firstFile;
                ++study.duplicates;
                // Not counted here, but the report's own total includes it.
                if (event.dapGyCm2 && sameReport.empty()) study.duplicateDapGyCm2 += *event.dapGyCm2;
                batch.events.push_back(std::move(row));
                continue;
            }
            computer.Compute(row);
            if (row.profileEntry == nullptr) {
                ++defaults[device];
            } else {
                matched.insert(row.profileEntry);
            }
            if (row.used) {
                ++study.used;
                study.dapGyCm2 += *event.dapGyCm2;
                study.photons += row.dose.photons;
                for (int j = 0; j < kThicknesses; ++j) {
                    study.joules[static_cast<std::size_t>(j)] += row.dose.joules[static_cast<std::size_t>(j)];
                }
            } else {
                ++study.skipped;
            }
            batch.events.push_back(std::move(row));
        }
    }
    for (StudyRow& study : batch.studies) {
        JudgeStudy(study);
    }
    for (const profiles::Profile& p : profiles.entries) {
        if (matched.count(&p) == 0) {
            batch.warnings.push_back({"profile '" + p.name + "' (" + profiles.path + " line " + std::to_string(p.line) +
                                      ") matched no device in this run"});
        }
    }
    for (const auto& [device, count] : defaults) {
        batch.warnings.push_back({"device '" + device + "': " + std::to_string(count) +
                                  (count == 1 ? " event" : " events") + " on the default conditions (target angle " +
                                  ShortestText(profiles::kDefaultAngleDeg) + " degrees, inherent filtration " +
                                  ShortestText(profiles::kDefaultInherentMmAl) + " mm Al): no profile matches it"});
    }
    batch.spectraComputed = computer.SpectraComputed();
    return batch;
}

}  // namespace mirelo::studies
