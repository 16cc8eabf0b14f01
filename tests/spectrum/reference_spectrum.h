#pragma once

#include "spectrum/spectrum.h"
#include "tables/tables.h"

namespace mirelo::reference {

// The spectrum calculation as plain loops, term by term, exactly in the order the model states
// it: slow (two exponentials per term, nothing cached), and therefore easy to check by eye. The
// tests and the benchmark compare the program's ComputeSpectrum with it; the program never links it.
// Returns the normalised fluence (all 0 when there is nothing to normalise).
BinArray SpectrumLoops(const Tables& tables, const Beam& beam, const TubeVoltage& voltage);

}  // namespace mirelo::reference
