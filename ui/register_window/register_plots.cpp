#include "ui/register_window/register_plots.h"

#include <algorithm>
#include <cmath>
#include <map>

#include "common/number_text.h"
#include "register/summary.h"

namespace mirelo {
namespace {

constexpr Rgb kBlack{0, 0, 0};
constexpr Rgb kGrey{160, 160, 160};
// Colours that stay apart for the colour-blind as far as eight can (Okabe and Ito).
constexpr Rgb kSeries[] = {{0, 114, 178}, {213, 94, 0}, {0, 158, 115}, {204, 121, 167},
                           {230, 159, 0},  {86, 180, 233}, {0, 0, 0},    {240, 228, 66}};

double Energy(const registry::StoredStudy& s, int thicknessCm) {
    return s.joules[static_cast<std::size_t>((thicknessCm - 8) / 2 - 1)];
}

// A tick step of 1, 2 or 5 times a power of ten giving about five ticks up to `top`.
double Step(double top) {
    const double raw = top / 5;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (double f : {1.0, 2.0, 5.0, 10.0}) {
        if (raw <= f * power) return f * power;
    }
    return 10 * power;
}

struct Frame {
    float left, top, right, bottom;
    double yTop;
    float Y(double v) const { return bottom - static_cast<float>(v / yTop) * (bottom - top); }
};

// The vertical axis from 0 with its ticks and caption; returns the frame to draw in.
Frame Axes(DrawingSurface& s, float width, float height, double yMax, const std::string& yCaption) {
    Frame f{70, 30, width - 20, height - 60, 0};
    const double step = Step(yMax > 0 ? yMax : 1);
    f.yTop = std::ceil((yMax > 0 ? yMax : 1) / step) * step;
    s.SetDrawWidth(1);
    s.Box(f.left, f.top, f.right, f.bottom, kBlack);
    for (double v = 0; v <= f.yTop + step / 2; v += step) {
        s.Line(f.left - 5, f.Y(v), f.left, f.Y(v), kBlack);
        s.Print(4, f.Y(v) - 8, NumberText(v));
    }
    s.Print(4, 6, yCaption);
    return f;
}

}  // namespace

std::string StudyLabel(const registry::StoredStudy& s) {
    std::string date = s.date.size() == 8 ? s.date.substr(0, 4) + "-" + s.date.substr(4, 2) + "-" + s.date.substr(6, 2) : s.date;
    return s.studyUid + " (" + (s.accessionNumber.empty() ? "" : s.accessionNumber + ", ") + date + ", " + s.device + ")";
}

std::vector<PlotMark> DrawEnergyBoxes(DrawingSurface& s, float width, float height,
                                      const std::vector<registry::StoredStudy>& studies, int thicknessCm) {
    s.Cls();
    std::map<std::string, std::vector<std::size_t>> byProtocol;
    double yMax = 0;
    for (std::size_t i = 0; i < studies.size(); ++i) {
        if (studies[i].used == 0) continue;  // no energy to show
        byProtocol[studies[i].protocol].push_back(i);
        yMax = std::max(yMax, Energy(studies[i], thicknessCm));
    }
    const Frame f = Axes(s, width, height, yMax, "J (" + std::to_string(thicknessCm) + " cm)");
    std::vector<PlotMark> marks;
    const float slot = (f.right - f.left) / static_cast<float>(std::max<std::size_t>(1, byProtocol.size()));
    float x = f.left;
    for (const auto& [protocol, members] : byProtocol) {
        std::vector<double> values;
        for (std::size_t i : members) values.push_back(Energy(studies[i], thicknessCm));
        std::sort(values.begin(), values.end());
        const float mid = x + slot / 2, half = std::min(30.0f, slot / 4);
        const float q1 = f.Y(registry::Percentile(values, 25)), q3 = f.Y(registry::Percentile(values, 75));
        const float median = f.Y(registry::Percentile(values, 50));
        s.SetDrawWidth(1);
        s.Line(mid, f.Y(values.front()), mid, q1, kBlack);
        s.Line(mid, q3, mid, f.Y(values.back()), kBlack);
        s.Line(mid - half / 2, f.Y(values.front()), mid + half / 2, f.Y(values.front()), kBlack);
        s.Line(mid - half / 2, f.Y(values.back()), mid + half / 2, f.Y(values.back()), kBlack);
        s.Box(mid - half, q3, mid + half, q1, kSeries[0]);
        s.SetDrawWidth(2);
        s.Line(mid - half, median, mid + half, median, kSeries[1]);
        s.SetDrawWidth(3);
        for (std::size_t i : members) {
            const float y = f.Y(Energy(studies[i], thicknessCm));
            s.PSet(mid + half + 8, y, kGrey);
            marks.push_back({mid + half + 8, y, i});
        }
        s.Print(x + 4, f.bottom + 8, (protocol.empty() ? std::string("(none)") : protocol) + " (" + std::to_string(values.size()) + ")");
        x += slot;
    }
    return marks;
}

std::vector<PlotMark> DrawEnergyAgainstDap(DrawingSurface& s, float width, float height,
                                           const std::vector<registry::StoredStudy>& studies, int thicknessCm) {
    s.Cls();
    double xMax = 0, yMax = 0;
    std::vector<std::string> devices;
    for (const auto& st : studies) {
        if (st.used == 0) continue;
        xMax = std::max(xMax, st.dapGyCm2);
        yMax = std::max(yMax, Energy(st, thicknessCm));
        if (std::find(devices.begin(), devices.end(), st.device) == devices.end()) devices.push_back(st.device);
    }
    std::sort(devices.begin(), devices.end());
    // Headroom above the highest study for the legend, a line per device.
    const double headroom = 1.15 + 0.1 * static_cast<double>(devices.size());
    const Frame f = Axes(s, width, height, yMax * headroom, "J (" + std::to_string(thicknessCm) + " cm)");
    const double xStep = Step(xMax > 0 ? xMax : 1);
    const double xTop = std::ceil((xMax > 0 ? xMax : 1) / xStep) * xStep;
    const auto X = [&](double v) { return f.left + static_cast<float>(v / xTop) * (f.right - f.left); };
    for (double v = 0; v <= xTop + xStep / 2; v += xStep) {
        s.Line(X(v), f.bottom, X(v), f.bottom + 5, kBlack);
        s.Print(X(v) - 10, f.bottom + 8, NumberText(v));
    }
    s.Print(f.right - 150, f.bottom + 28, "DAP (Gy·cm²)");
    std::vector<PlotMark> marks;
    s.SetDrawWidth(5);
    for (std::size_t i = 0; i < studies.size(); ++i) {
        if (studies[i].used == 0) continue;
        const auto d = static_cast<std::size_t>(std::find(devices.begin(), devices.end(), studies[i].device) - devices.begin());
        const float x = X(studies[i].dapGyCm2), y = f.Y(Energy(studies[i], thicknessCm));
        s.PSet(x, y, kSeries[d % std::size(kSeries)]);
        marks.push_back({x, y, i});
    }
    // The legend, top left inside the frame.
    for (std::size_t d = 0; d < devices.size(); ++d) {
        const float y = f.top + 10 + 18 * static_cast<float>(d);
        s.SetDrawWidth(7);
        s.PSet(f.left + 12, y + 8, kSeries[d % std::size(kSeries)]);
        s.Print(f.left + 22, y, devices[d]);
    }
    return marks;
}

}  // namespace mirelo
