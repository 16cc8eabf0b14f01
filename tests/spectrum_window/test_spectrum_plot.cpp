// The plot, operation by operation, on a recording surface.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "ui/spectrum_plot/recording_surface.h"
#include "ui/spectrum_plot/spectrum_plot.h"

namespace mirelo {
namespace {

struct Module1 {
    BinArray Spectrum{};
};

using Kind = RecordingSurface::Kind;
using Op = RecordingSurface::Op;

// What the seams saw, with the number of drawing operations made before each.
struct PlotRun {
    RecordingSurface surface;
    std::vector<std::string> warnings;
    std::vector<std::size_t> eventsAt, shownAt, surfaceAskedAt;
    bool drew = false;
};

PlotRun Plot(Module1& store) {
    PlotRun run;
    PlotSeams seams;
    seams.refuse = [&run] { run.warnings.push_back("no spectrum"); };
    seams.processPendingEvents = [&run] { run.eventsAt.push_back(run.surface.ops.size()); };
    seams.surface = [&run]() -> DrawingSurface& {
        run.surfaceAskedAt.push_back(run.surface.ops.size());
        return run.surface;
    };
    seams.showWindow = [&run] { run.shownAt.push_back(run.surface.ops.size()); };
    run.drew = DrawSpectrum(store.Spectrum, seams);
    return run;
}

// A spectrum like an 80 kV tube's: nothing in bin 1 on purpose except where a test says so, a peak
// at bin 100 (50 keV), zero above bin 160.
Module1 KnownSpectrum() {
    Module1 m;
    for (int i = 2; i <= 160; ++i) {
        m.Spectrum[i] = 0.001 * i * (160 - i);  // peaks at i = 80
    }
    m.Spectrum[100] = 9.0;  // the largest bin
    return m;
}

std::vector<Op> OfKind(const std::vector<Op>& ops, Kind kind) {
    std::vector<Op> out;
    std::copy_if(ops.begin(), ops.end(), std::back_inserter(out), [kind](const Op& op) { return op.kind == kind; });
    return out;
}

float YOf(const Module1& m, int bin, double vmax) { return static_cast<float>(2100.0 - (m.Spectrum[bin] * 2000.0) / vmax); }

TEST(SpectrumPlot, DrawsInTheOrderOfTheProcedure) {
    Module1 m = KnownSpectrum();
    const PlotRun run = Plot(m);
    ASSERT_TRUE(run.drew);
    const auto& ops = run.surface.ops;
    // Cls, width 1, 14 + 9 grid lines, 8 texts, width 2, frame | width 2, point, 2 x 299 steps, width 2, frame.
    ASSERT_EQ(ops.size(), 1u + 1 + 23 + 8 + 2 + 2 + 598 + 2);
    std::size_t k = 0;
    EXPECT_EQ(ops[k++].kind, Kind::Cls);
    EXPECT_EQ(ops[k].kind, Kind::DrawWidth);
    EXPECT_EQ(ops[k++].width, 1);
    for (int n = 0; n < 23; ++n, ++k) {
        EXPECT_EQ(ops[k].kind, Kind::Line) << k;
    }
    for (int n = 0; n < 8; ++n, ++k) {
        EXPECT_EQ(ops[k].kind, Kind::Print) << k;
    }
    EXPECT_EQ(ops[k].kind, Kind::DrawWidth);
    EXPECT_EQ(ops[k++].width, 2);
    EXPECT_EQ(ops[k++].kind, Kind::Box);
    // Pending events run once, between the first frame and the curve.
    ASSERT_EQ(run.eventsAt.size(), 1u);
    EXPECT_EQ(run.eventsAt[0], k);
    EXPECT_EQ(ops[k].kind, Kind::DrawWidth);
    EXPECT_EQ(ops[k++].width, 2);
    EXPECT_EQ(ops[k].kind, Kind::PSet);
    EXPECT_EQ(ops[k].x1, 1000.0F);
    EXPECT_EQ(ops[k].y1, 2100.0F);
    EXPECT_EQ(ops[k++].colour, kBlack);
    for (int n = 0; n < 598; ++n, ++k) {
        EXPECT_EQ(ops[k].kind, Kind::LineTo) << k;
        EXPECT_EQ(ops[k].colour, kRed) << k;
    }
    EXPECT_EQ(ops[k].kind, Kind::DrawWidth);
    EXPECT_EQ(ops[k++].width, 2);
    EXPECT_EQ(ops[k++].kind, Kind::Box);
    // The window is shown last, once.
    ASSERT_EQ(run.shownAt.size(), 1u);
    EXPECT_EQ(run.shownAt[0], ops.size());
    EXPECT_TRUE(run.warnings.empty());
    // The surface is asked for again after the events step, never before the check.
    ASSERT_EQ(run.surfaceAskedAt.size(), 2u);
    EXPECT_EQ(run.surfaceAskedAt[0], 0u);
    EXPECT_EQ(run.surfaceAskedAt[1], run.eventsAt[0]);
}

TEST(SpectrumPlot, GridTextsAndFrame) {
    Module1 m = KnownSpectrum();
    const PlotRun run = Plot(m);
    const auto lines = OfKind(run.surface.ops, Kind::Line);
    ASSERT_EQ(lines.size(), 23u);
    for (int n = 0; n < 14; ++n) {
        const float x = 1300.0F + 300.0F * static_cast<float>(n);
        EXPECT_EQ(lines[n].x1, x);
        EXPECT_EQ(lines[n].x2, x);
        EXPECT_EQ(lines[n].y1, 100.0F);
        EXPECT_EQ(lines[n].y2, 2100.0F);
        EXPECT_EQ(lines[n].colour, kGridGrey);
    }
    EXPECT_EQ(lines[13].x1, 5200.0F);  // 140 keV is the last vertical line
    for (int n = 0; n < 9; ++n) {
        const float y = 300.0F + 200.0F * static_cast<float>(n);
        const Op& l = lines[14 + n];
        EXPECT_EQ(l.y1, y);
        EXPECT_EQ(l.y2, y);
        EXPECT_EQ(l.x1, 1000.0F);
        EXPECT_EQ(l.x2, 5500.0F);
        EXPECT_EQ(l.colour, kGridGrey);
    }

    const auto texts = OfKind(run.surface.ops, Kind::Print);
    struct Expected {
        float x, y;
        std::string text;
    };
    const std::vector<Expected> expected = {
        {1000, 2120, "0"},       {2450, 2120, "50"},     {3900, 2120, "100"},   {5400, 2120, "150"},
        {3750, 2250, "Photon energy in keV"}, {200, 500, "Relative"}, {230, 700, "Photon"}, {260, 900, "fluence"},
    };
    ASSERT_EQ(texts.size(), expected.size());
    for (std::size_t n = 0; n < texts.size(); ++n) {
        EXPECT_EQ(texts[n].text, expected[n].text);
        EXPECT_EQ(texts[n].x1, expected[n].x) << expected[n].text;
        EXPECT_EQ(texts[n].y1, expected[n].y) << expected[n].text;
    }

    const auto boxes = OfKind(run.surface.ops, Kind::Box);
    ASSERT_EQ(boxes.size(), 2u);
    for (const Op& b : boxes) {
        EXPECT_EQ(b.x1, 1000.0F);
        EXPECT_EQ(b.y1, 100.0F);
        EXPECT_EQ(b.x2, 5500.0F);
        EXPECT_EQ(b.y2, 2100.0F);
        EXPECT_EQ(b.colour, kBlack);
    }
}

TEST(SpectrumPlot, StepCurveGeometry) {
    Module1 m = KnownSpectrum();
    m.Spectrum[1] = 7.0;  // below the maximum, so it would show if bin 1 were drawn
    const PlotRun run = Plot(m);
    const auto steps = OfKind(run.surface.ops, Kind::LineTo);
    ASSERT_EQ(steps.size(), 598u);
    const double vmax = 9.0;

    // First segment: slanted from (1000, 2100) to the start of bin 2's step.
    EXPECT_EQ(steps[0].x1, 1022.5F);
    EXPECT_EQ(steps[0].y1, YOf(m, 2, vmax));
    EXPECT_NE(steps[0].y1, 2100.0F);
    // Every bin i: riser at 1000 + 15 (i - 1) + 7.5, step to 1000 + 15 i + 7.5, both at the bin's y.
    for (int i = 2; i <= kBins; ++i) {
        const Op& riser = steps[2 * (i - 2)];
        const Op& step = steps[2 * (i - 2) + 1];
        EXPECT_FLOAT_EQ(riser.x1, static_cast<float>(1000 + 15 * (i - 1)) + 7.5F) << i;
        EXPECT_FLOAT_EQ(step.x1, static_cast<float>(1000 + 15 * i) + 7.5F) << i;
        EXPECT_EQ(riser.y1, step.y1) << i;
    }
    EXPECT_EQ(steps.back().x1, 5507.5F);
    // The largest bin touches the frame top; empty bins lie on the frame bottom.
    EXPECT_EQ(steps[2 * (100 - 2) + 1].y1, 100.0F);
    EXPECT_EQ(steps[2 * (200 - 2) + 1].y1, 2100.0F);
    EXPECT_EQ(steps.back().y1, 2100.0F);
    // Bin 1 is never drawn: nothing left of bin 2's step and nothing at bin 1's height.
    const float yBin1 = YOf(m, 1, vmax);
    for (const Op& s : steps) {
        EXPECT_GE(s.x1, 1022.5F);
        EXPECT_NE(s.y1, yBin1);
    }
}

TEST(SpectrumPlot, ScaledSpectrumGivesTheSamePicture) {
    Module1 m = KnownSpectrum();
    const PlotRun base = Plot(m);
    for (const double factor : {4.0, 1.0e-5, 37.3}) {
        Module1 scaled = KnownSpectrum();
        for (double& v : scaled.Spectrum) {
            v *= factor;
        }
        const PlotRun run = Plot(scaled);
        ASSERT_EQ(run.surface.ops.size(), base.surface.ops.size());
        for (std::size_t k = 0; k < base.surface.ops.size(); ++k) {
            const Op& a = base.surface.ops[k];
            const Op& b = run.surface.ops[k];
            EXPECT_EQ(a.kind, b.kind);
            if (factor == 4.0) {  // a power of two scales exactly
                EXPECT_EQ(a.y1, b.y1) << k;
            } else {
                EXPECT_FLOAT_EQ(a.y1, b.y1) << factor << " op " << k;
            }
            EXPECT_EQ(a.x1, b.x1);
        }
    }
}

TEST(SpectrumPlot, LargestValueInBin1StillSetsTheScale) {
    // vmax is taken over bins 1..300 although bin 1 is not drawn.
    Module1 m = KnownSpectrum();
    m.Spectrum[1] = 18.0;
    const auto steps = OfKind(Plot(m).surface.ops, Kind::LineTo);
    EXPECT_EQ(steps[2 * (100 - 2) + 1].y1, 1100.0F);
}

// Only a spectrum without photons is refused; whatever a bin holds, no coordinate is NaN or infinite.
TEST(SpectrumPlot, RefusesOnlyASpectrumWithoutPhotons) {
    const double inf = std::numeric_limits<double>::infinity(), nan = std::nan("");
    const struct {
        const char* what;
        std::vector<std::pair<int, double>> bins;
        bool drawn;
    } cases[] = {
        {"no spectrum yet", {}, false},
        {"negative only", {{60, -1e-3}, {100, -2}}, false},
        {"not finite only", {{10, nan}, {60, inf}, {61, -inf}}, false},
        {"below 30 keV (25 kV)", {{20, 0.02}, {50, 0.5}}, true},
        {"one high bin (150 kV behind copper)", {{290, 0.3}}, true},
        {"bin 1 alone", {{1, 0.5}}, true},
        {"smallest positive value", {{60, 5e-324}}, true},
        {"finite beside infinite", {{59, inf}, {60, 0.5}, {61, nan}}, true},
    };
    for (const auto& c : cases) {
        Module1 m;
        for (const auto& [bin, value] : c.bins) {
            m.Spectrum[bin] = value;
        }
        const PlotRun run = Plot(m);
        EXPECT_EQ(run.drew, c.drawn) << c.what;
        EXPECT_EQ(run.warnings.size(), c.drawn ? 0u : 1u) << c.what;
        EXPECT_EQ(run.shownAt.size(), c.drawn ? 1u : 0u) << c.what;
        if (!c.drawn) {  // nothing drawn, and no window made for it
            EXPECT_TRUE(run.surface.ops.empty() && run.surfaceAskedAt.empty() && run.eventsAt.empty()) << c.what;
        }
        for (const Op& step : OfKind(run.surface.ops, Kind::LineTo)) {
            ASSERT_TRUE(step.y1 >= kFrameTop && step.y1 <= kFrameBottom) << c.what;  // false for NaN
        }
    }
}

}  // namespace
}  // namespace mirelo
