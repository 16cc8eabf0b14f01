#pragma once

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QString>
#include <QTableWidget>
#include <QWidget>
#include <functional>
#include <optional>

#include "quality/quality.h"
#include "spectrum/input_rules.h"
#include "ui/state/shared_state.h"

namespace mirelo {

// The fitted inherent filtration against the tube voltage: the fitted points, the straight lines
// between them and the constant ends outside them.
class FiltrationPlot : public QWidget {
public:
    explicit FiltrationPlot(QWidget* parent);
    void SetCurve(std::optional<FiltrationCurve> curve, std::optional<double> markKv);
    const std::optional<FiltrationCurve>& Curve() const { return curve_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::optional<FiltrationCurve> curve_;
    std::optional<double> markKv_;
};

// "HVL から固有フィルタを推定": the inherent filtration whose spectrum has a measured first HVL, at the
// measurement's tube voltage, target angle and added filters; with several measurements of the tube
// (the table), fitted at each and interpolated in kV. A window of its own, not modal; it deletes
// itself when closed.
class HvlFitWindow : public QWidget {
    Q_OBJECT
public:
    // `apply` receives the fitted filtration in mm, as the main window's inherent-filter field takes it.
    HvlFitWindow(Module1& state, std::function<void(const QString&)> apply);

    // The main window's settings as its fields show them; an empty voltage keeps the one shown here.
    void TakeSettings(const QString& angle, const QString& al, const QString& cu, const QString& kv);

    void Fit();       // "推定": the table's points, or the fields' one while the table is empty
    void Apply();     // "適用": only while a result for the inputs shown is there
    void AddPoint();  // "追加": the fields' voltage and HVL into the table (replacing one at that kV)
    void RemovePoint();

    QLineEdit* kvField = nullptr;
    QLineEdit* hvlField = nullptr;
    QLineEdit* angleField = nullptr;
    QLineEdit* alField = nullptr;
    QLineEdit* cuField = nullptr;
    QPushButton* fitButton = nullptr;
    QLabel* inherentResult = nullptr;
    QLabel* hvl2Result = nullptr;
    QLabel* meanResult = nullptr;
    QPushButton* applyButton = nullptr;
    QPushButton* closeButton = nullptr;
    QTableWidget* pointsTable = nullptr;  // kV, HVL1, fitted inherent filtration
    QPushButton* addPointButton = nullptr;
    QPushButton* removePointButton = nullptr;
    QLabel* assumedResult = nullptr;  // the filters and angle the fit assumed, and a voltage far outside
    FiltrationPlot* plot = nullptr;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void ClearResult();
    // Whether the rule takes the values; if not, says so and puts the focus on the field it names.
    bool Accepts(const InputValues& values);

    std::optional<double> mainKv_;  // the main window's fixed voltage: Apply writes the filtration there
    Module1& state_;
    std::function<void(const QString&)> apply_;
    QString fitted_;  // what Apply writes; empty while there is no result
};

}  // namespace mirelo
