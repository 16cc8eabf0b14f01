#pragma once

#include <optional>
#include <string_view>

namespace mirelo::rdsr {

// The power of ten that turns a dose-area product written in `unit` into Gy·cm², or nothing when
// the unit is not a dose times an area. Accepted: the prefixes d, c, m, u and µ (micro sign or
// Greek mu) on Gy, c, d or none on m, joined by '.', '*' or nothing, the area as m2 or m^2
// ("Gy.m2", "Gym2", "dGy*cm^2", "µGy.m2"). Letter case is UCUM's: "GY.M2" or "MGy.cm2" (mega) are
// refused, as are blanks, other units and anything after the area.
std::optional<int> DoseAreaExponent(std::string_view unit);

}  // namespace mirelo::rdsr
