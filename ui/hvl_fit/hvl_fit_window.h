#pragma once

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QString>
#include <QWidget>
#include <functional>

namespace mirelo {

// "HVL から固有フィルタを推定": the inherent filtration whose spectrum has a measured first HVL, at the
// measurement's tube voltage, target angle and added filters. A window of its own, not modal; it
// deletes itself when closed.
class HvlFitWindow : public QWidget {
    Q_OBJECT
public:
    // `apply` receives the fitted filtration in mm, as the main window's inherent-filter field takes it.
    explicit HvlFitWindow(std::function<void(const QString&)> apply);

    // The main window's settings as its fields show them; an empty voltage keeps the one shown here.
    void TakeSettings(const QString& angle, const QString& al, const QString& cu, const QString& kv);

    void Fit();    // "推定"
    void Apply();  // "適用": only while a result for the inputs shown is there

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

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void ClearResult();

    std::function<void(const QString&)> apply_;
    QString fitted_;  // what Apply writes; empty while there is no result
};

}  // namespace mirelo
