#pragma once

#include "app/shared_state.h"

namespace mirelo::reference {

// The spectrum calculation as plain loops, term by term, exactly in the order the model states
// it: slow (two exponentials per term, nothing cached), and therefore easy to check by eye. The
// tests and the benchmark compare the program's CalcSpectrum with it; the program never links it.
void CalcSpectrumLoops(Module1& store);

}  // namespace mirelo::reference
