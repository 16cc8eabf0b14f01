#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string_view>

#include "common/result.h"
#include "rdsr/report.h"

namespace mirelo::rdsr {

// Reads an X-Ray Radiation Dose SR leniently: the content tree is walked item by item, so missing
// relationship types, invalid person names and items outside the templates do not stop it; only
// the concepts below are looked at. A file that is not DICOM, or DICOM but not a dose report (its
// SOP class is not an SR, or its root is not "X-Ray Radiation Dose Report"), is an error value.
Result<Report, ReadError> ReadReportFile(const std::filesystem::path& path);

// A DICOM decimal string as a number times 10^exponentShift, rounded once from the exact decimal
// value: blanks around it, a leading '+' and an exponent are allowed; anything else, or a value
// beyond a double, is nothing.
std::optional<double> ParseDecimalString(std::string_view text, int exponentShift = 0);

// The power of ten from a dose-area product in a UCUM unit "<p>Gy.<q>m2" (p and q among "", d, c,
// m, u: Gy.m2, dGy.cm2, Gy.cm2, mGy.cm2, uGy.m2, ...) to Gy·cm²; nothing for any other unit.
std::optional<int> DapExponent(std::string_view ucumUnit);

}  // namespace mirelo::rdsr
