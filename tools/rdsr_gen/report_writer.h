#pragma once

// Writes X-ray radiation dose reports (TID 10001 with TID 10003 events) with DCMTK's DSRDocument,
// for the tests and the benchmark folder. It can also damage a report the way real devices do and
// write a small image that is not a report.
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace mirelo::rdsrgen {

struct CodeSpec {
    std::string value, scheme, meaning;
};

struct NumSpec {
    std::string value;  // the decimal string written
    std::string unit;   // UCUM code
};

struct FilterSpec {
    CodeSpec material;
    std::optional<NumSpec> min, max;
    CodeSpec type{"113650", "DCM", "Strip filter"};
};

struct EventSpec {
    std::string uid;  // generated when empty
    std::string dateTime = "20240115103000";
    CodeSpec type;    // e.g. Fluoroscopy()
    CodeSpec plane;   // e.g. SinglePlane()
    std::string protocol = "Abdomen";
    std::optional<NumSpec> dap;
    std::vector<std::string> kvp;  // one KVP item per value
    bool kvpMeanGiven = false;     // the first KVP item carries Derivation = Mean
    std::vector<FilterSpec> filters;
};

struct ReportSpec {
    std::string studyUid;  // generated when empty
    std::string sopInstanceUid;  // generated when empty
    std::string observerUid, manufacturer = "Mirelo Test", model = "Angio 1", serial = "SN-1";
    std::vector<EventSpec> events;
    // Damage, applied to the written dataset as some devices do:
    bool dropRelationshipType = false;  // every event item's first child loses (0040,A010)
    bool invalidPersonNames = false;    // patient name and a person observer with six components
    bool outOfTemplateItems = false;    // private concepts and an unknown container in each event
};

CodeSpec Fluoroscopy();
CodeSpec StationaryAcquisition();
CodeSpec PlaneA();
CodeSpec PlaneB();
CodeSpec SinglePlane();
CodeSpec Copper();
CodeSpec Aluminum();

// Writes the report; an empty string on success, else what went wrong.
std::string WriteReport(const ReportSpec& plan, const std::filesystem::path& path);

// Writes a 2 x 2 image: DICOM, but not a report; a secondary capture unless another image storage
// class (CT Image Storage, for one) is named.
std::string WriteImage(const std::filesystem::path& path, const std::string& sopClassUid = {});

}  // namespace mirelo::rdsrgen
