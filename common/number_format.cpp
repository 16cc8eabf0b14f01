// Numbers written as text: the "0.000E+00" pattern and the caption form share one writer.
#include <array>
#include <charconv>
#include <cmath>

#include "common/dose_text.h"
#include "common/number_text.h"
#include "common/sci_format.h"

namespace mirelo {
namespace {

// Locale-independent, correctly rounded; zero (negative zero too) is written as `zero`, and
// non-finite values, which callers never pass on purpose, never pass for a plausible number.
std::string Write(double x, std::chars_format format, int precision, const char* zero) {
    if (std::isnan(x)) {
        return "NaN";
    }
    if (std::isinf(x)) {
        return x > 0 ? "Infinity" : "-Infinity";
    }
    if (x == 0.0) {
        return zero;
    }
    std::array<char, 48> buf{};
    const auto res = std::to_chars(buf.data(), buf.data() + buf.size(), x, format, precision);
    std::string out(buf.data(), res.ptr);
    for (char& c : out) {
        if (c == 'e') {
            c = 'E';
        }
    }
    return out;
}

}  // namespace

// to_chars writes at least two exponent digits, as the pattern wants.
std::string FormatSci(double x) { return Write(x, std::chars_format::scientific, 3, "0.000E+00"); }

// Rounding to 15 significant digits first hides binary noise such as 0.1 + 0.2.
std::string NumberText(double x) { return Write(x, std::chars_format::general, 15, "0"); }

std::string ShortestText(double x) {
    if (!std::isfinite(x)) {
        return NumberText(x);
    }
    std::array<char, 32> buf{};
    const auto res = std::to_chars(buf.data(), buf.data() + buf.size(), x);
    return {buf.data(), res.ptr};
}

std::string FixedText(double x, int decimals) {
    std::string out = Write(x, std::chars_format::fixed, decimals, "");
    if (out.empty() || out.find_first_not_of("-0.") == std::string::npos) {
        return decimals > 0 ? "0." + std::string(static_cast<std::size_t>(decimals), '0') : "0";
    }
    return out;
}

int DecimalsToTellApart(double value, double low, double high, int fewest) {
    const auto rounded = [](double x, int d) {
        const std::string text = FixedText(x, d);
        double r = 0;
        std::from_chars(text.data(), text.data() + text.size(), r);
        return r;
    };
    for (int d = fewest; d < 17; ++d) {
        const double v = rounded(value, d);
        if (v < rounded(low, d) || v > rounded(high, d)) {
            return d;
        }
    }
    return 17;
}

}  // namespace mirelo

namespace mirelo {
std::string VolumeDoseLine(int thicknessCm, double joules) {
    return "       " + std::to_string(thicknessCm) + "     \u2192     " + FormatSci(joules);
}
}  // namespace mirelo
