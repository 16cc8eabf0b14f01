#pragma once

#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QString>
#include <QWidget>

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
    // Under the controls: the beam settings and quality of the plotted spectrum (QualityLineText).
    QLabel* QualityLine = nullptr;

    void Command1_Click();
    void Command2_Click();
};

// Writes the text of X_SPCTL.dat for `spectrum` to `path` through a temporary file in the same
// folder, so that a failed save leaves any earlier file as it was. On failure `reason` holds the
// system's explanation.
bool SaveSpectrumFile(const QString& path, const BinArray& spectrum, QString& reason);

}  // namespace mirelo
