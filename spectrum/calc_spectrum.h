#pragma once

#include "app/shared_state.h"

namespace mirelo {

// Model functions of the tungsten-target spectrum (V tube voltage in kV, T electron energy and
// E photon energy in keV), exposed for tests and for tools that study the model.
double ThomsonWhiddington(double V);           // C(V)
double KLinePercent(double V);                 // K(V): 0 at 70 kV and below
double GaussianWeight(double V, double low, double high);

// Computes the normalised incident spectrum from the beam conditions and tube-voltage setting in
// `store`, rewriting Spectrum, SpecRaw, SpecKv and Kv. Touches no window.
void CalcSpectrum(Module1& store);

// The program's procedure: computes in the shared store, then enables the show-spectrum command.
void CalcSpectrum();

}  // namespace mirelo
