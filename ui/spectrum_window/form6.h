#pragma once

#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QString>
#include <QWidget>
#include <optional>

#include "tables/tables.h"
#include "ui/spectrum_window/image_surface.h"
#include "ui/spectrum_plot/recording_surface.h"

namespace mirelo {

// The plot surface: a sunken frame around a retained image that it repaints itself from, so that
// drawing made while hidden or covered is there when the window shows again.
class PlotPicture : public QFrame {
    Q_OBJECT
public:
    explicit PlotPicture(QWidget* parent);
    ImageSurface& surface() { return surface_; }
    // Draws on the image and keeps the operations since the last Cls, so that the plot on screen
    // can be saved again as vector graphics.
    DrawingSurface& drawing() { return recorder_; }
    const std::vector<RecordingSurface::Op>& drawn() const { return recorder_.record.ops; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    class Recorder final : public DrawingSurface {
    public:
        explicit Recorder(ImageSurface& image) : image_(image) {}
        void Cls() override {
            record.ops.clear();
            record.Cls();
            image_.Cls();
        }
        void SetDrawWidth(int pixels) override { record.SetDrawWidth(pixels), image_.SetDrawWidth(pixels); }
        void Line(float x1, float y1, float x2, float y2, Rgb c) override {
            record.Line(x1, y1, x2, y2, c), image_.Line(x1, y1, x2, y2, c);
        }
        void LineTo(float x, float y, Rgb c) override { record.LineTo(x, y, c), image_.LineTo(x, y, c); }
        void Box(float x1, float y1, float x2, float y2, Rgb c) override {
            record.Box(x1, y1, x2, y2, c), image_.Box(x1, y1, x2, y2, c);
        }
        void PSet(float x, float y, Rgb c) override { record.PSet(x, y, c), image_.PSet(x, y, c); }
        void Print(float x, float y, const std::string& text) override { record.Print(x, y, text), image_.Print(x, y, text); }
        RecordingSurface record;

    private:
        ImageSurface& image_;
    };
    ImageSurface surface_;
    Recorder recorder_{surface_};
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

    // Saves the plot on screen as PNG (the image as shown) or SVG (vector graphics), chosen by the
    // file name's suffix; from the plot's context menu or Ctrl+S.
    QAction* SavePlotAction = nullptr;
    void SavePlot();

    // The spectrum whose curve the window shows; "Data save" writes exactly this one, and is enabled
    // only while there is one.
    void SetPlotted(const BinArray& spectrum);
    // Blank picture and quality line, nothing to save.
    void ClearPlot();
    const std::optional<BinArray>& Plotted() const { return plotted_; }

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void AddPlotCommands();

    std::optional<BinArray> plotted_;
};

// Writes the text of X_SPCTL.dat for `spectrum` to `path` through a temporary file in the same
// folder, so that a failed save leaves any earlier file as it was. On failure `reason` holds the
// system's explanation.
bool SaveSpectrumFile(const QString& path, const BinArray& spectrum, QString& reason);

}  // namespace mirelo
