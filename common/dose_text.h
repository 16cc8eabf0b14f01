#pragma once

#include <string>

namespace mirelo {

// One line of the volume-dose results as the result list shows it and the command-line tool prints
// it: the mean body thickness in cm, an arrow, the dose in joules in the "0.000E+00" pattern.
std::string VolumeDoseLine(int thicknessCm, double joules);

}  // namespace mirelo
