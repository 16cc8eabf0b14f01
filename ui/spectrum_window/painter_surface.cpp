#include "ui/spectrum_window/painter_surface.h"

#include <QPainter>
#include <QPen>
#include <algorithm>

#include "ui/platform/look.h"

namespace mirelo {

PainterSurface::PainterSurface(QPainter& painter, const QRectF& target, float unitsX, float unitsY, QSizeF designPixels)
    : painter_(painter), target_(target), unitsX_(unitsX), unitsY_(unitsY), design_(designPixels) {}

// Operations are drawn in the pixels of the on-screen design, scaled onto the target.
QPointF PainterSurface::ToDesign(float x, float y) const {
    const double px = std::clamp(static_cast<double>(x) * design_.width() / unitsX_, -1.0e6, 1.0e6);
    const double py = std::clamp(static_cast<double>(y) * design_.height() / unitsY_, -1.0e6, 1.0e6);
    return {px, py};
}

void PainterSurface::Stroke(Rgb colour) {
    painter_.setPen(QPen(QColor(colour.r, colour.g, colour.b), penWidth_, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    painter_.setBrush(Qt::NoBrush);
}

void PainterSurface::Cls() {
    painter_.save();
    painter_.fillRect(target_, Qt::white);
    painter_.restore();
    current_ = {};
}

void PainterSurface::SetDrawWidth(int pixels) { penWidth_ = std::max(1, pixels); }

namespace {
// Maps design pixels onto the target for one operation.
class Mapped {
public:
    Mapped(QPainter& p, const QRectF& target, QSizeF design) : p_(p) {
        p_.save();
        p_.translate(target.topLeft());
        p_.scale(target.width() / design.width(), target.height() / design.height());
        p_.setRenderHint(QPainter::Antialiasing, true);
    }
    ~Mapped() { p_.restore(); }
    Mapped(const Mapped&) = delete;
    Mapped& operator=(const Mapped&) = delete;

private:
    QPainter& p_;
};
}  // namespace

void PainterSurface::Line(float x1, float y1, float x2, float y2, Rgb colour) {
    const Mapped m(painter_, target_, design_);
    Stroke(colour);
    painter_.drawLine(ToDesign(x1, y1), ToDesign(x2, y2));
    current_ = ToDesign(x2, y2);
}

void PainterSurface::LineTo(float x, float y, Rgb colour) {
    const Mapped m(painter_, target_, design_);
    Stroke(colour);
    const QPointF to = ToDesign(x, y);
    painter_.drawLine(current_, to);
    current_ = to;
}

void PainterSurface::Box(float x1, float y1, float x2, float y2, Rgb colour) {
    const Mapped m(painter_, target_, design_);
    Stroke(colour);
    painter_.drawRect(QRectF(ToDesign(x1, y1), ToDesign(x2, y2)).normalized());
}

void PainterSurface::PSet(float x, float y, Rgb colour) {
    const Mapped m(painter_, target_, design_);
    Stroke(colour);
    current_ = ToDesign(x, y);
    painter_.drawPoint(current_);
}

void PainterSurface::Print(float x, float y, const std::string& text) {
    const Mapped m(painter_, target_, design_);
    QFont font = look::TimesNewRoman(15.75);
    font.setPixelSize(21);  // 15.75 pt at the design's 96 dots per inch
    painter_.setFont(font);
    painter_.setPen(Qt::black);
    const QPointF at = ToDesign(x, y);
    painter_.drawText(QRectF(at, QSizeF(design_.width(), design_.height())), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                      QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
}

void Replay(const std::vector<RecordingSurface::Op>& ops, DrawingSurface& surface) {
    using Kind = RecordingSurface::Kind;
    for (const auto& op : ops) {
        switch (op.kind) {
        case Kind::Cls: surface.Cls(); break;
        case Kind::DrawWidth: surface.SetDrawWidth(op.width); break;
        case Kind::Line: surface.Line(op.x1, op.y1, op.x2, op.y2, op.colour); break;
        case Kind::LineTo: surface.LineTo(op.x1, op.y1, op.colour); break;
        case Kind::Box: surface.Box(op.x1, op.y1, op.x2, op.y2, op.colour); break;
        case Kind::PSet: surface.PSet(op.x1, op.y1, op.colour); break;
        case Kind::Print: surface.Print(op.x1, op.y1, op.text); break;
        }
    }
}

}  // namespace mirelo
