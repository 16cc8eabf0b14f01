#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>
#include <vector>

#include "ui/spectrum_plot/recording_surface.h"

namespace mirelo {

// The pixel size of the plot's image on screen, which vector copies keep the proportions of.
QSize PlotDesignPixels();

#ifdef MIRELO_HAVE_SVG
// The plot as an SVG document drawn from its recorded operations.
QByteArray PlotSvg(const std::vector<RecordingSurface::Op>& ops, const QString& title);
#endif
// The plot's image as PNG.
QByteArray PlotPng(const QImage& image);

}  // namespace mirelo
