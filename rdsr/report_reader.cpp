#include "rdsr/report_reader.h"

#include <dcmtk/config/osconfig.h>  // must come first of DCMTK's headers
#include <dcmtk/dcmdata/dcdeftag.h>
#include <dcmtk/dcmdata/dcfilefo.h>
#include <dcmtk/dcmdata/dcitem.h>
#include <dcmtk/dcmdata/dcsequen.h>
#include <dcmtk/dcmdata/dcuid.h>
#include <dcmtk/dcmsr/dsrtypes.h>
#include <dcmtk/oflog/oflog.h>

#include <array>
#include <charconv>
#include <cmath>
#include <mutex>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

namespace mirelo::rdsr {
namespace {

// The concepts Mirelo reads; everything else in a report is passed over.
struct Concept {
    const char* value;
    const char* scheme;
};
constexpr Concept kDoseReport{"113701", "DCM"};           // X-Ray Radiation Dose Report (root)
constexpr Concept kEvent{"113706", "DCM"};                // Irradiation Event X-Ray Data
constexpr Concept kEventUid{"113769", "DCM"};             // Irradiation Event UID
constexpr Concept kDateTimeStarted{"111526", "DCM"};
constexpr Concept kEventType{"113721", "DCM"};
constexpr Concept kAcquisitionPlane{"113764", "DCM"};
constexpr Concept kAcquisitionProtocol{"125203", "DCM"};
constexpr Concept kDoseAreaProduct{"122130", "DCM"};      // per event; 113722 is the accumulated total
constexpr Concept kKvp{"113733", "DCM"};
constexpr Concept kDerivation{"121401", "DCM"};
constexpr Concept kFilters{"113771", "DCM"};
constexpr Concept kFilterType{"113772", "DCM"};
constexpr Concept kFilterMaterial{"113757", "DCM"};
constexpr Concept kFilterMin{"113758", "DCM"};
constexpr Concept kFilterMax{"113773", "DCM"};
// TID 1004 device observer (observer context of the report).
constexpr Concept kObserverUid{"121012", "DCM"};
constexpr Concept kObserverName{"121013", "DCM"};
constexpr Concept kObserverManufacturer{"121014", "DCM"};
constexpr Concept kObserverModel{"121015", "DCM"};
constexpr Concept kObserverSerial{"121016", "DCM"};
// TID 1021 device participant, read when the report has no device observer.
constexpr Concept kDeviceRole{"113876", "DCM"};
constexpr Concept kIrradiatingDevice{"113859", "DCM"};
constexpr Concept kDeviceName{"113877", "DCM"};
constexpr Concept kDeviceManufacturer{"113878", "DCM"};
constexpr Concept kDeviceModel{"113879", "DCM"};
constexpr Concept kDeviceSerial{"113880", "DCM"};
// Deeper nesting than any template needs is not followed (and keeps a hostile file off the stack).
constexpr int kMaxDepth = 64;
// No value Mirelo reads is longer in a real report; a longer one is damage and is not loaded.
constexpr Uint32 kMaxValueBytes = 64u * 1024u;

bool Is(const Code& code, const Concept& c) { return code.Is(c.value, c.scheme); }

std::string Trim(std::string s) {
    const auto first = s.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) {
        return {};
    }
    const auto last = s.find_last_not_of(" \t\r\n");
    return s.substr(first, last - first + 1);
}

std::string GetString(DcmItem& item, const DcmTagKey& tag) {
    DcmElement* element = nullptr;
    if (item.findAndGetElement(tag, element).bad() || element == nullptr || element->getLengthField() > kMaxValueBytes) {
        return {};
    }
    OFString value;
    if (element->getOFStringArray(value).bad()) {
        return {};
    }
    return Trim(std::string(value.c_str(), value.length()));
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) {
        return false;
    }
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        const auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(text[i]) != lower(prefix[i])) {
            return false;
        }
    }
    return true;
}

Code CodeFrom(DcmItem& codeItem) {
    Code code;
    code.value = GetString(codeItem, DCM_CodeValue);
    if (code.value.empty()) {
        code.value = GetString(codeItem, DCM_LongCodeValue);
    }
    if (code.value.empty()) {
        code.value = GetString(codeItem, DCM_URNCodeValue);
    }
    code.scheme = GetString(codeItem, DCM_CodingSchemeDesignator);
    code.meaning = GetString(codeItem, DCM_CodeMeaning);
    return code;
}

Code FirstCode(DcmItem& item, const DcmTagKey& sequence) {
    DcmItem* codeItem = nullptr;
    if (item.findAndGetSequenceItem(sequence, codeItem, 0).bad() || codeItem == nullptr) {
        return {};
    }
    return CodeFrom(*codeItem);
}

Code ConceptName(DcmItem& item) { return FirstCode(item, DCM_ConceptNameCodeSequence); }

// The content items below `item`, or none.
std::vector<DcmItem*> Children(DcmItem& item) {
    std::vector<DcmItem*> items;
    DcmSequenceOfItems* sequence = nullptr;
    if (item.findAndGetSequence(DCM_ContentSequence, sequence).bad() || sequence == nullptr) {
        return items;
    }
    const unsigned long count = sequence->card();
    items.reserve(count);
    for (unsigned long i = 0; i < count; ++i) {
        if (DcmItem* child = sequence->getItem(i)) {
            items.push_back(child);
        }
    }
    return items;
}

// A NUM item's value(s) and unit. NumericValue may hold several values.
struct Measured {
    std::vector<std::string> values;
    Code unit;
    bool present = false;
};

Measured ReadMeasured(DcmItem& item) {
    Measured m;
    DcmItem* mv = nullptr;
    if (item.findAndGetSequenceItem(DCM_MeasuredValueSequence, mv, 0).bad() || mv == nullptr) {
        return m;
    }
    const std::string all = GetString(*mv, DCM_NumericValue);
    if (all.empty()) {
        return m;
    }
    m.present = true;
    std::size_t start = 0;
    while (true) {
        const auto end = all.find('\\', start);
        m.values.push_back(Trim(all.substr(start, end == std::string::npos ? std::string::npos : end - start)));
        if (end == std::string::npos) {
            break;
        }
        start = end + 1;
    }
    m.unit = FirstCode(*mv, DCM_MeasurementUnitsCodeSequence);
    return m;
}

std::string TextOrCodeMeaning(DcmItem& item) {
    std::string text = GetString(item, DCM_TextValue);
    if (text.empty()) {
        text = FirstCode(item, DCM_ConceptCodeSequence).meaning;
    }
    return text;
}

bool IsFluoroscopy(const Code& c) {
    return c.Is("P5-06000", "SRT") || c.Is("44491008", "SCT") || StartsWithNoCase(c.meaning, "fluoro");
}

bool IsAcquisition(const Code& c) {
    return c.Is("113611", "DCM") || c.Is("113612", "DCM") || c.Is("113613", "DCM") ||
           c.meaning.find("Acquisition") != std::string::npos;
}

Plane PlaneOf(const Code& c) {
    if (c.Is("113620", "DCM")) return Plane::A;
    if (c.Is("113621", "DCM")) return Plane::B;
    if (c.Is("113622", "DCM")) return Plane::Single;
    return Plane::Other;
}

// Filter thickness in mm from a NUM item; the template's unit is mm, a few others are converted.
std::optional<double> ThicknessMm(const Measured& m, std::string& problem) {
    if (!m.present) {
        return std::nullopt;
    }
    const std::string& unit = m.unit.value;
    const int shift = unit == "mm" ? 0 : unit == "cm" ? 1 : unit == "um" ? -3 : 99;
    if (shift == 99) {
        problem = "filter thickness unit '" + unit + "' unknown";
        return std::nullopt;
    }
    const auto value = ParseDecimalString(m.values.front(), shift);
    if (!value) {
        problem = "filter thickness '" + m.values.front() + "' is not a number";
    }
    return value;
}

Filter ReadFilter(DcmItem& container) {
    Filter filter;
    std::optional<double> minMm, maxMm;
    std::string problem;
    for (DcmItem* child : Children(container)) {
        const Code name = ConceptName(*child);
        if (Is(name, kFilterMaterial)) {
            filter.material = FirstCode(*child, DCM_ConceptCodeSequence);
        } else if (Is(name, kFilterType)) {
            filter.type = FirstCode(*child, DCM_ConceptCodeSequence);
        } else if (Is(name, kFilterMin)) {
            minMm = ThicknessMm(ReadMeasured(*child), problem);
        } else if (Is(name, kFilterMax)) {
            maxMm = ThicknessMm(ReadMeasured(*child), problem);
        }
    }
    if (!problem.empty()) {
        filter.problem = problem;
    } else if (minMm && maxMm) {
        filter.thicknessMm = (*minMm + *maxMm) / 2;
    } else if (minMm || maxMm) {
        filter.thicknessMm = minMm ? *minMm : *maxMm;
    } else {
        filter.problem = "filter thickness missing";
    }
    return filter;
}

bool IsMeanDerivation(DcmItem& kvpItem) {
    for (DcmItem* modifier : Children(kvpItem)) {
        if (Is(ConceptName(*modifier), kDerivation) &&
            StartsWithNoCase(FirstCode(*modifier, DCM_ConceptCodeSequence).meaning, "mean")) {
            return true;
        }
    }
    return false;
}

struct KvpValues {
    std::vector<double> all;
    std::optional<double> mean;  // given as such by the report
};

void ReadEventItems(DcmItem& item, Event& event, KvpValues& kvp, int depth) {
    if (depth > kMaxDepth) {
        return;
    }
    for (DcmItem* child : Children(item)) {
        const Code name = ConceptName(*child);
        if (Is(name, kEventUid)) {
            event.uid = GetString(*child, DCM_UID);
        } else if (Is(name, kDateTimeStarted)) {
            event.dateTime = GetString(*child, DCM_DateTime);
        } else if (Is(name, kEventType)) {
            event.type = FirstCode(*child, DCM_ConceptCodeSequence);
        } else if (Is(name, kAcquisitionPlane)) {
            event.plane = FirstCode(*child, DCM_ConceptCodeSequence);
        } else if (Is(name, kAcquisitionProtocol)) {
            event.protocol = TextOrCodeMeaning(*child);
        } else if (Is(name, kDoseAreaProduct)) {
            const Measured m = ReadMeasured(*child);
            if (m.present) {
                event.dapText = m.values.front() + " " + m.unit.value;
                const auto exponent = DapExponent(m.unit.value);
                const auto value = exponent ? ParseDecimalString(m.values.front(), *exponent) : std::nullopt;
                if (!exponent) {
                    event.dapProblem = "dose-area product unit '" + m.unit.value + "' unknown";
                } else if (!value) {
                    event.dapProblem = "dose-area product '" + m.values.front() + "' is not a number";
                } else {
                    event.dapGyCm2 = *value;
                }
            }
        } else if (Is(name, kKvp)) {
            const Measured m = ReadMeasured(*child);
            const bool mean = IsMeanDerivation(*child);
            for (const auto& text : m.values) {
                if (const auto v = ParseDecimalString(text)) {
                    kvp.all.push_back(*v);
                    if (mean && !kvp.mean) {
                        kvp.mean = *v;
                    }
                }
            }
        } else if (Is(name, kFilters)) {
            event.filters.push_back(ReadFilter(*child));
        } else {
            // Source, detector and mechanical data may sit in containers of their own.
            ReadEventItems(*child, event, kvp, depth + 1);
        }
    }
}

Event ReadEvent(DcmItem& container) {
    Event event;
    KvpValues kvp;
    ReadEventItems(container, event, kvp, 0);
    if (kvp.mean) {
        event.kvp = kvp.mean;
    } else if (!kvp.all.empty()) {
        double sum = 0;
        for (double v : kvp.all) {
            sum += v;
        }
        event.kvp = sum / static_cast<double>(kvp.all.size());
    }
    event.typeKind = IsFluoroscopy(event.type)    ? EventType::Fluoroscopy
                     : IsAcquisition(event.type) ? EventType::Acquisition
                                                 : EventType::Other;
    event.planeKind = PlaneOf(event.plane);
    return event;
}

void ReadDeviceParticipant(DcmItem& roleItem, Device& device) {
    for (DcmItem* child : Children(roleItem)) {
        const Code name = ConceptName(*child);
        const std::string text = [&] {
            std::string t = GetString(*child, DCM_TextValue);
            return t.empty() ? GetString(*child, DCM_UID) : t;
        }();
        if (Is(name, kDeviceName)) device.name = text;
        else if (Is(name, kDeviceManufacturer)) device.manufacturer = text;
        else if (Is(name, kDeviceModel)) device.model = text;
        else if (Is(name, kDeviceSerial)) device.serial = text;
        else if (Is(name, kObserverUid)) device.observerUid = text;
    }
}

struct TreeReader {
    Report& report;
    Device observer;          // from TID 1004
    Device participant;       // from TID 1021, first irradiating device
    bool haveParticipant = false;

    void Walk(DcmItem& item, int depth) {
        if (depth > kMaxDepth) {
            report.notes.push_back("content nested deeper than " + std::to_string(kMaxDepth) + " levels passed over");
            return;
        }
        for (DcmItem* child : Children(item)) {
            const Code name = ConceptName(*child);
            if (Is(name, kEvent)) {
                report.events.push_back(ReadEvent(*child));
                continue;
            }
            if (Is(name, kObserverUid) && observer.observerUid.empty()) {
                observer.observerUid = GetString(*child, DCM_UID);
            } else if (Is(name, kObserverName) && observer.name.empty()) {
                observer.name = GetString(*child, DCM_TextValue);
            } else if (Is(name, kObserverManufacturer) && observer.manufacturer.empty()) {
                observer.manufacturer = GetString(*child, DCM_TextValue);
            } else if (Is(name, kObserverModel) && observer.model.empty()) {
                observer.model = GetString(*child, DCM_TextValue);
            } else if (Is(name, kObserverSerial) && observer.serial.empty()) {
                observer.serial = GetString(*child, DCM_TextValue);
            } else if (Is(name, kDeviceRole) && !haveParticipant &&
                       Is(FirstCode(*child, DCM_ConceptCodeSequence), kIrradiatingDevice)) {
                ReadDeviceParticipant(*child, participant);
                haveParticipant = true;
                continue;
            }
            Walk(*child, depth + 1);
        }
    }
};

void FillDevice(Device& device, const Device& from) {
    auto fill = [](std::string& to, const std::string& v) {
        if (to.empty()) to = v;
    };
    fill(device.observerUid, from.observerUid);
    fill(device.name, from.name);
    fill(device.manufacturer, from.manufacturer);
    fill(device.model, from.model);
    fill(device.serial, from.serial);
}

void QuietDcmtk() {
    // DCMTK logs every oddity of a file to stderr; the reader reports what matters itself.
    static std::once_flag once;
    std::call_once(once, [] { OFLog::configure(OFLogger::OFF_LOG_LEVEL); });
}

Result<Report, ReadError> FromFileFormat(DcmFileFormat& file, std::string_view name) {
    DcmDataset* dataset = file.getDataset();
    if (dataset == nullptr || dataset->card() == 0) {
        return Failure<ReadError>{ReadError{ReadError::Kind::NotDicom, "no DICOM data"}};
    }
    const std::string sopClass = GetString(*dataset, DCM_SOPClassUID);
    const bool isSr = DSRTypes::sopClassUIDToDocumentType(OFString(sopClass.c_str())) != DSRTypes::DT_invalid;
    const Code root = ConceptName(*dataset);
    if (!Is(root, kDoseReport)) {
        if (!isSr) {
            const char* known = dcmFindNameOfUID(sopClass.c_str(), nullptr);
            return Failure<ReadError>{ReadError{ReadError::Kind::NotReport,
                                     sopClass.empty() ? std::string("no SOP class")
                                                      : "SOP class " + sopClass + (known ? std::string(" (") + known + ")" : "")}};
        }
        if (sopClass != UID_XRayRadiationDoseSRStorage) {
            return Failure<ReadError>{ReadError{ReadError::Kind::NotReport,
                                     "structured report whose root is not an X-ray radiation dose report" +
                                         (root.Empty() ? std::string() : " (" + root.meaning + ")")}};
        }
    }
    Report report;
    report.path = std::string(name);
    report.studyUid = GetString(*dataset, DCM_StudyInstanceUID);
    report.sopInstanceUid = GetString(*dataset, DCM_SOPInstanceUID);
    TreeReader reader{report, {}, {}, false};
    reader.Walk(*dataset, 0);
    FillDevice(report.device, reader.observer);
    FillDevice(report.device, reader.participant);
    Device equipment;
    equipment.manufacturer = GetString(*dataset, DCM_Manufacturer);
    equipment.model = GetString(*dataset, DCM_ManufacturerModelName);
    equipment.serial = GetString(*dataset, DCM_DeviceSerialNumber);
    equipment.name = GetString(*dataset, DCM_StationName);
    FillDevice(report.device, equipment);
    if (report.events.empty()) {
        report.notes.push_back("no projection X-ray irradiation events");
    }
    return report;
}

}  // namespace

std::string DescribeReadError(const ReadError& error) {
    switch (error.kind) {
        case ReadError::Kind::CannotOpen:
            return "cannot be read: " + error.detail;
        case ReadError::Kind::NotDicom:
            return "not a DICOM file: " + error.detail;
        case ReadError::Kind::NotReport:
            return "not an X-ray radiation dose report: " + error.detail;
    }
    return error.detail;
}

const char* EventTypeName(EventType type) {
    switch (type) {
        case EventType::Fluoroscopy: return "fluoroscopy";
        case EventType::Acquisition: return "acquisition";
        case EventType::Other: break;
    }
    return "other";
}

const char* PlaneName(Plane plane) {
    switch (plane) {
        case Plane::Single: return "single";
        case Plane::A: return "A";
        case Plane::B: return "B";
        case Plane::Other: break;
    }
    return "other";
}

std::optional<double> ParseDecimalString(std::string_view text, int exponentShift) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\0')) text.remove_suffix(1);
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
        if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
            return std::nullopt;
        }
    }
    if (text.empty() || text.size() > 64) {  // a DS has at most 16 characters
        return std::nullopt;
    }
    // Scale by rewriting the exponent, so that the result is the double nearest to the exact
    // decimal value (1.5E-4 Gy.m2 is 1.5 Gy.cm2, not 1.4999999999999998).
    std::string_view mantissa = text;
    long exponent = 0;
    if (const auto e = text.find_first_of("eE"); e != std::string_view::npos) {
        mantissa = text.substr(0, e);
        std::string_view digits = text.substr(e + 1);
        if (!digits.empty() && digits.front() == '+') digits.remove_prefix(1);
        const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), exponent);
        if (ec != std::errc() || end != digits.data() + digits.size() || exponent < -100000 || exponent > 100000) {
            return std::nullopt;
        }
    }
    if (mantissa.empty() || mantissa.find_first_of("eE+") != std::string_view::npos ||
        (mantissa.front() == '-' && mantissa.size() > 1 && mantissa[1] == '-')) {
        return std::nullopt;
    }
    std::string scaled(mantissa);
    scaled += 'e';
    scaled += std::to_string(exponent + exponentShift);
    double value = 0;
    const auto [end, ec] = std::from_chars(scaled.data(), scaled.data() + scaled.size(), value, std::chars_format::general);
    if (end != scaled.data() + scaled.size() || (ec != std::errc() && ec != std::errc::result_out_of_range) ||
        !std::isfinite(value)) {
        return std::nullopt;
    }
    if (ec == std::errc::result_out_of_range) {
        return std::nullopt;  // beyond a double, up or down
    }
    return value;
}

std::optional<int> DapExponent(std::string_view unit) {
    // Exponent of ten of a UCUM prefix, or nothing.
    auto prefix = [](std::string_view p) -> std::optional<int> {
        if (p.empty()) return 0;
        if (p == "d") return -1;
        if (p == "c") return -2;
        if (p == "m") return -3;
        if (p == "u") return -6;
        return std::nullopt;
    };
    const auto gy = unit.find("Gy.");
    if (gy == std::string_view::npos || unit.size() < gy + 5 || unit.substr(unit.size() - 2) != "m2") {
        return std::nullopt;
    }
    const auto dosePrefix = prefix(unit.substr(0, gy));
    const auto areaPrefix = prefix(unit.substr(gy + 3, unit.size() - 2 - (gy + 3)));
    if (!dosePrefix || !areaPrefix) {
        return std::nullopt;
    }
    // 1 [10^d Gy · (10^a m)²] = 10^(d + 2a + 4) Gy·cm²
    return *dosePrefix + 2 * *areaPrefix + 4;
}

Result<Report, ReadError> ReadReportFile(const std::filesystem::path& path) {
    QuietDcmtk();
    std::error_code ec;
    const auto status = std::filesystem::status(path, ec);
    if (ec || !std::filesystem::exists(status)) {
        return Failure<ReadError>{ReadError{ReadError::Kind::CannotOpen, ec ? ec.message() : "no such file"}};
    }
    if (!std::filesystem::is_regular_file(status)) {
        return Failure<ReadError>{ReadError{ReadError::Kind::CannotOpen, "not a regular file"}};
    }
    // DCMTK reads the file itself: values longer than DCM_MaxReadLength stay on disk until asked
    // for, so a damaged length field costs nothing unless the value is one Mirelo reads.
    DcmFileFormat file;
    const OFCondition cond =
        file.loadFile(OFFilename(path.c_str()), EXS_Unknown, EGL_noChange, DCM_MaxReadLength, ERM_autoDetect);
    if (cond.bad()) {
        return Failure<ReadError>{ReadError{cond == EC_InvalidFilename ? ReadError::Kind::CannotOpen : ReadError::Kind::NotDicom,
                                 cond.text()}};
    }
    return FromFileFormat(file, path.string());
}

}  // namespace mirelo::rdsr
