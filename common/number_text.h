#pragma once

#include <string>

namespace mirelo {

// A number as a caption shows it: the shortest ordinary decimal form with at most 15 significant
// digits (80, 80.5, 0.1). Locale-independent. Magnitudes that the plain form would stretch past
// 15 digits (1e16 and up, below 1e-5) keep the exponent form ("1E+20").
std::string NumberText(double x);

// The shortest text that reads back as the same double ("0.1", "1e-05", "1e+21"),
// for files a program reads. Locale-independent; non-finite values as NumberText writes them.
std::string ShortestText(double x);

}  // namespace mirelo
