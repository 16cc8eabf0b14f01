#pragma once

#include <cstddef>
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

// Where an event's tube voltage comes from.
enum class KvpSource {
    None,          // no KVP item (or only a maximum or minimum)
    Single,        // one value
    PulseMean,     // the mean of the pulses that fired (values above 0)
    StatedMean,    // an item the report derives as the mean
};
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
    std::optional<double> kvp;           // kV, see kvpSource
    KvpSource kvpSource = KvpSource::None;
    std::size_t kvpPulses = 0;           // values the pulse mean was taken of (fired pulses)
    std::size_t kvpPulsesWritten = 0;    // per-pulse values written, 0 kV ones included
    std::string kvpProblem;              // why there is no tube voltage although a KVP item is there
    std::optional<double> dapGyCm2;      // dose-area product converted to Gy·cm²
    std::string dapValue, dapUnit;       // the value and unit as written
    std::string dapText;                 // both, for messages
    std::string dapProblem;              // why the DAP could not be used (unknown unit, not a number)
    std::vector<Filter> filters;
    // Further quantities of the event, where the report gives them (converted to these units).
    std::optional<double> durationS;     // irradiation duration
    std::optional<double> exposureTimeMs;
    std::optional<double> pulses;        // number of pulses
    std::optional<double> doseRpGy;      // dose at the reference point
    std::optional<double> fieldAreaCm2;  // collimated field area
};

// The report's own accumulated totals (summed over its planes), where it gives them.
struct Totals {
    std::optional<double> dapGyCm2;             // Dose Area Product Total
    std::optional<double> fluoroDapGyCm2;       // Fluoro Dose Area Product Total
    std::optional<double> acquisitionDapGyCm2;  // Acquisition Dose Area Product Total
    std::optional<double> fluoroTimeS;          // Total Fluoro Time
    std::string problem;                        // a total written but not readable (unit, number)
};

// What the report's file says of its study and patient. Name and ID are read only when asked for.
struct StudyInfo {
    std::string date, time;  // DICOM DA and TM as written
    std::string accessionNumber;
    std::string description;
};

struct PatientInfo {
    std::string age;  // DICOM AS as written ("054Y")
    std::string sex;
    std::optional<double> weightKg;
    std::optional<double> heightM;
    std::string name, id;  // empty unless kept
};

// One report: what Mirelo needs of an X-Ray Radiation Dose SR.
struct Report {
    std::string path;
    std::string studyUid;
    std::string sopInstanceUid;
    std::string characterSet;  // Specific Character Set as written; texts here are UTF-8
    Device device;
    StudyInfo study;
    PatientInfo patient;
    Totals totals;
    std::vector<Event> events;
    std::vector<std::string> notes;  // what was passed over or replaced while reading (for stderr)
};

// Why a file gave no report.
struct ReadError {
    enum class Kind {
        CannotOpen,  // missing, unreadable, a folder
        NotDicom,    // the bytes are not a DICOM file or dataset
        Unreadable,  // DICOM that cannot be read safely or completely (nesting too deep, damaged)
        Other,       // another kind of DICOM file (image, DICOMDIR, CT dose report): skipped, not an error
    };
    Kind kind = Kind::CannotOpen;
    std::string detail;
};

// Short English text of a read error, for stderr and the outputs ("CT radiation dose report: not a
// projection X-ray report", "DICOMDIR: skipped", "not a DICOM file: ...").
std::string DescribeReadError(const ReadError& error);

// True for files that are normal in a DICOM export and are skipped rather than failed.
inline bool IsSkip(const ReadError& error) { return error.kind == ReadError::Kind::Other; }

const char* KvpSourceName(KvpSource source);  // "", "single value", "mean of fired pulses", "stated mean"

const char* EventTypeName(EventType type);  // "fluoroscopy", "acquisition", "other"
const char* PlaneName(Plane plane);         // "single", "A", "B", "other"

}  // namespace mirelo::rdsr
