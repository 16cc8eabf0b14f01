#pragma once

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QString>
#include <QWidget>

#include "ui/state/shared_state.h"

namespace mirelo {

// What the dialog needs from the main window; the main window provides it, so that this library
// does not depend on the main window's class.
class TubeVoltagePort {
public:
    virtual ~TubeVoltagePort() = default;
    virtual void SetTubeVoltageCaption(const QString& caption) = 0;  // the main window's Label7
    virtual void FocusSpectrumCommand() = 0;                          // the main window's Command2
    // OK wrote a setting other than the one before: whatever was computed from it is out of date.
    virtual void TubeVoltageChanged() = 0;
};

// The tube-voltage dialog. Created on first use, hidden by OK, discarded when closed by its title
// bar or Esc (it deletes itself then). A tool window of its own, not owned by the main window, so
// that activating the main window brings that to the front. Controls keep their designer names.
class Form4 : public QWidget {
    Q_OBJECT
public:
    Form4(TubeVoltagePort& port, Module1& state);

    void Option1_Click();
    void Option2_Click();
    void Command1_Click();

    QLabel* Label1 = nullptr;
    QGroupBox* Frame1 = nullptr;
    QRadioButton* Option1 = nullptr;
    QLineEdit* Text1 = nullptr;
    QLabel* Label2 = nullptr;
    QRadioButton* Option2 = nullptr;
    QLineEdit* Text2 = nullptr;
    QLabel* Label4 = nullptr;
    QLineEdit* Text3 = nullptr;
    QLabel* Label3 = nullptr;
    QGroupBox* Frame2 = nullptr;
    QRadioButton* Option3 = nullptr;
    QRadioButton* Option4 = nullptr;
    QWidget* Picture1 = nullptr;
    QPushButton* Command1 = nullptr;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    TubeVoltagePort& port_;
    Module1& state_;
};

// The main window's tube-voltage display: the fixed voltage ("80"), or the range with its spread
// ("75 - 85 kV (正規分布)", in the interface's language); `mode` 1 even, 2 normal-like.
QString VoltageCaption(double lowKv, double highKv, int mode);

}  // namespace mirelo
