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

// A number with a fixed count of decimals (0.01 mm: FixedText(x, 2)), locale-independent, "-0.00"
// written as "0.00".
std::string FixedText(double x, int decimals);

// A range [low, high] and a value that lies outside it, written with so few decimals that the value
// still reads as outside: at least `fewest`, so 0.1 against 0.0031 to 0.0998 gives 4, not the
// "0.00 to 0.10" that two would give. At most 17.
int DecimalsToTellApart(double value, double low, double high, int fewest = 2);

}  // namespace mirelo
