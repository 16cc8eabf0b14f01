#pragma once

#include <QString>

#include "ui/state/shared_state.h"

namespace mirelo {

// The line under the plot: the beam settings the store holds and the beam quality of its spectrum,
// e.g. "80 kV · 12° · Al 2.5 + 1 mm · Cu 0 mm | HVL₁ 3.25 mm Al · HVL₂ 4.59 mm Al · h 0.71 · 平均
// 44.5 keV · 実効 34.6 keV". Numbers are written with a period whatever the locale.
QString QualityLineText(const Module1& store);

}  // namespace mirelo
