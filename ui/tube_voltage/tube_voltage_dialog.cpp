#include "ui/tube_voltage/tube_voltage_dialog.h"
