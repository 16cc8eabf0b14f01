#pragma once

#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QString>
#include <QWidget>
#include <optional>

#include "tables/tables.h"
#include "ui/spectrum_window/image_surface.h"

namespace mirelo {

// The plot surface: a sunken frame around a retained image that it repaints itself from, so that
// drawing made while hidden or covered is there when the window shows again.
class PlotPicture : public QFrame {
    Q_OBJECT
public:
    explicit PlotPicture(QWidget* parent);
    ImageSurface& surface() { return surface_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    ImageSurface surface_;
};

// The spectrum window. Controls keep their designer names (as members and as objectName).
class Form6 : public QWidget {
    Q_OBJECT
public:
    Form6();

    PlotPicture* Picture3 = nullptr;
    QPushButton* Command1 = nullptr;  // "Close"
    QLabel* Label1 = nullptr;
    QPushButton* Command2 = nullptr;  // "Data save"

    void Command1_Click();
    void Command2_Click();

    // The spectrum whose curve the window shows; "Data save" writes exactly this one, and is enabled
    // only while there is one.
    void SetPlotted(const BinArray& spectrum);
    // Blank picture, nothing to save.
    void ClearPlot();
    const std::optional<BinArray>& Plotted() const { return plotted_; }

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    std::optional<BinArray> plotted_;
};

// Writes the text of X_SPCTL.dat for `spectrum` to `path` through a temporary file in the same
// folder, so that a failed save leaves any earlier file as it was. On failure `reason` holds the
// system's explanation.
bool SaveSpectrumFile(const QString& path, const BinArray& spectrum, QString& reason);

}  // namespace mirelo
