#include "ui/hvl_fit/hvl_fit_window.h"

#include <QGridLayout>
#include <cmath>
#include <utility>

#include "app/platform/look.h"
#include "app/platform/message_box.h"
#include "app/platform/messages.h"
#include "common/number_text.h"
#include "common/numeric_reading.h"
#include "quality/quality.h"
#include "spectrum/spectrum.h"
#include "ui/state/shared_state.h"

namespace mirelo {
namespace {

double Read(const QLineEdit* field) { return ReadNumber(field->text().toStdString()); }
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
    setWindowTitle(QStringLiteral("HVL から固有フィルタを推定"));
    setAttribute(Qt::WA_DeleteOnClose);
    setAttribute(Qt::WA_QuitOnClose, false);  // never keeps the program running after the main window
    setFont(look::Meiryo(12));

    auto* grid = new QGridLayout(this);
    grid->setSizeConstraint(QLayout::SetFixedSize);
    grid->setHorizontalSpacing(10);
    int row = 0;
    const auto heading = [&](const QString& text) {
        auto* l = new QLabel(text, this);
        l->setFont(look::Meiryo(12, true));
        QPalette pal = l->palette();
        pal.setColor(QPalette::WindowText, look::kBlue);
        l->setPalette(pal);
        grid->addWidget(l, row++, 0, 1, 3);
    };
    const auto input = [&](QLineEdit*& field, const char* name, const QString& caption, const QString& unit) {
        auto* label = new QLabel(caption, this);
        field = Named<QLineEdit>(this, name);
        field->setAlignment(Qt::AlignCenter);
        field->setFixedWidth(110);
        field->setAccessibleName(caption);
        label->setBuddy(field);
        grid->addWidget(label, row, 0);
        grid->addWidget(field, row, 1);
        grid->addWidget(new QLabel(unit, this), row++, 2);
        // A result belongs to the inputs it was computed from.
        connect(field, &QLineEdit::textEdited, this, &HvlFitWindow::ClearResult);
        connect(field, &QLineEdit::returnPressed, this, &HvlFitWindow::Fit);
    };
    const auto output = [&](QLabel*& value, const char* name, const QString& caption, const QString& unit) {
        value = Named<QLabel>(this, name);
        value->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        value->setAlignment(Qt::AlignCenter);
        value->setMinimumWidth(110);
        value->setAutoFillBackground(true);
        QPalette pal = value->palette();
        pal.setColor(QPalette::Window, Qt::white);
        pal.setColor(QPalette::WindowText, Qt::black);
        value->setPalette(pal);
        value->setAccessibleName(caption);
        grid->addWidget(new QLabel(caption, this), row, 0);
        grid->addWidget(value, row, 1);
        grid->addWidget(new QLabel(unit, this), row++, 2);
    };

    heading(QStringLiteral("測定"));
    input(kvField, "kvField", QStringLiteral("管電圧"), QStringLiteral("kV"));
    input(hvlField, "hvlField", QStringLiteral("第1半価層 HVL₁"), QStringLiteral("mm Al"));
    heading(QStringLiteral("Ｘ線管と付加フィルタ（主画面の設定）"));
    input(angleField, "angleField", QStringLiteral("ターゲット角度"), QStringLiteral("度"));
    input(alField, "alField", QStringLiteral("付加フィルタ (アルミ)"), QStringLiteral("mm"));
    input(cuField, "cuField", QStringLiteral("付加フィルタ（ 銅 ）"), QStringLiteral("mm"));

    fitButton = Named<QPushButton>(this, "fitButton");
    fitButton->setText(QStringLiteral("推定"));
    grid->addWidget(fitButton, row++, 1);

    heading(QStringLiteral("結果"));
    output(inherentResult, "inherentResult", QStringLiteral("固有フィルタ (Al 当量)"), QStringLiteral("mm"));
    output(hvl2Result, "hvl2Result", QStringLiteral("第2半価層 HVL₂"), QStringLiteral("mm Al"));
    output(meanResult, "meanResult", QStringLiteral("平均エネルギー"), QStringLiteral("keV"));

    applyButton = Named<QPushButton>(this, "applyButton");
    applyButton->setText(QStringLiteral("適用"));
    applyButton->setToolTip(QStringLiteral(" 主画面の固有フィルタに書き込む "));
    closeButton = Named<QPushButton>(this, "closeButton");
    closeButton->setText(QStringLiteral("閉じる"));
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
    ClearResult();
    const HvlMeasurement m{Read(angleField), Read(alField), Read(cuField), Read(kvField), Read(hvlField)};
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

void HvlFitWindow::Apply() {
    if (!fitted_.isEmpty()) {
        apply_(fitted_);
    }
}

}  // namespace mirelo
