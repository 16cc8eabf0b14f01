#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "register/database.h"
#include "ui/spectrum_plot/drawing_surface.h"

namespace mirelo {

// Where a study was drawn, for naming it under the pointer.
struct PlotMark {
    float x = 0, y = 0;  // in the surface's units
    std::size_t study = 0;
};

// The study energy imparted at `thicknessCm` per protocol: a box from the 25th to the 75th
// percentile, the median across it, whiskers to the least and the greatest study, each study a dot.
std::vector<PlotMark> DrawEnergyBoxes(DrawingSurface& surface, float width, float height,
                                      const std::vector<registry::StoredStudy>& studies, int thicknessCm);

// Energy imparted against the dose-area product, a dot per study coloured by its device, with the
// devices' colours in a legend.
std::vector<PlotMark> DrawEnergyAgainstDap(DrawingSurface& surface, float width, float height,
                                           const std::vector<registry::StoredStudy>& studies, int thicknessCm);

// "1.2.3 (ACC-1, 2024-01-15, Angio 1)": how a study is named under the pointer.
std::string StudyLabel(const registry::StoredStudy& study);

}  // namespace mirelo
