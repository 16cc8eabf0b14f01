#pragma once

#include <string>

#include "tables/table_reader.h"

namespace mirelo {

// The start-up message for a table that could not be used: the file, then the cause
// ("Att_coeff2021.dat: 2099 of 2100 values"). Shared by the windows and the command-line tool.
std::string DescribeTableError(const TableError& error);

}  // namespace mirelo
