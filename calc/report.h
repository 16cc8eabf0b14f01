#pragma once

#include <cstddef>
#include <string>

#include "calc/calculation.h"
#include "calc/conditions.h"
#include "common/result.h"
#include "tables/tables.h"

namespace mirelo::calc {

enum class Format { Text, Json, Csv };

// One calculation, complete. Text: the inputs, the photon count and the eleven thickness lines in
// the strings the main window shows, then with `withSpectrum` the 300 bins as the saved spectrum
// file writes them. JSON: the same keys every time, numbers that read back to the same double.
// CSV: a header and one line per thickness, or per bin with `withSpectrum`.
std::string Report(const Calculation& calculation, const Tables& tables, Format format, bool withSpectrum);

// A batch writes one line per calculation (`line`: its line in the input file). CSV starts with
// a header line. JSON starts with a run line, {"run": {"tables": ...}}, the tables' paths and
// SHA-256 once for the whole batch, then one object per line with the keys of Report but "tables",
// and "line" and "error".
// With `quality` every line carries the beam quality of its spectrum (CSV: five more columns).
std::string BatchHeaderLine(Format format, bool quality = false);
std::string BatchRunLine(const Tables& tables, Format format);
std::string BatchLine(std::size_t line, const Result<Calculation, InputError>& result, const Tables& tables,
                      Format format, bool quality = false);

}  // namespace mirelo::calc
