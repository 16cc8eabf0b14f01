#pragma once

// exp, log and pow with the same bits on every platform: the C libraries' own differ in the last
// place (glibc's and MinGW's in about one argument of a thousand), and a result written with all its
// digits would then differ between the Linux and the Windows program. Errors at most 0.52 units in the
// last place (0.54 for pow), special cases (0, infinities, NaN, overflow) as the C standard asks.

extern "C" {
double mirelo_exp(double x) noexcept;
double mirelo_log(double x) noexcept;
double mirelo_pow(double x, double y) noexcept;
}

namespace mirelo::portable {

inline double Exp(double x) noexcept { return mirelo_exp(x); }
inline double Log(double x) noexcept { return mirelo_log(x); }
inline double Pow(double x, double y) noexcept { return mirelo_pow(x, y); }

}  // namespace mirelo::portable
