#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "common/result.h"
#include "rdsr/report.h"

namespace mirelo::rdsr {

// Reads an X-Ray Radiation Dose SR leniently: the content tree is walked item by item, so missing
// relationship types, invalid person names and items outside the templates do not stop it; only
// the concepts below are looked at. A file that is not DICOM, or DICOM but not a dose report (its
// SOP class is not an SR, or its root is not "X-Ray Radiation Dose Report"), is an error value.
// Texts (protocol, manufacturer, descriptions, code meanings) come out as UTF-8, converted from the
// file's Specific Character Set by DCMTK; a byte that cannot be converted becomes U+FFFD and the
// report says so in its notes. Before DCMTK parses a file, its sequence nesting is checked
// (rdsr/nesting_scan.h): a file nested too deep for DCMTK's recursion is Unreadable, not a crash,
// and so is one with a value longer than the rest of the file. The file is read once; DCMTK parses
// those bytes, or the file itself when the scan cannot vouch for what DCMTK will see.
struct ReadOptions {
    bool keepPatientId = false;  // read the patient's name and ID too
};
Result<Report, ReadError> ReadReportFile(const std::filesystem::path& path, const ReadOptions& options = {});

// A DICOM date-time (DT: YYYYMMDDHHMMSS.FFFFFF&ZZXX, parts from the right optional) in ISO 8601,
// "2016-08-18T19:26:17.043+01:00"; a date (DA) and time (TM) likewise. Text that is not such a
// value comes back as written.
std::string IsoDateTime(std::string_view dicomDateTime);

// Any bytes as UTF-8: valid sequences kept, every byte of an invalid one replaced by U+FFFD.
std::string ValidUtf8(std::string_view bytes, bool* replaced = nullptr);

// A DICOM decimal string as a number times 10^exponentShift, rounded once from the exact decimal
// value: blanks around it, a leading '+' and an exponent are allowed; anything else, or a value
// beyond a double, is nothing.
std::optional<double> ParseDecimalString(std::string_view text, int exponentShift = 0);

}  // namespace mirelo::rdsr
