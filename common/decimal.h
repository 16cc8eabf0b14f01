#pragma once

#include <string_view>

namespace mirelo {

// Whether the whole of `token` is one decimal number: [sign] digits [. digits] [(E|e|D|d) [sign]
// digits], with at least one digit before the exponent. The period is the only decimal point.
bool IsDecimalNumber(std::string_view token);

// The value of a token that IsDecimalNumber accepts, correctly rounded and independent of the
// locale: +/-infinity when it is too large for a double, +/-0 or a subnormal when too small.
double DecimalValue(std::string_view token);

}  // namespace mirelo
