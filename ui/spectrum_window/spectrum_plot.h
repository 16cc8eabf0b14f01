#pragma once

#include <functional>
#include <string>

#include "app/shared_state.h"
#include "ui/spectrum_window/drawing_surface.h"

namespace mirelo {

// Logical coordinates of the plot surface and the plot's frame within them.
inline constexpr float kPlotUnitsX = 6000.0F;
inline constexpr float kPlotUnitsY = 2500.0F;
inline constexpr float kFrameLeft = 1000.0F, kFrameTop = 100.0F, kFrameRight = 5500.0F, kFrameBottom = 2100.0F;

inline constexpr Rgb kGridGrey{128, 128, 128};
inline constexpr Rgb kBlack{0, 0, 0};
inline constexpr Rgb kRed{255, 0, 0};

// " スペクトルデータがありません  " (UTF-8): the refusal when there is nothing at 30 keV.
extern const std::string kNoSpectrumText;

// What the plot needs from the windowing system.
struct PlotSeams {
    std::function<void(const std::string& text)> warn;  // modal warning, OK
    std::function<void()> processPendingEvents;
    // The spectrum window's plot surface; the first call creates the window, hidden. Asked for again
    // after pending events have run, since the user may have discarded the window meanwhile.
    std::function<DrawingSurface&()> surface;
    std::function<void()> showWindow;  // modeless; a visible window stays visible
};

// Draws store.Spectrum as a step curve scaled to its own maximum, copies it into store.PlotBuf and
// shows the window; or, when bin 60 (30 keV) is not above 0, warns and changes nothing.
// Returns whether it drew.
bool DrawSpectrum(Module1& store, const PlotSeams& seams);

}  // namespace mirelo
