#pragma once

#include <string>

namespace mirelo {

// Writes x in the pattern "0.000E+00": one digit, a period, three digits, "E", the exponent's sign
// (always written) and at least two exponent digits. The mantissa is rounded to the nearest
// thousandth (9.9996 becomes 1.000E+01). Zero, negative zero included, is "0.000E+00".
// Independent of the locale. Non-finite values, which callers never pass on purpose, come out as
// "Infinity", "-Infinity" or "NaN" rather than as a plausible number.
std::string FormatSci(double x);

}  // namespace mirelo
