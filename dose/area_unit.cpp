#include "dose/area_unit.h"

namespace mirelo {

std::string_view UnitName(AreaUnit unit) {
    for (const auto& u : kAreaUnits) {
        if (u.unit == unit) {
            return u.ascii;
        }
    }
    return "";
}

std::string_view PrintedUnitName(AreaUnit unit) {
    for (const auto& u : kAreaUnits) {
        if (u.unit == unit) {
            return u.printed;
        }
    }
    return "";
}

double ToGyCm2(double value, AreaUnit unit) {
    switch (unit) {
        case AreaUnit::GyCm2: return value;
        case AreaUnit::mGyCm2: return value / 1000;
        case AreaUnit::uGyM2: return value / 100;  // 1e-6 Gy times 1e4 cm2
        case AreaUnit::dGyCm2: return value / 10;
        case AreaUnit::cGyCm2: return value / 100;
        case AreaUnit::GyM2: return value * 10000;
    }
    return value;
}

}  // namespace mirelo
