#pragma once

namespace mirelo {

// Plots the shared spectrum on the spectrum window and shows it, or warns that there is no
// spectrum data (nothing at 30 keV).
void DrawSpectrum();

// Shows the spectrum window without making it modal, creating it on first use.
void ShowForm6();

}  // namespace mirelo
