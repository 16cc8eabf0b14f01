#pragma once

#include <QImage>
#include <QPoint>
#include <functional>

#include "ui/spectrum_plot/drawing_surface.h"

namespace mirelo {

// The drawing surface painted into a retained image of a fixed pixel size. Logical units are mapped
// onto whole pixels and lines are drawn without anti-aliasing, so a 2-pixel line is always exactly
// two pixels wide and never smeared over three.
class ImageSurface final : public DrawingSurface {
public:
    ImageSurface(int widthPx, int heightPx, float unitsX, float unitsY);

    void Cls() override;
    void SetDrawWidth(int pixels) override;
    void Line(float x1, float y1, float x2, float y2, Rgb colour) override;
    void LineTo(float x, float y, Rgb colour) override;
    void Box(float x1, float y1, float x2, float y2, Rgb colour) override;
    void PSet(float x, float y, Rgb colour) override;
    void Print(float x, float y, const std::string& text) override;

    const QImage& image() const { return image_; }
    // The pixel a logical point lands on.
    QPoint ToPixel(float x, float y) const;
    // Called after every operation, so that a widget showing the image can repaint.
    std::function<void()> changed;

private:
    void Stroke(const QPoint* points, int count, bool closed, Rgb colour);
    void Changed() const;

    QImage image_;
    float unitsX_, unitsY_;
    int penWidth_ = 1;
    QPoint current_{0, 0};
};

}  // namespace mirelo
