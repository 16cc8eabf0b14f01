#include "ui/spectrum_window/plot_export.h"

#include <QAction>
#include <QBuffer>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QPainter>
#include <QPointer>
#ifdef MIRELO_HAVE_SVG
#include <QSvgGenerator>
#endif

#include "ui/platform/dialogs.h"
#include "ui/platform/language.h"
#include "ui/platform/message_box.h"
#include "ui/platform/messages.h"
#include "ui/spectrum_window/form6.h"
#include "ui/spectrum_window/painter_surface.h"
#include "ui/spectrum_plot/spectrum_plot.h"

namespace mirelo {

QSize PlotDesignPixels() { return {13635 / 15, 7035 / 15}; }

#ifdef MIRELO_HAVE_SVG
QByteArray PlotSvg(const std::vector<RecordingSurface::Op>& ops, const QString& title) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    QSvgGenerator svg;
    svg.setOutputDevice(&buffer);
    const QSize size = PlotDesignPixels();
    svg.setSize(size);
    svg.setViewBox(QRect(QPoint(0, 0), size));
    svg.setResolution(96);
    svg.setTitle(title);
    svg.setDescription(QStringLiteral("Mirelo"));
    QPainter painter(&svg);
    PainterSurface surface(painter, QRectF(QPointF(0, 0), QSizeF(size)), kPlotUnitsX, kPlotUnitsY, QSizeF(size));
    Replay(ops, surface);
    painter.end();
    return bytes;
}
#endif

QByteArray PlotPng(const QImage& image) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

void Form6::AddPlotCommands() {
    SavePlotAction = new QAction(this);
    SavePlotAction->setObjectName(QStringLiteral("SavePlotAction"));
#ifdef MIRELO_HAVE_SVG
    i18n::TrText(SavePlotAction, "Form6", QT_TRANSLATE_NOOP("Form6", "図を保存 (PNG / SVG)..."));
#else
    i18n::TrText(SavePlotAction, "Form6", QT_TRANSLATE_NOOP("Form6", "図を保存 (PNG)..."));
#endif
    SavePlotAction->setShortcut(QKeySequence::Save);
    SavePlotAction->setShortcutContext(Qt::WindowShortcut);
    connect(SavePlotAction, &QAction::triggered, this, &Form6::SavePlot);
    addAction(SavePlotAction);
    Picture3->setContextMenuPolicy(Qt::ActionsContextMenu);
    Picture3->addAction(SavePlotAction);
#ifdef MIRELO_HAVE_SVG
    i18n::Tr(Picture3, "toolTip", "Form6", QT_TRANSLATE_NOOP("Form6", "右クリックで図を PNG または SVG に保存できます"));
#else
    i18n::Tr(Picture3, "toolTip", "Form6", QT_TRANSLATE_NOOP("Form6", "右クリックで図を PNG に保存できます"));
#endif
}

void Form6::SavePlot() {
    const auto& ops = Picture3->drawn();
    if (ops.size() <= 1) {  // nothing but the erase: no plot has been drawn
        MessageBox::warning(this, messages::kNoPlot);
        return;
    }
    const QString suggested =
        QDir::current().filePath(QStringLiteral("spectrum-%1.png").arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"))));
#ifdef MIRELO_HAVE_SVG
    const QString path = Dialogs::saveFileName(this, tr("図を保存"), suggested, tr("PNG 画像 (*.png);;SVG 図 (*.svg)"));
    if (path.isEmpty()) {
        return;
    }
    const bool svg = QFileInfo(path).suffix().compare(QStringLiteral("svg"), Qt::CaseInsensitive) == 0;
    const QByteArray bytes = svg ? PlotSvg(ops, windowTitle()) : PlotPng(Picture3->surface().image());
#else
    const QString path = Dialogs::saveFileName(this, tr("図を保存"), suggested, tr("PNG 画像 (*.png)"));
    if (path.isEmpty()) {
        return;
    }
    const QByteArray bytes = PlotPng(Picture3->surface().image());
#endif
    QString reason;
    if (!WriteFileAtomically(path, bytes, reason)) {
        MessageBox::warning(this, messages::kSaveFailed.arg(QDir::toNativeSeparators(path), reason));
        return;
    }
    MessageBox::information(this, messages::kSaved.arg(QDir::toNativeSeparators(path)));
}

}  // namespace mirelo
