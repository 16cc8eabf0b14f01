#include "ui/spectrum_plot/spectrum_plot.h"

#include <algorithm>
#include <cmath>

#include "spectrum/spectrum.h"

namespace mirelo {

namespace {
// A bin as the curve shows it: what is not a finite number of photons lies on the axis.
double Shown(double value) { return value > 0 && std::isfinite(value) ? value : 0.0; }

void DrawFrame(DrawingSurface& s) {
    s.SetDrawWidth(2);
    s.Box(kFrameLeft, kFrameTop, kFrameRight, kFrameBottom, kBlack);
}
}  // namespace

bool DrawSpectrum(const BinArray& spectrum, const PlotSeams& seams) {
    // Any spectrum with photons is plotted, however low the tube voltage or hard the beam.
    if (!HasPhotons(spectrum)) {
        seams.refuse();
        return false;
    }

    DrawingSurface& frame = seams.surface();
    frame.Cls();

    // Grid: one vertical line every 10 keV from 10 to 140 keV, one horizontal line every 0.1.
    frame.SetDrawWidth(1);
    for (int x = 1300; x <= 5200; x += 300) {
        const auto fx = static_cast<float>(x);
        frame.Line(fx, kFrameTop, fx, kFrameBottom, kGridGrey);
    }
    for (int y = 300; y <= 1900; y += 200) {
        const auto fy = static_cast<float>(y);
        frame.Line(kFrameLeft, fy, kFrameRight, fy, kGridGrey);
    }

    struct Label {
        float x, y;
        const char* text;
    };
    static constexpr Label kLabels[] = {
        {1000, 2120, "0"},        {2450, 2120, "50"},    {3900, 2120, "100"},   {5400, 2120, "150"},
        {3750, 2250, "Photon energy in keV"}, {200, 500, "Relative"}, {230, 700, "Photon"}, {260, 900, "fluence"},
    };
    for (const Label& label : kLabels) {
        frame.Print(label.x, label.y, label.text);
    }
    DrawFrame(frame);

    seams.processPendingEvents();

    double vmax = 0.0;
    for (int i = 1; i <= kBins; ++i) {
        vmax = std::max(vmax, Shown(spectrum[i]));
    }

    // Pending events may have discarded the window; draw on whatever surface is current now.
    DrawingSurface& curve = seams.surface();
    curve.SetDrawWidth(2);
    curve.PSet(kFrameLeft, kFrameBottom, kBlack);
    // Bin 1 is left out: the curve starts with a slanted segment to the left edge of bin 2's step.
    for (int i = 2; i <= kBins; ++i) {
        const double y = 2100.0 - (Shown(spectrum[i]) * 2000.0) / vmax;
        const auto fy = static_cast<float>(y);
        curve.LineTo(static_cast<float>(1000.0 + 15.0 * (i - 1) + 7.5), fy, kRed);
        curve.LineTo(static_cast<float>(1000.0 + 15.0 * i + 7.5), fy, kRed);
    }
    DrawFrame(curve);

    seams.showWindow();
    return true;
}

}  // namespace mirelo
