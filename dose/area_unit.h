#pragma once

#include <array>
#include <string_view>

namespace mirelo {

// The units area-dose meters display, and how each converts to Gy·cm², the unit of the calculation.
enum class AreaUnit { GyCm2, dGyCm2, cGyCm2, mGyCm2, uGyM2, GyM2 };

struct AreaUnitNames {
    AreaUnit unit;
    std::string_view ascii;    // "mGy.cm2": the command line's and the batch files' spelling
    std::string_view printed;  // "mGy·cm²": as a window shows it
};
inline constexpr std::array<AreaUnitNames, 6> kAreaUnits{{
    {AreaUnit::GyCm2, "Gy.cm2", "Gy·cm²"},
    {AreaUnit::dGyCm2, "dGy.cm2", "dGy·cm²"},
    {AreaUnit::cGyCm2, "cGy.cm2", "cGy·cm²"},
    {AreaUnit::mGyCm2, "mGy.cm2", "mGy·cm²"},
    {AreaUnit::uGyM2, "uGy.m2", "µGy·m²"},
    {AreaUnit::GyM2, "Gy.m2", "Gy·m²"},
}};

std::string_view UnitName(AreaUnit unit);         // "Gy.cm2"
std::string_view PrintedUnitName(AreaUnit unit);  // "Gy·cm²"

// The area dose in Gy·cm². Powers of ten are applied by an exact multiplication or a correctly
// rounded division, so 5 mGy.cm2 is the double nearest 0.005.
double ToGyCm2(double value, AreaUnit unit);

}  // namespace mirelo
