#pragma once

#include <QComboBox>
#include <QFuture>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QTabWidget>
#include <QTableView>
#include <QThreadPool>
#include <QWidget>
#include <functional>
#include <memory>
#include <vector>

#include "register/database.h"
#include "register/summary.h"
#include "ui/register_window/register_plots.h"
#include "ui/register_window/register_view.h"

namespace mirelo {

// One of the register's pictures: drawn at the window's font size on a white face with black text
// (so a dark theme leaves it readable), saved as PNG or SVG like the spectrum plot, the study under
// the pointer named in a tooltip and told to the window.
class RegisterPlot : public QWidget {
    Q_OBJECT
public:
    using Draw = std::vector<PlotMark> (*)(DrawingSurface&, float, float, const std::vector<registry::StoredStudy>&, int);
    RegisterPlot(QWidget* parent, Draw draw);
    void SetView(std::shared_ptr<const RegisterView> view);
    const QImage& Image() const { return image_; }
    const std::vector<PlotMark>& Marks() const { return marks_; }
    // The study drawn within a few pixels of `point`, empty when none.
    QString StudyAt(QPoint point) const;
    QByteArray Png() const;
    QByteArray Svg(const QString& title) const;
    // Draws the picture as vector graphics into `target` of a painter (a PDF page).
    void Paint(QPainter& painter, const QRectF& target) const;

signals:
    void hovered(const QString& study);  // empty when the pointer is on no study

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void Redraw();
    Draw draw_;
    std::shared_ptr<const RegisterView> view_;
    QImage image_;
    std::vector<PlotMark> marks_;
    QString hovered_;
};

// "線量登録簿": the register's summary by device, protocol or month (the figures of `register
// summary`) over a date range and a device at a body thickness, the studies above the reference
// levels, and two pictures of the studies chosen. Every question goes to a worker thread; only the
// answer to the latest one is shown.
class RegisterWindow : public QWidget {
    Q_OBJECT
public:
    using Compute = std::function<std::shared_ptr<const RegisterView>(const RegisterChoices&)>;
    explicit RegisterWindow(Compute compute = &ComputeRegisterView);
    ~RegisterWindow() override;
    // Opens a register file: it is read on a worker; a register that cannot be opened is told.
    void OpenDatabase(const QString& path);
    void ChooseDatabase();
    void ChooseLevels();
    // Asks the register again with the choices on screen.
    void Refresh();
    bool Busy() const { return pending_ > 0; }
    const std::shared_ptr<const RegisterView>& Shown() const { return shown_; }
    RegisterChoices Choices() const;

    void SaveGroupsCsv();
    void SaveAboveCsv();
    void SavePdf();
    void SavePlot(RegisterPlot* plot, const QString& name);

    QLabel* databaseLabel = nullptr;
    QLabel* levelsLabel = nullptr;
    QPushButton* chooseButton = nullptr;
    QPushButton* levelsButton = nullptr;
    QComboBox* groupBox = nullptr;
    QComboBox* thicknessBox = nullptr;
    QComboBox* deviceBox = nullptr;
    QLineEdit* fromEdit = nullptr;
    QLineEdit* toEdit = nullptr;
    QProgressBar* progressBar = nullptr;
    QLabel* statusLabel = nullptr;
    QTabWidget* tabs = nullptr;
    QTableView* groupsTable = nullptr;
    QTableView* aboveTable = nullptr;
    QPlainTextEdit* summaryText = nullptr;
    GroupsModel* groupsModel = nullptr;
    AboveModel* aboveModel = nullptr;
    QSortFilterProxyModel* groupsProxy = nullptr;
    QSortFilterProxyModel* aboveProxy = nullptr;
    RegisterPlot* boxPlot = nullptr;
    RegisterPlot* scatterPlot = nullptr;
    QLabel* hoverLabel = nullptr;
    QPushButton* groupsCsvButton = nullptr;
    QPushButton* aboveCsvButton = nullptr;
    QPushButton* pdfButton = nullptr;
    QPushButton* saveBoxButton = nullptr;
    QPushButton* saveScatterButton = nullptr;
    QPushButton* closeButton = nullptr;

signals:
    void viewShown();  // an answer (or the reason there is none) is on screen

protected:
    void changeEvent(QEvent* event) override;

private:
    void Show(std::shared_ptr<const RegisterView> view);
    void ShowStatus();
    void UpdateCommands();

    Compute compute_;
    QThreadPool pool_;  // the window's own, so that a slow read never holds a newer one back
    QString database_;
    std::shared_ptr<const registry::Levels> levels_;
    std::shared_ptr<const RegisterView> shown_;
    std::vector<QFuture<std::shared_ptr<const RegisterView>>> running_;
    int generation_ = 0;  // of the latest question
    int pending_ = 0;
};

}  // namespace mirelo
