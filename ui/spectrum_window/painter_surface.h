#pragma once

#include <QRectF>
#include <QSizeF>

#include "ui/spectrum_plot/drawing_surface.h"
#include "ui/spectrum_plot/recording_surface.h"

class QPainter;

namespace mirelo {

// The drawing surface on any QPainter (an SVG file, a PDF page, a printer), as vector graphics.
// The plot's logical units are mapped onto `target`; line widths and the text size keep their
// proportion to the on-screen image of `designPixels`, so the plot looks the same at any size.
class PainterSurface final : public DrawingSurface {
public:
    PainterSurface(QPainter& painter, const QRectF& target, float unitsX, float unitsY, QSizeF designPixels);

    void Cls() override;
    void SetDrawWidth(int pixels) override;
    void Line(float x1, float y1, float x2, float y2, Rgb colour) override;
    void LineTo(float x, float y, Rgb colour) override;
    void Box(float x1, float y1, float x2, float y2, Rgb colour) override;
    void PSet(float x, float y, Rgb colour) override;
    void Print(float x, float y, const std::string& text) override;

private:
    QPointF ToDesign(float x, float y) const;
    void Stroke(Rgb colour);

    QPainter& painter_;
    QRectF target_;
    float unitsX_, unitsY_;
    QSizeF design_;
    int penWidth_ = 1;
    QPointF current_;
};

// Draws recorded operations again, in order, on another surface.
void Replay(const std::vector<RecordingSurface::Op>& ops, DrawingSurface& surface);

}  // namespace mirelo
