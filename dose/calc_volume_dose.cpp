#include "dose/calc_volume_dose.h"
