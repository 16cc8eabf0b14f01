#pragma once

// The table look-up lives with the tables (tables/data_folders.h), where the command-line tool
// shares it; this name stays for the code that still includes it.
#include "tables/data_folders.h"
