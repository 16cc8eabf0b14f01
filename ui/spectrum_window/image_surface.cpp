#include "ui/spectrum_window/image_surface.h"

#include <QPainter>
#include <QPen>
#include <algorithm>
#include <cmath>

#include "ui/platform/look.h"

namespace mirelo {
namespace {
// 96 dots per inch, the resolution the window was designed at, so that 15.75 pt is 21 pixels
// whatever screen the program runs on.
constexpr int kDotsPerMeter = 3780;

QColor ToQColor(Rgb c) { return {c.r, c.g, c.b}; }

// Far outside the image but well inside int; keeps huge or non-finite coordinates from overflowing.
int ToPixelAxis(float units, float unitsFull, int pixelsFull) {
    const double px = static_cast<double>(units) * pixelsFull / static_cast<double>(unitsFull);
    if (std::isnan(px)) {
        return 0;
    }
    return static_cast<int>(std::lround(std::clamp(px, -1.0e6, 1.0e6)));
}
}  // namespace

ImageSurface::ImageSurface(int widthPx, int heightPx, float unitsX, float unitsY)
    : image_(widthPx, heightPx, QImage::Format_RGB32), unitsX_(unitsX), unitsY_(unitsY) {
    image_.setDotsPerMeterX(kDotsPerMeter);
    image_.setDotsPerMeterY(kDotsPerMeter);
    image_.fill(Qt::white);
}

QPoint ImageSurface::ToPixel(float x, float y) const {
    return {ToPixelAxis(x, unitsX_, image_.width()), ToPixelAxis(y, unitsY_, image_.height())};
}

void ImageSurface::Changed() const {
    if (changed) {
        changed();
    }
}

void ImageSurface::Cls() {
    image_.fill(Qt::white);
    current_ = {0, 0};
    Changed();
}

void ImageSurface::SetDrawWidth(int pixels) { penWidth_ = std::max(1, pixels); }

void ImageSurface::Stroke(const QPoint* points, int count, bool closed, Rgb colour) {
    QPainter p(&image_);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(QPen(ToQColor(colour), penWidth_, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    p.setBrush(Qt::NoBrush);
    if (count == 1) {
        p.drawPoint(points[0]);
    } else if (closed) {
        p.drawPolygon(points, count);
    } else {
        p.drawPolyline(points, count);
    }
    p.end();
    Changed();
}

void ImageSurface::Line(float x1, float y1, float x2, float y2, Rgb colour) {
    const QPoint pts[] = {ToPixel(x1, y1), ToPixel(x2, y2)};
    Stroke(pts, 2, false, colour);
    current_ = pts[1];
}

void ImageSurface::LineTo(float x, float y, Rgb colour) {
    const QPoint pts[] = {current_, ToPixel(x, y)};
    Stroke(pts, 2, false, colour);
    current_ = pts[1];
}

void ImageSurface::Box(float x1, float y1, float x2, float y2, Rgb colour) {
    const QPoint a = ToPixel(x1, y1);
    const QPoint b = ToPixel(x2, y2);
    const QPoint pts[] = {a, {b.x(), a.y()}, b, {a.x(), b.y()}};
    Stroke(pts, 4, true, colour);
}

void ImageSurface::PSet(float x, float y, Rgb colour) {
    const QPoint pts[] = {ToPixel(x, y)};
    Stroke(pts, 1, false, colour);
    current_ = pts[0];
}

void ImageSurface::Print(float x, float y, const std::string& text) {
    const QPoint at = ToPixel(x, y);
    QPainter p(&image_);
    p.setFont(look::TimesNewRoman(15.75));
    p.setPen(Qt::black);
    p.setBackgroundMode(Qt::TransparentMode);
    const QRect room(at, QPoint(at.x() + image_.width(), at.y() + image_.height()));
    p.drawText(room, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
    p.end();
    Changed();
}

}  // namespace mirelo
