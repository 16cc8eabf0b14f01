#include "ui/report/report.h"

#include <QBuffer>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPainter>
#include <QPdfWriter>

#include "ui/platform/look.h"
#include "ui/spectrum_window/painter_surface.h"
#include "ui/spectrum_window/plot_export.h"
#include "ui/spectrum_plot/spectrum_plot.h"

namespace mirelo {
namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

// A cursor down the page, in device units, with the page's width in millimetres at hand.
class Page {
public:
    Page(QPainter& p, const QPagedPaintDevice& device) : p_(p), perMm_(device.logicalDpiY() / 25.4) {
        const QRectF area = QRectF(device.pageLayout().paintRectPixels(device.logicalDpiX()));
        width_ = area.width();
        bottom_ = area.height();
    }
    double Mm(double mm) const { return mm * perMm_; }
    double width() const { return width_; }
    double y() const { return y_; }
    double left() const { return bottom_ - y_; }
    void Skip(double mm) { y_ += Mm(mm); }

    // Text from the cursor's line down, wrapped at words (or anywhere, for paths); returns its height.
    double Text(double x, double w, const QString& text, const QFont& font, int flags = Qt::AlignLeft | Qt::TextWordWrap) {
        p_.setFont(font);
        const QRectF room(x, y_, w, bottom_);
        const QRectF used = p_.boundingRect(room, flags, text);
        p_.drawText(room, flags, text);
        return used.height();
    }
    void Down(double height) { y_ += height; }
    void Rule() {
        p_.setPen(QPen(Qt::gray, Mm(0.2)));
        p_.drawLine(QPointF(0, y_), QPointF(width_, y_));
        p_.setPen(Qt::black);
    }

private:
    QPainter& p_;
    double perMm_;
    double width_ = 0, bottom_ = 0, y_ = 0;
};

QFont Face(double points, bool bold = false) { return look::Meiryo(points, bold); }
// The fingerprints in a fixed-width face, small enough to stay on one line where they can be compared.
QFont Digits() {
    QFont f = look::Font({QStringLiteral("Liberation Mono"), QStringLiteral("DejaVu Sans Mono"), QStringLiteral("Monospace")}, 7.5);
    f.setStyleHint(QFont::Monospace);
    return f;
}

}  // namespace

bool PaintReport(QPagedPaintDevice& device, const ReportContent& c) {
    QPainter painter(&device);
    if (!painter.isActive()) {
        return false;
    }
    Page page(painter, device);
    painter.setPen(Qt::black);

    page.Down(page.Text(0, page.width(), Q(c.words.title), Face(16, true)));
    page.Skip(2);
    page.Rule();
    page.Skip(2);

    // The header: captions in a column of their own, values beside them.
    const double captionWidth = page.Mm(48);
    for (const RecordLine& line : RecordHeader(c.record, c.words)) {
        QStringList values;
        for (const auto& v : line.values) {
            values << Q(v);
        }
        const double h1 = page.Text(0, captionWidth - page.Mm(2), Q(line.caption), Face(9));
        double h2 = 0;
        const double valueWidth = page.width() - captionWidth;
        if (values.size() == 3) {
            // A table file's path, then its fingerprint on a line of its own.
            const double path = page.Text(captionWidth, valueWidth, values[0], Face(9), Qt::AlignLeft | Qt::TextWrapAnywhere);
            page.Down(path);
            h2 = path + page.Text(captionWidth, valueWidth, values[1] + QStringLiteral(" ") + values[2], Digits(),
                                  Qt::AlignLeft | Qt::TextWrapAnywhere);
            page.Down(-path);
        } else {
            h2 = page.Text(captionWidth, valueWidth, values.join(QStringLiteral("  ")), Face(9));
        }
        page.Down(std::max(h1, h2) + page.Mm(0.8));
    }
    page.Skip(2);
    page.Rule();
    page.Skip(2);

    // The results, as the result list shows them.
    page.Down(page.Text(0, page.width(), c.resultsCaption, Face(11, true)));
    page.Skip(1);
    const double column = page.Mm(45);
    page.Text(0, column, Q(c.words.thickness), Face(10, true), Qt::AlignRight);
    page.Down(page.Text(column + page.Mm(10), page.width() - column, Q(c.words.integralDose), Face(10, true)));
    for (const auto& [thickness, joules] : RecordResults(c.record)) {
        page.Text(0, column, Q(thickness), Face(10), Qt::AlignRight);
        page.Down(page.Text(column + page.Mm(10), page.width() - column, Q(joules), Face(10)));
    }
    page.Skip(3);
    page.Rule();
    page.Skip(2);

    // The spectrum, drawn as the spectrum window draws it, over what room is left.
    page.Down(page.Text(0, page.width(), c.plotCaption, Face(11, true)));
    page.Skip(1);
    const QSize design = PlotDesignPixels();
    double w = page.width();
    double h = w * design.height() / design.width();
    if (h > page.left()) {
        h = page.left();
        w = h * design.width() / design.height();
    }
    PainterSurface surface(painter, QRectF(0, page.y(), w, h), kPlotUnitsX, kPlotUnitsY, QSizeF(design));
    PlotSeams seams;
    bool refused = false;
    seams.refuse = [&refused] { refused = true; };
    seams.processPendingEvents = [] {};
    seams.surface = [&surface]() -> DrawingSurface& { return surface; };
    seams.showWindow = [] {};
    DrawSpectrum(c.spectrum, seams);
    if (refused) {
        page.Text(0, page.width(), QStringLiteral("—"), Face(10));
    }
    return painter.end();
}

QByteArray ReportPdf(const ReportContent& content) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    {
        QPdfWriter pdf(&buffer);
        pdf.setResolution(300);
        pdf.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(20, 18, 20, 18),
                                      QPageLayout::Millimeter));
        pdf.setTitle(QString::fromStdString(content.words.title));
        pdf.setCreator(QString::fromStdString(content.record.program));
        PaintReport(pdf, content);
    }
    return bytes;
}

}  // namespace mirelo
