#pragma once

#include "app/shared_state.h"

namespace mirelo {
// Placeholder until the volume-dose calculation lands.
}  // namespace mirelo
