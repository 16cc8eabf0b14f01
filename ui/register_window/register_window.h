#pragma once

#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QWidget>
#include <memory>
#include <optional>
#include <vector>

#include "register/database.h"
#include "register/summary.h"
#include "ui/register_window/register_plots.h"

namespace mirelo {

// One of the register's pictures: drawn on the program's image surface, saved as PNG or SVG like
// the spectrum plot, the study under the pointer named in a tooltip.
class RegisterPlot : public QWidget {
public:
    using Draw = std::vector<PlotMark> (*)(DrawingSurface&, float, float, const std::vector<registry::StoredStudy>&, int);
    RegisterPlot(QWidget* parent, Draw draw);
    void SetStudies(const std::vector<registry::StoredStudy>* studies, int thicknessCm);
    const QImage& Image() const { return image_; }
    const std::vector<PlotMark>& Marks() const { return marks_; }
    // The study drawn within a few pixels of `point`, empty when none.
    QString StudyAt(QPoint point) const;
    QByteArray Png() const;
    QByteArray Svg(const QString& title) const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void Redraw();
    Draw draw_;
    const std::vector<registry::StoredStudy>* studies_ = nullptr;
    int thicknessCm_ = 20;
    QImage image_;
    std::vector<PlotMark> marks_;
};

// "線量登録簿": the register's summary by device, protocol or month (the figures of `register
// summary`), the studies above the reference levels, and two pictures of its studies.
class RegisterWindow : public QWidget {
    Q_OBJECT
public:
    RegisterWindow();
    // Opens a register file; false (with a message) when it cannot be.
    bool OpenDatabase(const QString& path);
    void ChooseDatabase();
    void ChooseLevels();
    void Refresh();
    void SavePlot(RegisterPlot* plot, const QString& name);

    QLabel* databaseLabel = nullptr;
    QPushButton* chooseButton = nullptr;
    QPushButton* levelsButton = nullptr;
    QComboBox* groupBox = nullptr;
    QPlainTextEdit* summaryText = nullptr;
    RegisterPlot* boxPlot = nullptr;
    RegisterPlot* scatterPlot = nullptr;
    QPushButton* saveBoxButton = nullptr;
    QPushButton* saveScatterButton = nullptr;
    QPushButton* closeButton = nullptr;

private:
    std::optional<registry::Database> database_;
    std::optional<registry::Levels> levels_;
    std::vector<registry::StoredStudy> studies_;
};

}  // namespace mirelo
