#pragma once

#include <string>

namespace mirelo {

// A number as a caption shows it: the shortest ordinary decimal form with at most 15 significant
// digits (80, 80.5, 0.1). Locale-independent. Magnitudes that the plain form would stretch past
// 15 digits (1e16 and up, below 1e-5) keep the exponent form ("1E+20").
std::string NumberText(double x);

}  // namespace mirelo
