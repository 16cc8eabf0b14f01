#pragma once

#include <functional>
#include <string>

#include "tables/tables.h"
#include "ui/spectrum_plot/drawing_surface.h"

namespace mirelo {

// Logical coordinates of the plot surface and the plot's frame within them.
inline constexpr float kPlotUnitsX = 6000.0F;
inline constexpr float kPlotUnitsY = 2500.0F;
inline constexpr float kFrameLeft = 1000.0F, kFrameTop = 100.0F, kFrameRight = 5500.0F, kFrameBottom = 2100.0F;

inline constexpr Rgb kGridGrey{128, 128, 128};
inline constexpr Rgb kBlack{0, 0, 0};
inline constexpr Rgb kRed{255, 0, 0};

// What the plot needs from the windowing system.
struct PlotSeams {
    std::function<void()> refuse;  // tells the user there is no spectrum to plot
    std::function<void()> processPendingEvents;
    // The spectrum window's plot surface; the first call creates the window, hidden. Asked for again
    // after pending events have run, since the user may have discarded the window meanwhile.
    std::function<DrawingSurface&()> surface;
    std::function<void()> showWindow;  // modeless; a visible window stays visible
};

// Draws `spectrum` as a step curve scaled to its own maximum and shows the window; or, when no bin
// holds photons (every bin 0, negative or not finite), refuses and changes nothing. Returns whether
// it drew.
bool DrawSpectrum(const BinArray& spectrum, const PlotSeams& seams);

}  // namespace mirelo
