#include "ui/tube_voltage/tube_voltage_dialog.h"

#include <QButtonGroup>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QStyleOptionButton>
#include <QStylePainter>
#include <QVBoxLayout>
#include <cmath>

#include "ui/platform/field_reading.h"
#include "ui/platform/language.h"
#include "ui/platform/look.h"
#include "ui/platform/message_box.h"
#include "ui/platform/messages.h"
#include "ui/platform/screen_fit.h"
#include "spectrum/input_rules.h"
#include "spectrum/spectrum.h"
#include "ui/state/shared_state.h"
#include "common/number_text.h"

namespace mirelo {
namespace {

QString AsCaption(double kv) { return QString::fromStdString(NumberText(kv)); }

// Picture1: an even and a bell-shaped spread of the current-time product over the voltages.
class SpreadPicture : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.fillRect(rect(), Qt::white);
        p.setPen(QPen(Qt::black, 1));
        p.drawRect(rect().adjusted(0, 0, -1, -1));

        const int w = width();
        const int h = height();
        const int labelHeight = 22;
        const int base = h - labelHeight - 4;
        const int top = 12;
        const int half = w / 2;
        const int margin = 10;
        const QPen axis(Qt::black, 1);
        const QPen curve(QColor(0, 0, 192), 2);

        // Even: the same height across the range.
        p.setPen(axis);
        p.drawLine(margin, base, half - margin / 2, base);
        p.setPen(curve);
        const int evenTop = top + (base - top) / 2;
        p.drawLine(margin + 8, base, margin + 8, evenTop);
        p.drawLine(margin + 8, evenTop, half - margin / 2 - 8, evenTop);
        p.drawLine(half - margin / 2 - 8, evenTop, half - margin / 2 - 8, base);

        // Normal-distribution-like: a bell around the middle.
        p.setPen(axis);
        const int left = half + margin / 2;
        const int right = w - margin;
        p.drawLine(left, base, right, base);
        QPainterPath bell;
        const double mid = (left + right) / 2.0;
        const double sigma = (right - left) / 6.0;
        for (int x = left; x <= right; ++x) {
            const double z = (x - mid) / sigma;
            const double y = base - (base - top) * std::exp(-0.5 * z * z);
            if (x == left) {
                bell.moveTo(x, y);
            } else {
                bell.lineTo(x, y);
            }
        }
        p.setPen(curve);
        p.drawPath(bell);

        p.setPen(Qt::black);
        p.setFont(look::PGothic(9));
        p.drawText(QRect(0, h - labelHeight - 2, half, labelHeight), Qt::AlignCenter,
                   QCoreApplication::translate("Form4", "均等"));
        p.drawText(QRect(half, h - labelHeight - 2, w - half, labelHeight), Qt::AlignCenter,
                   QCoreApplication::translate("Form4", "正規分布状"));
        if (hasFocus()) {
            p.setRenderHint(QPainter::Antialiasing, false);
            p.setPen(QPen(Qt::black, 1, Qt::DotLine));
            p.drawRect(rect().adjusted(2, 2, -3, -3));
        }
    }
};

// An option button whose caption wraps onto a second line when it does not fit, as the design's
// tall "中央値を中心にして正規分布状に変動" button needs.
class WrappingOption : public QRadioButton {
public:
    using QRadioButton::QRadioButton;

protected:
    void paintEvent(QPaintEvent*) override {
        QStylePainter p(this);
        QStyleOptionButton opt;
        initStyleOption(&opt);
        const QString caption = opt.text;
        opt.text.clear();
        p.drawControl(QStyle::CE_RadioButton, opt);
        opt.text = caption;
        const QRect textRect = style()->subElementRect(QStyle::SE_RadioButtonContents, &opt, this);
        style()->drawItemText(&p, textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextWordWrap, opt.palette,
                              isEnabled(), caption, QPalette::WindowText);
    }
};

}  // namespace

namespace {
// A tool window: a small title bar with only a close button, and no entry in the task bar. It must
// not stay above the main window, which X11 window managers do with every tool window (Qt marks it
// transient for the program); there it is an ordinary window of the utility type instead.
Qt::WindowFlags ToolFrame() {
#ifdef Q_OS_WIN
    return Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint;
#else
    return Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint;
#endif
}
}  // namespace

QString VoltageCaption(double lowKv, double highKv, int mode) {
    if (lowKv == highKv) {
        return AsCaption(highKv);
    }
    // The spread belongs to the range: a result is never read without it.
    const QString spread = mode == 2 ? QCoreApplication::translate("Form4", "正規分布", "spread in the tube-voltage display")
                                     : QCoreApplication::translate("Form4", "均等", "spread in the tube-voltage display");
    return AsCaption(lowKv) + QStringLiteral(" - ") + AsCaption(highKv) + QStringLiteral(" kV (") + spread +
           QStringLiteral(")");
}

Form4::Form4(TubeVoltagePort& port, Module1& state)
    : QWidget(nullptr, ToolFrame()), port_(port), state_(state) {
    setObjectName(QStringLiteral("Form4"));
    setAttribute(Qt::WA_DeleteOnClose);  // closing by the title bar discards the dialog
    setAttribute(Qt::WA_QuitOnClose, false);
    look::FixWindowColours(this);
    i18n::Tr(this, "windowTitle", "Form4", QT_TRANSLATE_NOOP("Form4", "  管電圧の設定"));
    setFont(look::Meiryo(14.25));
    const QRect client = look::TwipsRect(0, 0, 9555, 6555);
    // The designed client area; it scrolls when the screen cannot hold the window whole.
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("Form4Page"));
    page->setFixedSize(client.size());
    auto* frame = new QVBoxLayout(this);
    frame->setContentsMargins(0, 0, 0, 0);
    frame->addWidget(ScrollingPage(page));

    Label1 = look::Make<QLabel>(page, "Label1", look::TwipsRect(2640, 240, 4365, 540));
    i18n::Tr(Label1, "text", "Form4", QT_TRANSLATE_NOOP("Form4", "透視 / 撮影中のＸ線管電圧"));
    Label1->setFont(look::Meiryo(18));
    {
        QPalette pal = Label1->palette();
        pal.setColor(QPalette::WindowText, look::kBlue);
        Label1->setPalette(pal);
    }

    Frame1 = look::Make<QGroupBox>(page, "Frame1", look::TwipsRect(600, 960, 8295, 4455));
    i18n::Tr(Frame1, "title", "Form4", QT_TRANSLATE_NOOP("Form4", "管電圧の設定"));

    Option1 = look::Make<QRadioButton>(Frame1, "Option1", look::TwipsRect(600, 600, 1215, 420));
    i18n::Tr(Option1, "text", "Form4", QT_TRANSLATE_NOOP("Form4", "固 定"));
    Text1 = look::Make<QLineEdit>(Frame1, "Text1", look::TwipsRect(2160, 480, 1335, 495));
    Text1->setText(QStringLiteral("80"));
    i18n::Tr(Text1, "accessibleName", "Form4", QT_TRANSLATE_NOOP("Form4", "固定の管電圧 (kV)"));
    Label2 = look::Make<QLabel>(Frame1, "Label2", look::TwipsRect(3720, 480, 345, 420));
    Label2->setText(QStringLiteral("kV"));

    Option2 = look::Make<QRadioButton>(Frame1, "Option2", look::TwipsRect(600, 1320, 1215, 420));
    i18n::Tr(Option2, "text", "Form4", QT_TRANSLATE_NOOP("Form4", "変 動"));
    Text2 = look::Make<QLineEdit>(Frame1, "Text2", look::TwipsRect(2160, 1320, 1335, 555));
    Text2->setText(QStringLiteral("75"));
    i18n::Tr(Text2, "accessibleName", "Form4", QT_TRANSLATE_NOOP("Form4", "変動の下限の管電圧 (kV)"));
    Label4 = look::Make<QLabel>(Frame1, "Label4", look::TwipsRect(3600, 1440, 285, 420));
    i18n::Tr(Label4, "text", "Form4", QT_TRANSLATE_NOOP("Form4", "～"));
    Text3 = look::Make<QLineEdit>(Frame1, "Text3", look::TwipsRect(3960, 1320, 1335, 555));
    Text3->setText(QStringLiteral("85"));
    i18n::Tr(Text3, "accessibleName", "Form4", QT_TRANSLATE_NOOP("Form4", "変動の上限の管電圧 (kV)"));
    Label3 = look::Make<QLabel>(Frame1, "Label3", look::TwipsRect(5520, 1440, 345, 420));
    Label3->setText(QStringLiteral("kV"));
    for (QLineEdit* t : {Text1, Text2, Text3}) {
        t->setAlignment(Qt::AlignCenter);
    }

    Frame2 = look::Make<QGroupBox>(Frame1, "Frame2", look::TwipsRect(1440, 2040, 6615, 2175));
    i18n::Tr(Frame2, "title", "Form4", QT_TRANSLATE_NOOP("Form4", " 各管電圧の電流・時間積の変動状況 "));
    Option3 = look::Make<QRadioButton>(Frame2, "Option3", look::TwipsRect(480, 600, 3255, 345));
    i18n::Tr(Option3, "text", "Form4", QT_TRANSLATE_NOOP("Form4", "均等に変動"));
    Option4 = look::Make<WrappingOption>(Frame2, "Option4", look::TwipsRect(480, 1080, 3135, 780));
    i18n::Tr(Option4, "text", "Form4", QT_TRANSLATE_NOOP("Form4", "中央値を中心にして正規分布状に変動"));
    Picture1 = look::Make<SpreadPicture>(Frame2, "Picture1", look::TwipsRect(3720, 480, 2535, 1575));
    i18n::Tr(Picture1, "accessibleName", "Form4", QT_TRANSLATE_NOOP("Form4", "均等と正規分布状の図"));
    Picture1->setFocusPolicy(Qt::TabFocus);

    Command1 = look::Make<QPushButton>(page, "Command1", look::TwipsRect(3840, 5640, 1695, 615));
    Command1->setText(QStringLiteral("OK"));
    Command1->setFont(look::Meiryo(15.75));
    look::FixColours(Command1, QPalette::Button, look::kButtonFace, QPalette::ButtonText, Qt::black);
    Command1->setAutoDefault(true);  // Enter presses OK when it has the focus

    // Frame2 lies inside Frame1, so Qt's automatic exclusivity would mix the two pairs and let a
    // click on the selected "固 定" clear it, leaving no choice at all; explicit groups keep each
    // pair to exactly one selection.
    auto* voltageChoice = new QButtonGroup(this);
    voltageChoice->addButton(Option1);
    voltageChoice->addButton(Option2);
    auto* spreadChoice = new QButtonGroup(this);
    spreadChoice->addButton(Option3);
    spreadChoice->addButton(Option4);

    // Design state: fixed 80 kV; the range and the distribution wait, "even" preselected.
    Option1->setChecked(true);
    Text2->setEnabled(false);
    Text3->setEnabled(false);
    Option3->setChecked(true);
    Option3->setEnabled(false);
    Option4->setEnabled(false);

    connect(Option1, &QRadioButton::toggled, this, [this](bool on) {
        if (on) {
            Option1_Click();
        }
    });
    connect(Option2, &QRadioButton::toggled, this, [this](bool on) {
        if (on) {
            Option2_Click();
        }
    });
    connect(Command1, &QPushButton::clicked, this, &Form4::Command1_Click);
    // Enter in a voltage field confirms, as OK does.
    for (QLineEdit* t : {Text1, Text2, Text3}) {
        connect(t, &QLineEdit::returnPressed, Command1, &QPushButton::click);
    }

    setTabOrder(Option1, Option2);
    setTabOrder(Option2, Text1);
    setTabOrder(Text1, Text2);
    setTabOrder(Text2, Text3);
    setTabOrder(Text3, Command1);
    setTabOrder(Command1, Option3);
    setTabOrder(Option3, Option4);
    setTabOrder(Option4, Picture1);

    FitOnScreen(this, client.size());
#ifndef Q_OS_WIN
    winId();  // the type is given to the platform window, which must exist for it
    setAttribute(Qt::WA_X11NetWmWindowTypeUtility);
#endif
}

void Form4::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        close();  // as the title bar's close: nothing is written
        return;
    }
    QWidget::keyPressEvent(event);
}

void Form4::Option1_Click() {
    Text1->setEnabled(true);
    Text2->setEnabled(false);
    Text3->setEnabled(false);
    Option3->setEnabled(false);
    Option4->setEnabled(false);
}

void Form4::Option2_Click() {
    Text2->setEnabled(true);
    Text3->setEnabled(true);
    Text1->setEnabled(false);
    Option3->setEnabled(true);
    Option4->setEnabled(true);
    Option3->setChecked(true);
}

void Form4::Command1_Click() {
    Module1& s = state_;
    const double lowBefore = s.KvLow, highBefore = s.KvHigh;
    const int modeBefore = s.KvMode;
    // A voltage as its field gives it: one number, optionally with "kV"; an empty range field reads
    // as 0. Refused (nothing written) with the focus on the field to mend.
    const auto voltage = [this](QLineEdit* field) -> std::optional<double> {
        const auto reading = ReadField(field, {QStringLiteral("kV")});
        // Beyond the grid, negative or unreadably large voltages cannot be computed.
        if (!reading || !CheckInputs({.kv = reading->value_or(0)})) {
            MessageBox::warning(this, messages::kTubeVoltageInvalid);
            field->setFocus();
            return std::nullopt;
        }
        return reading->value_or(0);
    };
    if (Option1->isChecked()) {
        if (Text1->text().isEmpty()) {
            MessageBox::warning(this, messages::kTubeVoltageInvalid);
            Text1->setFocus();
            return;
        }
        const auto kv = voltage(Text1);
        if (!kv) {
            return;
        }
        s.KvLow = *kv;
        s.KvHigh = s.KvLow;
        s.KvMode = 1;
    } else {
        const auto low = voltage(Text2);
        if (!low) {
            return;
        }
        const auto high = voltage(Text3);
        if (!high) {
            return;
        }
        if (!CheckInputs({.kv = low, .kvHigh = high})) {  // a range runs upwards
            MessageBox::warning(this, messages::kTubeVoltageInvalid);
            Text3->setFocus();
            return;
        }
        s.KvLow = *low;
        s.KvHigh = *high;
        s.KvMode = Option3->isChecked() ? 1 : 2;
    }
    port_.SetTubeVoltageCaption(VoltageCaption(s.KvLow, s.KvHigh, s.KvMode));
    hide();
    if (s.KvLow != lowBefore || s.KvHigh != highBefore || s.KvMode != modeBefore) {
        port_.TubeVoltageChanged();
    }
    port_.FocusSpectrumCommand();
}

}  // namespace mirelo
