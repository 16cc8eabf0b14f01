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
    std::string kvpPulses;         // one KVP item holding one value per pulse ("0\\80\\82"), when not empty
    std::string kvpMaximum;        // a KVP item derived as the Maximum, when not empty
    std::vector<FilterSpec> filters;
    std::optional<NumSpec> duration, pulses, doseRp, fieldArea;
};

// An accumulated dose container of one plane (its totals as the report states them).
struct TotalsSpec {
    CodeSpec plane;
    std::optional<NumSpec> dap, fluoroDap, acquisitionDap, fluoroTime;
};

struct ReportSpec {
    std::string studyUid;  // generated when empty
    std::string observerUid, manufacturer = "Mirelo Test", model = "Angio 1", serial = "SN-1";
    std::vector<EventSpec> events;
    std::vector<TotalsSpec> totals;
    std::string sopInstanceUid;  // generated when empty
    CodeSpec procedure{"113704", "DCM", "Projection X-Ray"};
    // Texts are written as these bytes, in this Specific Character Set ("" for none).
    std::string characterSet;
    std::string studyDescription, accessionNumber = "ACC-1", studyDate = "20160818", studyTime = "192617.043";
    std::string patientAge = "054Y", patientSex = "F", patientWeight = "71.5", patientSize = "1.68";
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

// The report at `from` written again to `to`, the same content in another layout: sequences and
// items of undefined length; implicit VR little endian; or an element added after the content.
enum class Layout { UndefinedLengths, ImplicitVr, ElementAfterContent };
std::string Rewrite(const std::filesystem::path& from, const std::filesystem::path& to, Layout layout);

// Writes an empty DICOMDIR.
std::string WriteDicomDir(const std::filesystem::path& path);

// Writes, byte by byte, a dose report whose content sequence nests `levels` deep: no DICOM library
// could write it (they recurse too), and it is what a hostile or broken sender can produce.
enum class Nesting { ExplicitUndefinedLength, ImplicitDefinedLength, Deflated };
std::string WriteDeeplyNested(const std::filesystem::path& path, int levels,
                              Nesting nesting = Nesting::ExplicitUndefinedLength);

}  // namespace mirelo::rdsrgen
