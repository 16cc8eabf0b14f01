#include "ui/spectrum_window/draw_spectrum.h"

// Placeholders until the spectrum window lands: nothing is drawn or shown yet.
namespace mirelo {
void DrawSpectrum() {}
void ShowForm6() {}
}  // namespace mirelo
