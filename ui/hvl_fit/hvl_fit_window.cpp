#include "ui/hvl_fit/hvl_fit_window.h"

#include <QGridLayout>
#include <QKeyEvent>
#include <cmath>
#include <utility>

#include "ui/platform/field_reading.h"
#include "ui/platform/language.h"
#include "ui/platform/look.h"
#include "ui/platform/message_box.h"
#include "ui/platform/messages.h"
#include "common/number_text.h"
#include "quality/quality.h"
#include "spectrum/spectrum.h"
#include "ui/state/shared_state.h"

namespace mirelo {
namespace {

QString Fixed(double x, int decimals) { return QString::number(x, 'f', decimals); }

template <typename T>
T* Named(QWidget* parent, const char* name) {
    auto* w = new T(parent);
    w->setObjectName(QLatin1String(name));
    return w;
}

}  // namespace

HvlFitWindow::HvlFitWindow(std::function<void(const QString&)> apply)
    : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      apply_(std::move(apply)) {
    setObjectName(QStringLiteral("HvlFitWindow"));
    i18n::Tr(this, "windowTitle", "HvlFitWindow", QT_TRANSLATE_NOOP("HvlFitWindow", "HVL から固有フィルタを推定"));
    setAttribute(Qt::WA_DeleteOnClose);
    setAttribute(Qt::WA_QuitOnClose, false);  // never keeps the program running after the main window
    setFont(look::Meiryo(12));
    look::FixWindowColours(this);  // its blue headings and cream buttons need their own face

    auto* grid = new QGridLayout(this);
    grid->setSizeConstraint(QLayout::SetFixedSize);
    grid->setHorizontalSpacing(10);
    int row = 0;
    const auto heading = [&](const char* text) {
        auto* l = new QLabel(this);
        i18n::TrText(l, "HvlFitWindow", text);
        l->setFont(look::Meiryo(12, true));
        QPalette pal = l->palette();
        pal.setColor(QPalette::WindowText, look::kBlue);
        l->setPalette(pal);
        grid->addWidget(l, row++, 0, 1, 3);
    };
    const auto unitLabel = [&](const char* unit) {
        auto* l = new QLabel(this);
        i18n::TrText(l, "HvlFitWindow", unit);
        return l;
    };
    const auto input = [&](QLineEdit*& field, const char* name, const char* caption, const char* unit) {
        auto* label = new QLabel(this);
        i18n::TrText(label, "HvlFitWindow", caption);
        field = Named<QLineEdit>(this, name);
        field->setAlignment(Qt::AlignCenter);
        field->setFixedWidth(110);
        i18n::Tr(field, "accessibleName", "HvlFitWindow", caption);
        label->setBuddy(field);
        grid->addWidget(label, row, 0);
        grid->addWidget(field, row, 1);
        grid->addWidget(unitLabel(unit), row++, 2);
        // A result belongs to the inputs it was computed from.
        connect(field, &QLineEdit::textEdited, this, &HvlFitWindow::ClearResult);
        connect(field, &QLineEdit::returnPressed, this, &HvlFitWindow::Fit);
    };
    const auto output = [&](QLabel*& value, const char* name, const char* caption, const char* unit) {
        value = Named<QLabel>(this, name);
        value->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        value->setAlignment(Qt::AlignCenter);
        value->setMinimumWidth(110);
        value->setAutoFillBackground(true);
        QPalette pal = value->palette();
        pal.setColor(QPalette::Window, Qt::white);
        pal.setColor(QPalette::WindowText, Qt::black);
        value->setPalette(pal);
        i18n::Tr(value, "accessibleName", "HvlFitWindow", caption);
        auto* label = new QLabel(this);
        i18n::TrText(label, "HvlFitWindow", caption);
        grid->addWidget(label, row, 0);
        grid->addWidget(value, row, 1);
        grid->addWidget(unitLabel(unit), row++, 2);
    };

    heading(QT_TRANSLATE_NOOP("HvlFitWindow", "測定"));
    input(kvField, "kvField", QT_TRANSLATE_NOOP("HvlFitWindow", "管電圧"), "kV");
    input(hvlField, "hvlField", QT_TRANSLATE_NOOP("HvlFitWindow", "第1半価層 HVL₁"), "mm Al");
    heading(QT_TRANSLATE_NOOP("HvlFitWindow", "Ｘ線管と付加フィルタ（主画面の設定）"));
    input(angleField, "angleField", QT_TRANSLATE_NOOP("HvlFitWindow", "ターゲット角度"), QT_TRANSLATE_NOOP("HvlFitWindow", "度"));
    input(alField, "alField", QT_TRANSLATE_NOOP("HvlFitWindow", "付加フィルタ (アルミ)"), "mm");
    input(cuField, "cuField", QT_TRANSLATE_NOOP("HvlFitWindow", "付加フィルタ（ 銅 ）"), "mm");

    fitButton = Named<QPushButton>(this, "fitButton");
    i18n::TrText(fitButton, "HvlFitWindow", QT_TRANSLATE_NOOP("HvlFitWindow", "推定"));
    grid->addWidget(fitButton, row++, 1);

    heading(QT_TRANSLATE_NOOP("HvlFitWindow", "結果"));
    output(inherentResult, "inherentResult", QT_TRANSLATE_NOOP("HvlFitWindow", "固有フィルタ (Al 当量)"), "mm");
    output(hvl2Result, "hvl2Result", QT_TRANSLATE_NOOP("HvlFitWindow", "第2半価層 HVL₂"), "mm Al");
    output(meanResult, "meanResult", QT_TRANSLATE_NOOP("HvlFitWindow", "平均エネルギー"), "keV");

    applyButton = Named<QPushButton>(this, "applyButton");
    i18n::TrText(applyButton, "HvlFitWindow", QT_TRANSLATE_NOOP("HvlFitWindow", "適用"));
    i18n::Tr(applyButton, "toolTip", "HvlFitWindow", QT_TRANSLATE_NOOP("HvlFitWindow", " 主画面の固有フィルタに書き込む "));
    closeButton = Named<QPushButton>(this, "closeButton");
    i18n::TrText(closeButton, "HvlFitWindow", QT_TRANSLATE_NOOP("HvlFitWindow", "閉じる"));
    grid->addWidget(applyButton, row, 1);
    grid->addWidget(closeButton, row++, 2);
    for (QPushButton* b : {fitButton, applyButton, closeButton}) {
        QPalette pal = b->palette();
        pal.setColor(QPalette::Button, look::kButtonFace);
        pal.setColor(QPalette::ButtonText, Qt::black);
        b->setPalette(pal);
    }

    connect(fitButton, &QPushButton::clicked, this, &HvlFitWindow::Fit);
    connect(applyButton, &QPushButton::clicked, this, &HvlFitWindow::Apply);
    connect(closeButton, &QPushButton::clicked, this, &QWidget::close);
    kvField->setText(QStringLiteral("80"));
    ClearResult();
}

void HvlFitWindow::TakeSettings(const QString& angle, const QString& al, const QString& cu, const QString& kv) {
    angleField->setText(angle);
    alField->setText(al);
    cuField->setText(cu);
    if (!kv.isEmpty()) {
        kvField->setText(kv);
    }
    ClearResult();
}

void HvlFitWindow::ClearResult() {
    fitted_.clear();
    inherentResult->clear();
    hvl2Result->clear();
    meanResult->clear();
    applyButton->setEnabled(false);
}

void HvlFitWindow::Fit() {
    // Each field is one number, optionally with the unit beside it (an empty one reads as 0); every
    // field is read and checked before the result shown goes.
    const auto read = [](const QLineEdit* field, const QStringList& units) { return FieldValue(field, units, 0); };
    const QStringList mm{QStringLiteral("mm")}, degrees{QStringLiteral("度"), QStringLiteral("°")};
    const HvlMeasurement m{read(angleField, degrees), read(alField, mm), read(cuField, mm),
                           read(kvField, {QStringLiteral("kV")}), read(hvlField, {QStringLiteral("mm Al"), QStringLiteral("mm")})};
    const struct {
        bool bad;
        QLineEdit* field;
        const QString& message;
    } checks[] = {
        {!(m.kv > 0 && m.kv <= kMaxTubeVoltageKv), kvField, messages::kTubeVoltageInvalid},
        {!(m.hvl1MmAl > 0 && std::isfinite(m.hvl1MmAl)), hvlField, messages::kHvlInvalid},
        {!(m.targetAngleDeg > 0 && m.targetAngleDeg < 90), angleField, messages::kTargetAngleInvalid},
        {!(m.alMm >= 0 && std::isfinite(m.alMm)), alField, messages::kFilterInvalid},
        {!(m.cuMm >= 0 && std::isfinite(m.cuMm)), cuField, messages::kFilterInvalid},
    };
    for (const auto& c : checks) {
        if (c.bad) {
            MessageBox::warning(this, c.message);
            c.field->setFocus();
            c.field->selectAll();
            return;
        }
    }
    ClearResult();
    const auto fit = FitInherentFiltration(SharedState().tables, m);
    if (!fit) {
        const FitError& e = fit.error();
        if (e.kind == FitError::Kind::Unreachable) {
            MessageBox::warning(this, messages::kHvlUnreachable.arg(QString::fromStdString(NumberText(m.kv)),
                                                                    Fixed(e.lowestHvlMmAl, 3), Fixed(e.highestHvlMmAl, 3),
                                                                    QString::fromStdString(NumberText(m.hvl1MmAl))));
            hvlField->setFocus();
        } else {
            MessageBox::warning(this, messages::kNoBeamQuality);
        }
        return;
    }
    fitted_ = Fixed(fit->inherent_mm_al, 2);
    inherentResult->setText(fitted_);
    hvl2Result->setText(Fixed(fit->quality.hvl2_mm_al, 2));
    meanResult->setText(Fixed(fit->quality.mean_keV, 1));
    applyButton->setEnabled(true);
}

void HvlFitWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        close();  // as "閉じる" and the title bar's close
        return;
    }
    QWidget::keyPressEvent(event);
}

void HvlFitWindow::Apply() {
    if (!fitted_.isEmpty()) {
        apply_(fitted_);
    }
}

}  // namespace mirelo
