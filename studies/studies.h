#pragma once

#include <array>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "dose/volume_dose.h"
#include "profiles/profiles.h"
#include "quality/quality.h"
#include "rdsr/report.h"
#include "rdsr/report_reader.h"
#include "tables/tables.h"

namespace mirelo::studies {

// ---- Stage 1: reading. Files and folders (recursively, in name order) are read into reports. ----

struct ReadOutcome {
    std::string path;
    std::optional<rdsr::Report> report;  // absent when the file gave no dose report
    std::string error;                   // why not
    bool skipped = false;                // another kind of DICOM file (image, DICOMDIR, CT report): not an error
};

// Every regular file under the paths (a path may be a file or a folder), each once, folders in
// name order. A path that does not exist gives an outcome with its error.
std::vector<ReadOutcome> ReadReports(const std::vector<std::filesystem::path>& paths, unsigned threads = 0,
                                     const rdsr::ReadOptions& options = {});

// For a caller that shows progress and lets the user stop: `progress` is called from the reading
// threads after each file (files done, files in all); `stop` is asked before each file.
struct ReadControl {
    std::function<void(std::size_t done, std::size_t total)> progress;
    std::function<bool()> stop;
};
// As above; nothing when stopped, so that a stopped read never passes on part of the files.
std::optional<std::vector<ReadOutcome>> ReadReports(const std::vector<std::filesystem::path>& paths, unsigned threads,
                                                    const rdsr::ReadOptions& options, const ReadControl& control);

// ---- Stage 2: computing. Every event is used or skipped with its reason, never dropped. ----

struct EventRow {
    std::string file;
    std::string studyUid;
    rdsr::Device device;
    const rdsr::Event* event = nullptr;  // points into the ReadOutcome it came from
    // The conditions it was computed with.
    std::string profile;  // the profile's name, or "default"
    const profiles::Profile* profileEntry = nullptr;
    double angleDeg = profiles::kDefaultAngleDeg;
    double inherentMmAl = profiles::kDefaultInherentMmAl;  // fitted when the profile gives HVLs
    // With HVLs: how far the event's voltage lies outside the measured ones (0 inside); more than
    // kFarOutsideKv is flagged in the outputs.
    std::optional<double> fitKvOutside;
    double alMm = 0, cuMm = 0;
    bool used = false;
    bool duplicate = false;  // the same report or event was counted from another file (see reason)
    std::string reason;      // why it was skipped, or where it was counted when a duplicate
    VolumeDose dose;         // when used
    std::optional<BeamQuality> quality;  // of the spectrum used, when it has one
};

enum class StudyStatus {
    Complete,    // every event used, and the used dose-area product is the report's total within 1 %
    Incomplete,  // an event skipped, or the sum short of (or beyond) the report's total
    Duplicate,   // every event of it was counted in another study
};

struct StudyRow {
    std::string studyUid;
    rdsr::StudyInfo info;        // of the study's first report
    rdsr::PatientInfo patient;   // likewise
    std::vector<std::string> devices;  // one text per device
    std::vector<std::string> files;
    std::size_t used = 0, skipped = 0, duplicates = 0;
    double dapGyCm2 = 0;           // of the events used
    double duplicateDapGyCm2 = 0;  // of the events counted elsewhere
    rdsr::Totals reported;         // the reports' own totals, summed over the study's reports
    bool totalsFromEveryReport = true;  // false when a report of the study gives no DAP total
    double photons = 0;
    std::array<double, kThicknesses> joules{};
    StudyStatus status = StudyStatus::Complete;
    std::optional<double> shortfallGyCm2, shortfallPercent;  // the report's total minus the events' sum
    std::string reason;  // why incomplete
};

// Said once at the end of a run, not per event.
struct Warning {
    std::string text;
};

struct Batch {
    std::vector<EventRow> events;
    std::vector<StudyRow> studies;
    std::vector<Warning> warnings;     // profiles that matched nothing, devices on the default conditions
    std::size_t spectraComputed = 0;  // distinct conditions; the rest came from the cache
};

// Within this share of the report's total, the events' sum is the total (rounding in the report).
inline constexpr double kTotalTolerance = 0.01;

// Sets a study's status, reason and shortfall from its counts, its sums (dapGyCm2 +
// duplicateDapGyCm2 against reported.dapGyCm2 when totalsFromEveryReport) and reported.problem:
// the one rule of completeness, for this stage and for the register.
void JudgeStudy(StudyRow& study);

// Computes every event of every report read. Events of one study (study instance UID) are summed
// together. A report whose SOP instance UID was read before (the same report under another name),
// then an event whose irradiation event UID was met before in any report (a report re-sent under
// another study), is a duplicate: listed, counted once. Each study is then held against its
// reports' own totals.
Batch ComputeStudies(const Tables& tables, const std::vector<ReadOutcome>& reports, const profiles::Profiles& profiles);

// The HVL measurements of a profile at its target angle, made through its hvl_al_mm and hvl_cu_mm
// (absent: the fit's stated defaults).
std::vector<HvlMeasurement> ProfileMeasurements(const profiles::Profile& profile);

// "Manufacturer Model (SN serial)", or the observer UID when the report names nothing else.
std::string DeviceText(const rdsr::Device& device);

// "Cu 0.25 mm + Al 1 mm", as read (before anything is skipped); "none" without filters.
std::string FiltersText(const rdsr::Event& event);

const char* StudyStatusName(StudyStatus status);  // "complete", "incomplete", "duplicate"

// True when the filter is not in the beam: type "No filter" or a thickness of 0.
bool IsNoFilter(const rdsr::Filter& filter);

}  // namespace mirelo::studies
