#include "rdsr/report_reader.h"

#include "rdsr/dap_unit.h"
#include "rdsr/nesting_scan.h"

#include <dcmtk/config/osconfig.h>  // must come first of DCMTK's headers
#include <dcmtk/dcmdata/dcdeftag.h>
#include <dcmtk/dcmdata/dcfilefo.h>
#include <dcmtk/dcmdata/dcistrmb.h>
#include <dcmtk/dcmdata/dcitem.h>
#include <dcmtk/dcmdata/dcmetinf.h>
#include <dcmtk/dcmdata/dcsequen.h>
#include <dcmtk/dcmdata/dcspchrs.h>
#include <dcmtk/dcmdata/dcuid.h>
#include <dcmtk/dcmsr/dsrtypes.h>
#include <dcmtk/oflog/oflog.h>
#include <dcmtk/ofstd/ofchrenc.h>

#include <algorithm>
#include <array>
#include <initializer_list>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <mutex>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "common/ascii.h"
#include "common/path_text.h"

namespace mirelo::rdsr {
namespace {

// The concepts Mirelo reads; everything else in a report is passed over.
struct Concept {
    const char* value;
    const char* scheme;
};
constexpr Concept kDoseReport{"113701", "DCM"};           // X-Ray Radiation Dose Report (root)
constexpr Concept kProcedureReported{"121058", "DCM"};
constexpr Concept kEvent{"113706", "DCM"};                // Irradiation Event X-Ray Data
constexpr Concept kCtEvent{"113819", "DCM"};              // CT Acquisition
constexpr Concept kEventUid{"113769", "DCM"};             // Irradiation Event UID
constexpr Concept kDateTimeStarted{"111526", "DCM"};
constexpr Concept kEventType{"113721", "DCM"};
constexpr Concept kAcquisitionPlane{"113764", "DCM"};
constexpr Concept kAcquisitionProtocol{"125203", "DCM"};
constexpr Concept kDoseAreaProduct{"122130", "DCM"};      // per event
constexpr Concept kDapTotal{"113722", "DCM"};             // accumulated, per plane
constexpr Concept kFluoroDapTotal{"113726", "DCM"};
constexpr Concept kAcquisitionDapTotal{"113727", "DCM"};
constexpr Concept kTotalFluoroTime{"113730", "DCM"};
constexpr Concept kIrradiationDuration{"113742", "DCM"};
constexpr Concept kExposureTime{"113824", "DCM"};
constexpr Concept kNumberOfPulses{"113768", "DCM"};
constexpr Concept kDoseRp{"113738", "DCM"};
constexpr Concept kFieldArea{"113790", "DCM"};            // Collimated Field Area
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
// Deeper nesting than any template needs is not followed.
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

// An element's value as its bytes, before any character set is applied; none for no element.
std::string RawString(DcmElement* element) {
    if (element == nullptr || element->getLengthField() > kMaxValueBytes) {
        return {};
    }
    switch (element->ident()) {
        case EVR_CS: case EVR_DS: case EVR_DT: case EVR_LO: case EVR_LT: case EVR_SH:
        case EVR_ST: case EVR_UC: case EVR_UI: case EVR_UR: case EVR_UT: {
            // A string of one value (no backslash, no NUL): DCMTK's normalised copy would only lose
            // spaces at its ends, which the trim below removes anyway, so it is read in place.
            char* text = nullptr;
            Uint32 length = 0;
            if (element->getString(text, length).bad()) {
                return {};
            }
            const std::string_view v = text == nullptr ? std::string_view() : std::string_view(text, length);
            if (v.find_first_of(std::string_view("\\\0", 2)) != std::string_view::npos) {
                break;  // several values, or bytes DCMTK treats on its own: its way
            }
            const auto first = v.find_first_not_of(" \t\r\n");
            if (first == std::string_view::npos) {
                return {};
            }
            return std::string(v.substr(first, v.find_last_not_of(" \t\r\n") - first + 1));
        }
        default:
            break;
    }
    OFString value;
    if (element->getOFStringArray(value).bad()) {
        return {};
    }
    std::string_view v(value.c_str(), value.length());
    const auto first = v.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) {
        return {};
    }
    return std::string(v.substr(first, v.find_last_not_of(" \t\r\n") - first + 1));
}

// A value of the data set (looked up by its tag) as its bytes.
std::string RawString(DcmItem& item, const DcmTagKey& tag) {
    DcmElement* element = nullptr;
    if (item.findAndGetElement(tag, element).bad()) {
        return {};
    }
    return RawString(element);
}

// A value that is ASCII by definition (UIDs, dates, numbers, code strings); a damaged one still
// comes out as UTF-8, its other bytes replaced.
std::string AsciiString(std::string value) {
    if (std::any_of(value.begin(), value.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; })) {
        value = ValidUtf8(value);
    }
    return value;
}
std::string GetString(DcmItem& item, const DcmTagKey& tag) { return AsciiString(RawString(item, tag)); }
std::string GetString(DcmElement* element) { return AsciiString(RawString(element)); }

bool TagIs(const DcmObject& object, const DcmTagKey& tag) {
    return object.getGTag() == tag.getGroup() && object.getETag() == tag.getElement();
}

// The first item of a sequence, or none.
DcmItem* FirstItem(DcmSequenceOfItems* sequence) {
    return sequence == nullptr ? nullptr : dynamic_cast<DcmItem*>(sequence->nextInContainer(nullptr));
}

// The elements of one content item Mirelo looks at, found in one pass over the item (a look-up per
// tag walks the item's list from its start each time).
struct Content {
    DcmItem* item = nullptr;
    DcmSequenceOfItems* conceptName = nullptr;  // Concept Name Code Sequence
    DcmSequenceOfItems* conceptCode = nullptr;  // Concept Code Sequence (the value of a CODE item)
    DcmSequenceOfItems* measured = nullptr;     // Measured Value Sequence
    DcmSequenceOfItems* children = nullptr;     // Content Sequence
    DcmElement* text = nullptr;                 // Text Value
    DcmElement* uid = nullptr;                  // UID
    DcmElement* dateTime = nullptr;             // DateTime
};

Content View(DcmItem& item) {
    Content c;
    c.item = &item;
    const auto sequence = [](DcmObject* object) {
        return object->ident() == EVR_SQ ? static_cast<DcmSequenceOfItems*>(object) : nullptr;
    };
    for (DcmObject* object = item.nextInContainer(nullptr); object != nullptr; object = item.nextInContainer(object)) {
        if (object->getGTag() != 0x0040) continue;
        if (TagIs(*object, DCM_ConceptNameCodeSequence)) c.conceptName = sequence(object);
        else if (TagIs(*object, DCM_ConceptCodeSequence)) c.conceptCode = sequence(object);
        else if (TagIs(*object, DCM_MeasuredValueSequence)) c.measured = sequence(object);
        else if (TagIs(*object, DCM_ContentSequence)) c.children = sequence(object);
        else if (TagIs(*object, DCM_TextValue)) c.text = static_cast<DcmElement*>(object);
        else if (TagIs(*object, DCM_UID)) c.uid = static_cast<DcmElement*>(object);
        else if (TagIs(*object, DCM_DateTime)) c.dateTime = static_cast<DcmElement*>(object);
    }
    return c;
}

// Texts in the file's character set, to UTF-8 with DCMTK's conversion. A value that DCMTK cannot
// convert is converted in parts; what still fails becomes U+FFFD, so that no raw byte of another
// character set ever reaches an output.
class Decoder {
public:
    explicit Decoder(DcmItem& dataset) : declared_(GetString(dataset, DCM_SpecificCharacterSet)) {
        const std::string terms = [&] {
            std::string t = RawString(dataset, DCM_SpecificCharacterSet);
            for (const char* plain : {"ISO_IR 6", "ISO 2022 IR 6"}) {
                if (t == plain) t.clear();
            }
            return t;
        }();
        if (terms.empty()) {
            mode_ = Mode::Ascii;
        } else if (terms == "ISO_IR 192") {
            mode_ = Mode::Utf8;
        } else if (converter_.selectCharacterSet(OFString(terms.c_str())).good()) {
            mode_ = Mode::Convert;
        } else if (terms.find("ISO 2022 IR 87") != std::string::npos || terms.find("ISO 2022 IR 159") != std::string::npos) {
            // DCMTK on GNU iconv cannot select the Japanese code extensions; the same iconv, through
            // DCMTK's encoding class, reads their kanji as ISO-2022-JP-2.
            mode_ = jis_.selectEncoding("ISO-2022-JP-2", "UTF-8").good() ? Mode::Japanese : Mode::Unknown;
        } else {
            mode_ = Mode::Unknown;
        }
    }

    std::string operator()(std::string raw) {
        if (std::all_of(raw.begin(), raw.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80 && c != '\x1b'; })) {
            return raw;
        }
        bool replaced = false;
        std::string text;
        if (mode_ == Mode::Convert) {
            text = Convert(raw, replaced);
        } else if (mode_ == Mode::Japanese) {
            text = Japanese(raw, replaced);
        } else if (mode_ == Mode::Unknown) {
            for (char c : raw) {
                const bool plain = static_cast<unsigned char>(c) < 0x80 && c != '\x1b';
                text += plain ? std::string(1, c) : std::string("\xEF\xBF\xBD");
                replaced = replaced || !plain;
            }
        } else {
            // Declared ASCII or UTF-8: what is valid UTF-8 is kept (devices that write UTF-8 without
            // saying so), the rest replaced.
            text = raw;
        }
        bool invalid = false;
        text = ValidUtf8(text, &invalid);
        replaced_ = replaced_ || replaced || invalid;
        return text;
    }

    // A note for the report when something was replaced.
    std::string Note() const {
        if (!replaced_) return {};
        const std::string set = declared_.empty() ? std::string("the default character set (ASCII)") : "'" + declared_ + "'";
        return std::string("text bytes that are not valid in ") + set + " replaced by U+FFFD" +
               (mode_ == Mode::Unknown ? " (character set not known to the DICOM library)" : "");
    }
    const std::string& Declared() const { return declared_; }

private:
    enum class Mode { Ascii, Utf8, Convert, Japanese, Unknown };

    // ISO 2022 with JIS X 0201 as the default set and JIS X 0208 / 0212 after their escapes: each
    // part after an escape to a multi-byte set goes to iconv; single-byte parts are ASCII, and
    // 0xA1-0xDF the half-width katakana of JIS X 0201 (U+FF61-U+FF9F).
    std::string Japanese(const std::string& raw, bool& replaced) {
        std::string text;
        std::size_t start = 0;
        while (start < raw.size()) {
            std::size_t next = raw.find('\x1b', start + 1);
            if (next == std::string::npos) next = raw.size();
            std::string part = raw.substr(start, next - start);
            start = next;
            if (part.rfind("\x1b$", 0) == 0) {
                OFString out;
                part += "\x1b(B";  // back to ASCII, as the standard's delimiters do
                if (jis_.convertString(OFString(part.data(), part.size()), out).good()) {
                    text.append(out.c_str(), out.length());
                } else {
                    text += "\xEF\xBF\xBD";
                    replaced = true;
                }
                continue;
            }
            if (part.size() >= 3 && part[0] == '\x1b') part.erase(0, 3);  // ESC ( B, ESC ( J, ESC ) I
            for (char c : part) {
                const auto b = static_cast<unsigned char>(c);
                if (b < 0x80 && b != 0x1b) {
                    text += c;
                } else if (b >= 0xA1 && b <= 0xDF) {
                    const unsigned cp = 0xFF61 + (b - 0xA1);
                    text += static_cast<char>(0xE0 | (cp >> 12));
                    text += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
                    text += static_cast<char>(0x80 | (cp & 0x3F));
                } else {
                    text += "\xEF\xBF\xBD";
                    replaced = true;
                }
            }
        }
        return text;
    }

    std::string Convert(const std::string& raw, bool& replaced) {
        OFString out;
        if (converter_.convertString(OFString(raw.data(), raw.size()), out, "\\").good()) {
            return std::string(out.c_str(), out.length());
        }
        // In parts: each escape sequence starts a part that carries its own character set.
        std::string text;
        std::size_t start = 0;
        while (start < raw.size()) {
            std::size_t next = raw.find('\x1b', start + 1);
            if (next == std::string::npos) next = raw.size();
            const std::string part = raw.substr(start, next - start);
            if (converter_.convertString(OFString(part.data(), part.size()), out, "\\").good()) {
                text.append(out.c_str(), out.length());
            } else if (part.find('\x1b') == std::string::npos) {
                for (char c : part) {  // a single-byte set: byte by byte
                    const std::string one(1, c);
                    if (converter_.convertString(OFString(one.data(), 1), out).good()) {
                        text.append(out.c_str(), out.length());
                    } else {
                        text += "\xEF\xBF\xBD";
                        replaced = true;
                    }
                }
            } else {
                text += "\xEF\xBF\xBD";
                replaced = true;
            }
            start = next;
        }
        return text;
    }

    std::string declared_;
    Mode mode_ = Mode::Ascii;
    DcmSpecificCharacterSet converter_;
    OFCharacterEncoding jis_;
    bool replaced_ = false;
};

// What reading one file needs beside the data set.
struct Context {
    Decoder& text;
};

std::string GetText(Context& cx, DcmItem& item, const DcmTagKey& tag) { return cx.text(RawString(item, tag)); }
std::string GetText(Context& cx, DcmElement* element) { return cx.text(RawString(element)); }

// A code sequence's first item as a code, its elements found in one pass.
Code FirstCode(Context& cx, DcmSequenceOfItems* sequence) {
    DcmItem* codeItem = FirstItem(sequence);
    if (codeItem == nullptr) {
        return {};
    }
    DcmElement *value = nullptr, *longValue = nullptr, *urnValue = nullptr, *scheme = nullptr, *meaning = nullptr;
    for (DcmObject* object = codeItem->nextInContainer(nullptr); object != nullptr; object = codeItem->nextInContainer(object)) {
        if (object->getGTag() != 0x0008) continue;
        auto* element = static_cast<DcmElement*>(object);
        if (TagIs(*object, DCM_CodeValue)) value = element;
        else if (TagIs(*object, DCM_LongCodeValue)) longValue = element;
        else if (TagIs(*object, DCM_URNCodeValue)) urnValue = element;
        else if (TagIs(*object, DCM_CodingSchemeDesignator)) scheme = element;
        else if (TagIs(*object, DCM_CodeMeaning)) meaning = element;
    }
    Code code;
    code.value = RawString(value);
    if (code.value.empty()) {
        code.value = RawString(longValue);
    }
    if (code.value.empty()) {
        code.value = RawString(urnValue);
    }
    code.value = cx.text(std::move(code.value));
    code.scheme = GetText(cx, scheme);
    code.meaning = GetText(cx, meaning);
    return code;
}

Code ConceptName(Context& cx, const Content& c) { return FirstCode(cx, c.conceptName); }
Code ConceptCode(Context& cx, const Content& c) { return FirstCode(cx, c.conceptCode); }

// The content items below `c`, or none, one step along the sequence each (getItem(i) walks the
// list from its start for every i, which makes a report of many events quadratic).
std::vector<Content> Children(const Content& c) {
    std::vector<Content> items;
    if (c.children == nullptr) {
        return items;
    }
    items.reserve(c.children->card());
    for (DcmObject* object = c.children->nextInContainer(nullptr); object != nullptr;
         object = c.children->nextInContainer(object)) {
        if (auto* child = dynamic_cast<DcmItem*>(object)) {
            items.push_back(View(*child));
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

Measured ReadMeasured(Context& cx, const Content& c) {
    Measured m;
    DcmItem* mv = FirstItem(c.measured);
    if (mv == nullptr) {
        return m;
    }
    DcmElement* numeric = nullptr;
    DcmSequenceOfItems* units = nullptr;
    for (DcmObject* object = mv->nextInContainer(nullptr); object != nullptr; object = mv->nextInContainer(object)) {
        if (TagIs(*object, DCM_NumericValue)) {
            numeric = static_cast<DcmElement*>(object);
        } else if (TagIs(*object, DCM_MeasurementUnitsCodeSequence) && object->ident() == EVR_SQ) {
            units = static_cast<DcmSequenceOfItems*>(object);
        }
    }
    const std::string all = RawString(numeric);
    if (all.empty()) {
        return m;
    }
    m.present = true;
    std::size_t start = 0;
    while (true) {
        const auto end = all.find('\\', start);
        m.values.push_back(cx.text(Trim(all.substr(start, end == std::string::npos ? std::string::npos : end - start))));
        if (end == std::string::npos) {
            break;
        }
        start = end + 1;
    }
    m.unit = FirstCode(cx, units);
    return m;
}

std::string TextOrCodeMeaning(Context& cx, const Content& c) {
    std::string text = GetText(cx, c.text);
    if (text.empty()) {
        text = ConceptCode(cx, c).meaning;
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

// A NUM item's first value in a unit of `units` (UCUM code and power of ten to the wanted unit).
struct UnitShift {
    const char* unit;
    int shift;
};
std::optional<double> ValueIn(const Measured& m, std::initializer_list<UnitShift> units, const char* what, std::string& problem) {
    if (!m.present) {
        return std::nullopt;
    }
    for (const UnitShift& u : units) {
        if (m.unit.value == u.unit) {
            const auto value = ParseDecimalString(m.values.front(), u.shift);
            if (!value && problem.empty()) {
                problem = std::string(what) + " '" + m.values.front() + "' is not a number";
            }
            return value;
        }
    }
    if (problem.empty()) {
        problem = std::string(what) + " unit '" + m.unit.value + "' unknown";
    }
    return std::nullopt;
}

// Filter thickness in mm from a NUM item; the template's unit is mm, a few others are converted.
std::optional<double> ThicknessMm(const Measured& m, std::string& problem) {
    return ValueIn(m, {{"mm", 0}, {"cm", 1}, {"um", -3}}, "filter thickness", problem);
}

Filter ReadFilter(Context& cx, const Content& container) {
    Filter filter;
    std::optional<double> minMm, maxMm;
    std::string problem;
    for (const Content& child : Children(container)) {
        const Code name = ConceptName(cx, child);
        if (Is(name, kFilterMaterial)) {
            filter.material = ConceptCode(cx, child);
        } else if (Is(name, kFilterType)) {
            filter.type = ConceptCode(cx, child);
        } else if (Is(name, kFilterMin)) {
            minMm = ThicknessMm(ReadMeasured(cx, child), problem);
        } else if (Is(name, kFilterMax)) {
            maxMm = ThicknessMm(ReadMeasured(cx, child), problem);
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

enum class Derivation { None, Mean, Extreme };

Derivation DerivationOf(Context& cx, const Content& numItem) {
    for (const Content& modifier : Children(numItem)) {
        if (!Is(ConceptName(cx, modifier), kDerivation)) {
            continue;
        }
        const Code how = ConceptCode(cx, modifier);
        if (how.Is("R-00317", "SRT") || how.Is("373098007", "SCT") || StartsWithNoCase(how.meaning, "mean")) {
            return Derivation::Mean;
        }
        return Derivation::Extreme;  // maximum, minimum, or anything else that is not one pulse
    }
    return Derivation::None;
}

struct KvpValues {
    std::vector<double> pulses;  // values without a derivation, 0 kV included
    std::optional<double> mean;  // an item derived as the mean
    bool extreme = false;        // a maximum (or minimum) was there and left out
};

void ReadEventItems(Context& cx, const Content& item, Event& event, KvpValues& kvp, int depth) {
    if (depth > kMaxDepth) {
        return;
    }
    std::string ignored;
    for (const Content& child : Children(item)) {
        const Code name = ConceptName(cx, child);
        if (Is(name, kEventUid)) {
            event.uid = GetString(child.uid);
        } else if (Is(name, kDateTimeStarted)) {
            event.dateTime = GetString(child.dateTime);
        } else if (Is(name, kEventType)) {
            event.type = ConceptCode(cx, child);
        } else if (Is(name, kAcquisitionPlane)) {
            event.plane = ConceptCode(cx, child);
        } else if (Is(name, kAcquisitionProtocol)) {
            event.protocol = TextOrCodeMeaning(cx, child);
        } else if (Is(name, kDoseAreaProduct)) {
            const Measured m = ReadMeasured(cx, child);
            if (m.present) {
                event.dapValue = m.values.front();
                event.dapUnit = m.unit.value;
                event.dapText = m.values.front() + " " + m.unit.value;
                const auto exponent = DoseAreaExponent(m.unit.value);
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
            const Measured m = ReadMeasured(cx, child);
            const Derivation how = DerivationOf(cx, child);
            for (const auto& text : m.values) {
                const auto v = ParseDecimalString(text);
                if (!v) continue;
                if (how == Derivation::Mean) {
                    if (!kvp.mean) kvp.mean = *v;
                } else if (how == Derivation::Extreme) {
                    kvp.extreme = true;
                } else {
                    kvp.pulses.push_back(*v);
                }
            }
        } else if (Is(name, kFilters)) {
            event.filters.push_back(ReadFilter(cx, child));
        } else if (Is(name, kIrradiationDuration)) {
            event.durationS = ValueIn(ReadMeasured(cx, child), {{"s", 0}, {"ms", -3}}, "", ignored);
        } else if (Is(name, kExposureTime)) {
            event.exposureTimeMs = ValueIn(ReadMeasured(cx, child), {{"ms", 0}, {"s", 3}}, "", ignored);
        } else if (Is(name, kNumberOfPulses)) {
            event.pulses = ValueIn(ReadMeasured(cx, child), {{"{pulses}", 0}, {"1", 0}, {"{pulse}", 0}}, "", ignored);
        } else if (Is(name, kDoseRp)) {
            event.doseRpGy = ValueIn(ReadMeasured(cx, child), {{"Gy", 0}, {"mGy", -3}, {"uGy", -6}}, "", ignored);
        } else if (Is(name, kFieldArea)) {
            event.fieldAreaCm2 = ValueIn(ReadMeasured(cx, child), {{"m2", 4}, {"cm2", 0}, {"mm2", -2}}, "", ignored);
        } else {
            // Source, detector and mechanical data may sit in containers of their own.
            ReadEventItems(cx, child, event, kvp, depth + 1);
        }
    }
}

Event ReadEvent(Context& cx, const Content& container) {
    Event event;
    KvpValues kvp;
    ReadEventItems(cx, container, event, kvp, 0);
    std::size_t fired = 0;
    double sum = 0;
    for (double v : kvp.pulses) {
        if (v > 0) {
            sum += v;
            ++fired;
        }
    }
    event.kvpPulsesWritten = kvp.pulses.size();
    if (kvp.mean) {
        event.kvp = kvp.mean;
        event.kvpSource = KvpSource::StatedMean;
    } else if (fired > 0) {
        event.kvp = sum / static_cast<double>(fired);
        event.kvpPulses = fired;
        event.kvpSource = kvp.pulses.size() == 1 ? KvpSource::Single : KvpSource::PulseMean;
    } else if (!kvp.pulses.empty()) {
        event.kvpProblem = "no pulse fired (every tube voltage 0 kV)";
    } else if (kvp.extreme) {
        event.kvpProblem = "tube voltage given only as a maximum or minimum";
    }
    event.typeKind = IsFluoroscopy(event.type)    ? EventType::Fluoroscopy
                     : IsAcquisition(event.type) ? EventType::Acquisition
                                                 : EventType::Other;
    event.planeKind = PlaneOf(event.plane);
    return event;
}

void ReadDeviceParticipant(Context& cx, const Content& roleItem, Device& device) {
    for (const Content& child : Children(roleItem)) {
        const Code name = ConceptName(cx, child);
        const std::string text = [&] {
            std::string t = GetText(cx, child.text);
            return t.empty() ? GetString(child.uid) : t;
        }();
        if (Is(name, kDeviceName)) device.name = text;
        else if (Is(name, kDeviceManufacturer)) device.manufacturer = text;
        else if (Is(name, kDeviceModel)) device.model = text;
        else if (Is(name, kDeviceSerial)) device.serial = text;
        else if (Is(name, kObserverUid)) device.observerUid = text;
    }
}

void AddTo(std::optional<double>& total, const std::optional<double>& value) {
    if (value) total = total.value_or(0) + *value;
}

struct TreeReader {
    Context& cx;
    Report& report;
    Device observer;          // from TID 1004
    Device participant;       // from TID 1021, first irradiating device
    bool haveParticipant = false;
    bool ctEvents = false;

    std::optional<double> TotalDap(const Content& item) {
        const Measured m = ReadMeasured(cx, item);
        if (!m.present) return std::nullopt;
        const auto exponent = DoseAreaExponent(m.unit.value);
        const auto value = exponent ? ParseDecimalString(m.values.front(), *exponent) : std::nullopt;
        if (!value && report.totals.problem.empty()) {
            report.totals.problem = "accumulated dose-area product '" + m.values.front() + " " + m.unit.value + "' not readable";
        }
        return value;
    }

    void Walk(const Content& item, int depth) {
        if (depth > kMaxDepth) {
            report.notes.push_back("content nested deeper than " + std::to_string(kMaxDepth) + " levels passed over");
            return;
        }
        for (const Content& child : Children(item)) {
            Visit(child, ConceptName(cx, child), depth);
        }
    }

    // One content item below a container at `depth`, its concept name already read.
    void Visit(const Content& child, const Code& name, int depth) {
        if (Is(name, kEvent)) {
            report.events.push_back(ReadEvent(cx, child));
            return;
        }
        if (Is(name, kCtEvent)) {
            ctEvents = true;
            return;
        }
        if (Is(name, kDapTotal)) {
            AddTo(report.totals.dapGyCm2, TotalDap(child));
        } else if (Is(name, kFluoroDapTotal)) {
            AddTo(report.totals.fluoroDapGyCm2, TotalDap(child));
        } else if (Is(name, kAcquisitionDapTotal)) {
            AddTo(report.totals.acquisitionDapGyCm2, TotalDap(child));
        } else if (Is(name, kTotalFluoroTime)) {
            AddTo(report.totals.fluoroTimeS, ValueIn(ReadMeasured(cx, child), {{"s", 0}}, "total fluoroscopy time", report.totals.problem));
        } else if (Is(name, kObserverUid) && observer.observerUid.empty()) {
            observer.observerUid = GetString(child.uid);
        } else if (Is(name, kObserverName) && observer.name.empty()) {
            observer.name = GetText(cx, child.text);
        } else if (Is(name, kObserverManufacturer) && observer.manufacturer.empty()) {
            observer.manufacturer = GetText(cx, child.text);
        } else if (Is(name, kObserverModel) && observer.model.empty()) {
            observer.model = GetText(cx, child.text);
        } else if (Is(name, kObserverSerial) && observer.serial.empty()) {
            observer.serial = GetText(cx, child.text);
        } else if (Is(name, kDeviceRole) && !haveParticipant &&
                   Is(ConceptCode(cx, child), kIrradiatingDevice)) {
            ReadDeviceParticipant(cx, child, participant);
            haveParticipant = true;
            return;
        }
        Walk(child, depth + 1);
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

// The whole file into `bytes`; false (and nothing read) when it cannot be, DCMTK then says why,
// or when it is larger than any dose report (DCMTK then leaves its long values on disk).
bool ReadWhole(const std::filesystem::path& path, std::string& bytes) {
    constexpr std::uintmax_t kMaxInMemory = 1024u * 1024u * 1024u;
    std::ifstream in(path, std::ios::binary);
    std::error_code ec;
    const auto size = std::filesystem::file_size(path, ec);
    if (!in || ec || size > kMaxInMemory) return false;
    bytes.resize(static_cast<std::size_t>(size));
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (static_cast<std::uintmax_t>(in.gcount()) != size) {
        bytes.clear();
        return false;
    }
    return true;
}

std::string TagText(std::uint16_t group, std::uint16_t element) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string text = "(gggg,eeee)";
    for (int i = 0; i < 4; ++i) {
        text[static_cast<std::size_t>(4 - i)] = kHex[(group >> (4 * i)) & 0xF];
        text[static_cast<std::size_t>(9 - i)] = kHex[(element >> (4 * i)) & 0xF];
    }
    return text;
}

Failure<ReadError> Other(std::string what) { return Failure{ReadError{ReadError::Kind::Other, std::move(what)}}; }

// What kind of X-ray dose report a "Procedure reported" item of the root says, when it is not
// projection X-ray.
std::string OtherProcedure(Context& cx, const Content& child, const Code& name) {
    if (!Is(name, kProcedureReported)) return {};
    const Code p = ConceptCode(cx, child);
    if (p.Is("P5-08000", "SRT") || p.Is("77477000", "SCT") || StartsWithNoCase(p.meaning, "computed tomography")) {
        return "CT radiation dose report: not a projection X-ray report";
    }
    if (p.Is("P5-40010", "SRT") || p.Is("71651007", "SCT") || StartsWithNoCase(p.meaning, "mammograph")) {
        return "mammography radiation dose report: skipped (not a body the tables describe)";
    }
    return {};
}

// The root's content items when DCMTK parses them one at a time from the file's bytes (a report
// of many events then never holds more than one event's tree): where each item lies, and the
// data set's transfer syntax.
struct ItemBytes {
    std::string_view bytes;
    const std::vector<NestingScan::Span>* items = nullptr;
    E_TransferSyntax xfer = EXS_Unknown;
};

// Calls `visit` for each content item of the root, in order: from the tree, or each parsed from
// its bytes and freed after. A parse failure is returned as DCMTK's condition.
template <typename Visit>
OFCondition ForEachRootChild(const Content& root, const ItemBytes* parts, Visit&& visit) {
    if (parts == nullptr) {
        for (const Content& child : Children(root)) {
            visit(child);
        }
        return EC_Normal;
    }
    for (const NestingScan::Span& span : *parts->items) {
        constexpr std::uint64_t kItemHeader = 8;  // tag and length; items have no VR
        DcmItem item(DcmTag(DCM_Item), span.length);
        DcmInputBufferStream stream;
        stream.setBuffer(parts->bytes.data() + span.begin + kItemHeader,
                         static_cast<offile_off_t>(span.end - span.begin - kItemHeader));
        stream.setEos();
        item.transferInit();
        const OFCondition cond = item.read(stream, parts->xfer, EGL_noChange, DCM_MaxReadLength);
        item.transferEnd();
        if (cond.bad()) {
            return cond;
        }
        visit(View(item));
    }
    return EC_Normal;
}

Result<Report, ReadError> FromFileFormat(DcmFileFormat& file, std::string_view name, const ReadOptions& options,
                                         const ItemBytes* parts) {
    DcmDataset* dataset = file.getDataset();
    DcmMetaInfo* meta = file.getMetaInfo();
    std::string mediaClass;
    if (OFString value; meta != nullptr && meta->findAndGetOFString(DCM_MediaStorageSOPClassUID, value).good()) {
        mediaClass = Trim(value.c_str());
    }
    if (mediaClass == UID_MediaStorageDirectoryStorage) {
        return Other("DICOMDIR: skipped");
    }
    if (dataset == nullptr || dataset->card() == 0) {
        return Failure{ReadError{ReadError::Kind::NotDicom, "no DICOM data"}};
    }
    const std::string sopClass = GetString(*dataset, DCM_SOPClassUID);
    if (sopClass.empty()) {
        return Failure{ReadError{ReadError::Kind::Unreadable, "no SOP class: not a DICOM object Mirelo knows"}};
    }
    Decoder decoder(*dataset);
    Context cx{decoder};
    const bool isSr = DSRTypes::sopClassUIDToDocumentType(OFString(sopClass.c_str())) != DSRTypes::DT_invalid;
    const char* known = dcmFindNameOfUID(sopClass.c_str(), nullptr);
    std::string className = "SOP class " + sopClass;
    if (known != nullptr) {  // "SecondaryCaptureImageStorage" as words
        className.clear();
        for (const char* p = known; *p != '\0'; ++p) {
            if (p != known && *p >= 'A' && *p <= 'Z' && p[-1] >= 'a' && p[-1] <= 'z') className += ' ';
            className += *p;
        }
    }
    const Content rootContent = View(*dataset);
    const Code root = ConceptName(cx, rootContent);
    if (!Is(root, kDoseReport) && parts != nullptr) {
        // Parsed whole, a damaged item would have been named first.
        if (const OFCondition cond = ForEachRootChild(rootContent, parts, [](const Content&) {}); cond.bad()) {
            return Failure{ReadError{ReadError::Kind::NotDicom, cond.text()}};
        }
    }
    if (!Is(root, kDoseReport)) {
        if (!isSr) {
            return Other(className + ": not a dose report, skipped");
        }
        return Other("structured report (" + className + (root.Empty() ? std::string() : ", '" + root.meaning + "'") +
                     "): not a dose report, skipped");
    }
    Report report;
    TreeReader reader{cx, report, {}, {}, false, false};
    std::string other;  // a CT or mammography report: nothing else of it matters
    const OFCondition cond = ForEachRootChild(rootContent, parts, [&](const Content& child) {
        const Code childName = ConceptName(cx, child);
        if (other.empty()) other = OtherProcedure(cx, child, childName);
        if (other.empty()) reader.Visit(child, childName, 0);
    });
    if (cond.bad()) {
        return Failure{ReadError{ReadError::Kind::NotDicom, cond.text()}};
    }
    if (!other.empty()) {
        return Other(other);
    }
    report.path = std::string(name);
    report.studyUid = GetString(*dataset, DCM_StudyInstanceUID);
    report.sopInstanceUid = GetString(*dataset, DCM_SOPInstanceUID);
    report.characterSet = decoder.Declared();
    if (report.events.empty() && reader.ctEvents) {
        return Other("CT radiation dose report: not a projection X-ray report");
    }
    FillDevice(report.device, reader.observer);
    FillDevice(report.device, reader.participant);
    Device equipment;
    equipment.manufacturer = GetText(cx, *dataset, DCM_Manufacturer);
    equipment.model = GetText(cx, *dataset, DCM_ManufacturerModelName);
    equipment.serial = GetText(cx, *dataset, DCM_DeviceSerialNumber);
    equipment.name = GetText(cx, *dataset, DCM_StationName);
    FillDevice(report.device, equipment);
    report.study.date = GetString(*dataset, DCM_StudyDate);
    report.study.time = GetString(*dataset, DCM_StudyTime);
    report.study.accessionNumber = GetText(cx, *dataset, DCM_AccessionNumber);
    report.study.description = GetText(cx, *dataset, DCM_StudyDescription);
    report.patient.age = GetString(*dataset, DCM_PatientAge);
    report.patient.sex = GetString(*dataset, DCM_PatientSex);
    report.patient.weightKg = ParseDecimalString(GetString(*dataset, DCM_PatientWeight));
    report.patient.heightM = ParseDecimalString(GetString(*dataset, DCM_PatientSize));
    if (options.keepPatientId) {
        report.patient.name = GetText(cx, *dataset, DCM_PatientName);
        report.patient.id = GetText(cx, *dataset, DCM_PatientID);
    }
    if (report.events.empty()) {
        report.notes.push_back("no projection X-ray irradiation events");
    }
    if (const std::string note = decoder.Note(); !note.empty()) {
        report.notes.push_back(note);
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
        case ReadError::Kind::Unreadable:
            return "cannot be read: " + error.detail;
        case ReadError::Kind::Other:
            return error.detail;
    }
    return error.detail;
}

const char* KvpSourceName(KvpSource source) {
    switch (source) {
        case KvpSource::Single: return "single value";
        case KvpSource::PulseMean: return "mean of fired pulses";
        case KvpSource::StatedMean: return "stated mean";
        case KvpSource::None: break;
    }
    return "";
}

std::string IsoDateTime(std::string_view dt) {
    const auto digits = [&](std::size_t from, std::size_t count) {
        if (dt.size() < from + count) return false;
        for (std::size_t i = from; i < from + count; ++i) {
            if (dt[i] < '0' || dt[i] > '9') return false;
        }
        return true;
    };
    // Date, then hours, minutes, seconds, fraction, offset: each only where the one before is.
    std::size_t i = 0;
    std::string iso;
    if (!digits(0, 4)) return std::string(dt);
    iso.append(dt.substr(0, 4));
    i = 4;
    for (const char* sep : {"-", "-", "T", ":", ":"}) {
        if (!digits(i, 2)) break;
        iso += sep;
        iso.append(dt.substr(i, 2));
        i += 2;
    }
    if (i == 14 && i < dt.size() && dt[i] == '.') {
        std::size_t j = i + 1;
        while (j < dt.size() && dt[j] >= '0' && dt[j] <= '9') ++j;
        if (j > i + 1) {
            iso.append(dt.substr(i, j - i));
            i = j;
        }
    }
    if (i < dt.size() && (dt[i] == '+' || dt[i] == '-') && digits(i + 1, 4) && i + 5 == dt.size()) {
        iso += dt[i];
        iso.append(dt.substr(i + 1, 2));
        iso += ':';
        iso.append(dt.substr(i + 3, 2));
        i += 5;
    }
    return i == dt.size() ? iso : std::string(dt);
}

std::string ValidUtf8(std::string_view bytes, bool* replaced) {
    std::string out;
    out.reserve(bytes.size());
    std::size_t i = 0;
    while (i < bytes.size()) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        std::size_t n = b < 0x80 ? 1 : (b >> 5) == 0x6 ? 2 : (b >> 4) == 0xE ? 3 : (b >> 3) == 0x1E ? 4 : 0;
        bool ok = n > 0 && i + n <= bytes.size();
        std::uint32_t cp = n == 1 ? b : n == 2 ? (b & 0x1Fu) : n == 3 ? (b & 0x0Fu) : (b & 0x07u);
        for (std::size_t k = 1; ok && k < n; ++k) {
            const auto c = static_cast<unsigned char>(bytes[i + k]);
            ok = (c & 0xC0) == 0x80;
            cp = (cp << 6) | (c & 0x3Fu);
        }
        // No overlong forms, surrogates or code points beyond U+10FFFF.
        ok = ok && !(n == 2 && cp < 0x80) && !(n == 3 && cp < 0x800) && !(n == 4 && (cp < 0x10000 || cp > 0x10FFFF)) &&
             !(cp >= 0xD800 && cp <= 0xDFFF);
        if (ok) {
            out.append(bytes.substr(i, n));
            i += n;
        } else {
            out += "\xEF\xBF\xBD";
            if (replaced) *replaced = true;
            ++i;
        }
    }
    return out;
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

Result<Report, ReadError> ReadReportFile(const std::filesystem::path& path, const ReadOptions& options) {
    QuietDcmtk();
    std::error_code ec;
    const auto status = std::filesystem::status(path, ec);
    if (ec || !std::filesystem::exists(status)) {
        return Failure{ReadError{ReadError::Kind::CannotOpen, ec ? ec.message() : "no such file"}};
    }
    if (!std::filesystem::is_regular_file(status)) {
        return Failure{ReadError{ReadError::Kind::CannotOpen, "not a regular file"}};
    }
    // The file is read once. The scan below walks its bytes before DCMTK does: DCMTK parses
    // sequences recursively, so a file nested deeper than the scan allows would end the process on
    // a stack overflow; and parsing from memory DCMTK allocates each value's declared length at
    // once, so a length beyond the end of the file (4 GB declared in a file of a few kilobytes) is
    // refused here.
    std::string bytes;
    const bool inMemory = ReadWhole(path, bytes);
    const NestingScan scan = inMemory ? ScanNesting(std::string_view(bytes)) : ScanNesting(path);
    if (scan.tooDeep) {
        return Failure{ReadError{ReadError::Kind::Unreadable,
                                            "sequences nested more than " + std::to_string(kMaxSequenceNesting) +
                                                " levels deep (damaged or hostile file): not parsed"}};
    }
    if (scan.overlong) {
        return Failure{ReadError{ReadError::Kind::Unreadable,
                                 "element " + TagText(scan.overlongGroup, scan.overlongElement) + " declares " +
                                     std::to_string(scan.declaredLength) + " bytes where " + std::to_string(scan.bytesLeft) +
                                     " remain (damaged or hostile file): not parsed"}};
    }
    DcmFileFormat file;
    ItemBytes parts;
    if (inMemory && scan.vouched) {
        // Without the root's Content Sequence when the scan found it: its items are parsed one at a
        // time as the report is read (ForEachRootChild), the elements after it here.
        const bool byItem = scan.hasContent;
        DcmInputBufferStream stream;
        stream.setBuffer(bytes.data(), static_cast<offile_off_t>(byItem ? scan.content.begin : bytes.size()));
        stream.setEos();
        file.transferInit();
        OFCondition cond = file.read(stream, EXS_Unknown, EGL_noChange, DCM_MaxReadLength);
        file.transferEnd();
        if (cond.good() && byItem) {
            parts = {std::string_view(bytes), &scan.contentItems, file.getDataset()->getOriginalXfer()};
            if (scan.content.end < bytes.size()) {
                DcmDataset rest;
                DcmInputBufferStream restStream;
                restStream.setBuffer(bytes.data() + scan.content.end, static_cast<offile_off_t>(bytes.size() - scan.content.end));
                restStream.setEos();
                rest.transferInit();
                cond = rest.read(restStream, parts.xfer, EGL_noChange, DCM_MaxReadLength);
                rest.transferEnd();
                while (cond.good() && rest.card() > 0) {
                    DcmElement* element = rest.remove(0UL);
                    if (file.getDataset()->insert(element).bad()) delete element;
                }
            }
        }
        if (cond.bad()) {
            return Failure{ReadError{ReadError::Kind::NotDicom, cond.text()}};
        }
        if (byItem) {
            return FromFileFormat(file, PathText(path), options, &parts);
        }
    } else {
        // What the scan could not vouch for (a deflated data set, implicit VR, an encoding it does
        // not follow) DCMTK reads from the file itself: values longer than DCM_MaxReadLength then
        // stay on disk until asked for, so a damaged length field costs nothing unless the value is
        // one Mirelo reads.
        bytes = std::string();
        const OFCondition cond =
            file.loadFile(OFFilename(path.c_str()), EXS_Unknown, EGL_noChange, DCM_MaxReadLength, ERM_autoDetect);
        if (cond.bad()) {
            return Failure{ReadError{cond == EC_InvalidFilename ? ReadError::Kind::CannotOpen : ReadError::Kind::NotDicom,
                                     cond.text()}};
        }
    }
    bytes = std::string();  // the tree holds its own copies
    return FromFileFormat(file, PathText(path), options, nullptr);
}

}  // namespace mirelo::rdsr
