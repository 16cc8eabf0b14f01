#include "common/decimal.h"

#include <algorithm>
#include <charconv>
#include <limits>
#include <string>

namespace mirelo {
namespace {
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsExponentMark(char c) { return c == 'E' || c == 'e' || c == 'D' || c == 'd'; }
}  // namespace

bool IsDecimalNumber(std::string_view t) {
    std::size_t i = 0;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) {
        ++i;
    }
    bool digits = false;
    while (i < t.size() && IsDigit(t[i])) {
        ++i;
        digits = true;
    }
    if (i < t.size() && t[i] == '.') {
        ++i;
        while (i < t.size() && IsDigit(t[i])) {
            ++i;
            digits = true;
        }
    }
    if (!digits) {
        return false;
    }
    if (i < t.size() && IsExponentMark(t[i])) {
        ++i;
        if (i < t.size() && (t[i] == '+' || t[i] == '-')) {
            ++i;
        }
        const std::size_t first = i;
        while (i < t.size() && IsDigit(t[i])) {
            ++i;
        }
        if (i == first) {
            return false;
        }
    }
    return i == t.size();
}

double DecimalValue(std::string_view token) {
    bool negative = false;
    if (!token.empty() && (token[0] == '+' || token[0] == '-')) {
        negative = token[0] == '-';
        token.remove_prefix(1);
    }
    std::string s(token);
    for (char& c : s) {
        if (IsExponentMark(c)) {  // 'e' too: the range check below looks for 'E'
            c = 'E';
        }
    }
    double value = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value, std::chars_format::general);
    if (ec == std::errc::result_out_of_range) {
        // from_chars leaves the value alone; decide between overflow and underflow from the
        // decimal exponent of the leading significant digit.
        long exponent = 0;
        const std::size_t mark = s.find('E');
        const std::string_view mantissa = std::string_view(s).substr(0, mark);
        if (mark != std::string::npos) {
            const char* first = s.data() + mark + 1;
            if (*first == '+') {
                ++first;
            }
            long e = 0;
            const auto r = std::from_chars(first, s.data() + s.size(), e);
            // Any exponent beyond a few hundred decides alone; clamping keeps the sums below exact.
            constexpr long kFar = 100000;
            exponent = r.ec == std::errc::result_out_of_range ? (*first == '-' ? -kFar : kFar) : std::clamp(e, -kFar, kFar);
        }
        const std::size_t point = mantissa.find('.');
        const auto intDigits = static_cast<long>(point == std::string_view::npos ? mantissa.size() : point);
        const auto firstNonZero = static_cast<long>(std::min(mantissa.find_first_not_of("0."), mantissa.size()));
        // Decimal exponent of the leading significant digit.
        const long lead = firstNonZero < intDigits ? exponent + intDigits - firstNonZero - 1
                                                   : exponent - (firstNonZero - intDigits);
        value = lead > 0 ? std::numeric_limits<double>::infinity() : 0.0;
    }
    (void)end;
    return negative ? -value : value;
}

}  // namespace mirelo
