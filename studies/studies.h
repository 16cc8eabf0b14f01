#pragma once

#include <array>
#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "dose/volume_dose.h"
#include "profiles/profiles.h"
#include "quality/quality.h"
#include "rdsr/report.h"
#include "tables/tables.h"

namespace mirelo::studies {

// ---- Stage 1: reading. Files and folders (recursively, in name order) are read into reports. ----

struct ReadOutcome {
    std::string path;
    std::optional<rdsr::Report> report;  // absent when the file could not be read as a dose report
    std::string error;                   // why not
};

// Every regular file under the paths (a path may be a file or a folder), each once, folders in
// name order. A path that does not exist gives an outcome with its error.
std::vector<ReadOutcome> ReadReports(const std::vector<std::filesystem::path>& paths, unsigned threads = 0);

// ---- Stage 2: computing. Every event is used or skipped with its reason, never dropped. ----

struct EventRow {
    std::string file;
    std::string studyUid;
    rdsr::Device device;
    const rdsr::Event* event = nullptr;  // points into the ReadOutcome it came from
    // The conditions it was computed with.
    std::string profile;  // the profile's name, or "default"
    double angleDeg = profiles::kDefaultAngleDeg;
    double inherentMmAl = profiles::kDefaultInherentMmAl;  // fitted when the profile gives HVLs
    // With HVLs: how far the event's voltage lies outside the measured ones (0 inside); more than
    // kFarOutsideKv is flagged in the outputs.
    std::optional<double> fitKvOutside;
    double alMm = 0, cuMm = 0;
    bool used = false;
    std::string reason;  // why it was skipped
    VolumeDose dose;     // when used
    std::optional<BeamQuality> quality;  // of the spectrum used, when it has one
};

struct StudyRow {
    std::string studyUid;
    std::vector<std::string> devices;  // one text per device
    std::vector<std::string> files;
    std::size_t used = 0, skipped = 0;
    double dapGyCm2 = 0;  // of the events used
    double photons = 0;
    std::array<double, kThicknesses> joules{};
};

struct Batch {
    std::vector<EventRow> events;
    std::vector<StudyRow> studies;
    std::size_t spectraComputed = 0;  // distinct conditions; the rest came from the cache
};

// Computes every event of every report read. Events of one study (study instance UID) are summed
// together; an event whose irradiation event UID was already counted in its study (the same report
// twice, or a report that repeats another's events) is skipped as a duplicate.
Batch ComputeStudies(const Tables& tables, const std::vector<ReadOutcome>& reports, const profiles::Profiles& profiles);

// The HVL measurements of a profile at its target angle, made through its hvl_al_mm and hvl_cu_mm
// (absent: the fit's stated defaults).
std::vector<HvlMeasurement> ProfileMeasurements(const profiles::Profile& profile);

// "Manufacturer Model (SN serial)", or the observer UID when the report names nothing else.
std::string DeviceText(const rdsr::Device& device);

// "Cu 0.25 mm + Al 1 mm", as read (before anything is skipped); "none" without filters.
std::string FiltersText(const rdsr::Event& event);

}  // namespace mirelo::studies
