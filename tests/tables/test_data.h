// Shared access to the shipped tables for the tests.
#pragma once

#include <string>
#include <vector>

#include "hvl.h"

namespace mirelo::tables::test {

inline std::string DataPath(const std::string& name) {
    return std::string(MIRELO_DATA_DIR) + "/" + name;
}

inline const AttTable& ShippedAtt() {
    static const AttTable t = ReadAttTable(DataPath("Att_coeff2021.dat"));
    return t;
}

inline const std::vector<std::vector<double>>& ShippedEffEa() {
    static const auto rows = ReadRows(DataPath("effEA.dat"));
    return rows;
}

// Row index of the bin holding energy e (bin n is 0.5 n keV).
inline std::size_t Row(double e_kev) { return static_cast<std::size_t>(e_kev / 0.5 + 0.5) - 1; }

}  // namespace mirelo::tables::test
