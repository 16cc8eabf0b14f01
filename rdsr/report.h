#pragma once

#include <optional>
#include <string>
#include <vector>

namespace mirelo::rdsr {

// A coded value as a report writes it: (value, scheme, meaning).
struct Code {
    std::string value;
    std::string scheme;
    std::string meaning;
    bool Is(const char* codeValue, const char* codingScheme) const { return value == codeValue && scheme == codingScheme; }
    bool Empty() const { return value.empty() && meaning.empty(); }
};

// The unit that recorded the X-ray unit: the device observer of the report, else the irradiating
// device, else the equipment attributes of the file.
struct Device {
    std::string observerUid;
    std::string name;
    std::string manufacturer;
    std::string model;
    std::string serial;
};

// One added filter of an irradiation event. The thickness is the mean of minimum and maximum, or
// whichever of the two the report gives, in mm; absent when neither was readable.
struct Filter {
    Code material;
    Code type;
    std::optional<double> thicknessMm;
    std::string problem;  // why the thickness could not be read (unit, number), empty when it could
};

enum class EventType { Fluoroscopy, Acquisition, Other };
enum class Plane { Single, A, B, Other };

// One irradiation event as read, before anything is computed from it.
struct Event {
    std::string uid;
    std::string dateTime;     // DICOM DT as written
    Code type;
    EventType typeKind = EventType::Other;
    Code plane;
    Plane planeKind = Plane::Other;
    std::string protocol;     // code meaning or text
    std::optional<double> kvp;           // kV, the mean where the report gives several or a mean
    std::optional<double> dapGyCm2;      // dose-area product converted to Gy·cm²
    std::string dapText;                 // the value and unit as written, for messages
    std::string dapProblem;              // why the DAP could not be used (unknown unit, not a number)
    std::vector<Filter> filters;
};

// One report: what Mirelo needs of an X-Ray Radiation Dose SR.
struct Report {
    std::string path;
    std::string studyUid;
    std::string sopInstanceUid;
    Device device;
    std::vector<Event> events;
    std::vector<std::string> notes;  // what was passed over while reading (for stderr)
};

// Why a file gave no report.
struct ReadError {
    enum class Kind {
        CannotOpen,  // missing, unreadable, a folder
        NotDicom,    // the bytes are not a DICOM file or dataset
        NotReport,   // DICOM, but not an X-ray radiation dose report
    };
    Kind kind = Kind::CannotOpen;
    std::string detail;
};

// Short English text of a read error, for stderr and the outputs.
std::string DescribeReadError(const ReadError& error);

const char* EventTypeName(EventType type);  // "fluoroscopy", "acquisition", "other"
const char* PlaneName(Plane plane);         // "single", "A", "B", "other"

}  // namespace mirelo::rdsr
