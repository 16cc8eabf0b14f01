#pragma once

#include <string>

#include "tables/tables.h"

namespace mirelo {

inline constexpr const char* kSpectrumFileName = "X_SPCTL.dat";

// The text of X_SPCTL.dat: for bins 1..300, the energy 0.5 i keV in "0.000E+00", two spaces, the
// bin's value in "0.000E+00", CR LF. Nothing before the first line or after the last.
std::string SpectrumFileText(const BinArray& spectrum);

}  // namespace mirelo
