#include "ui/hvl_fit/hvl_fit_window.h"

#include <QCoreApplication>
#include <QGridLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QVBoxLayout>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <utility>

#include "ui/platform/field_reading.h"
#include "ui/platform/language.h"
#include "ui/platform/look.h"
#include "ui/platform/message_box.h"
#include "ui/platform/messages.h"
#include "ui/platform/screen_fit.h"
#include "common/number_text.h"
#include "quality/quality.h"
#include "spectrum/input_rules.h"
#include "spectrum/spectrum.h"
#include "ui/state/shared_state.h"

namespace mirelo {
namespace {

// A field by the program's reading rule: one number, optionally with the unit printed beside it; an
// empty field reads as 0 and text that is not one number as NaN, which every check below refuses.
double Read(const QLineEdit* field) {
    const QString name = field->objectName();
    const QStringList units = name == QLatin1String("kvField")    ? QStringList{QStringLiteral("kV")}
                              : name == QLatin1String("hvlField") ? QStringList{QStringLiteral("mm Al"), QStringLiteral("mm")}
                              : name == QLatin1String("angleField") ? QStringList{QStringLiteral("度"), QStringLiteral("°")}
                                                                    : QStringList{QStringLiteral("mm")};
    return FieldValue(field, units, 0);
}
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

    // The window's contents on a page that scrolls when the screen cannot hold it whole.
    auto* page = new QWidget(this);
    page->setObjectName(QStringLiteral("HvlFitPage"));
    auto* grid = new QGridLayout(page);
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
    // The measured points of one tube; the fields above add to them.
    pointsTable = Named<QTableWidget>(this, "pointsTable");
    pointsTable->setColumnCount(3);
    pointsTable->setHorizontalHeaderLabels({QStringLiteral("kV"), QStringLiteral("HVL₁ mm Al"),
                                            QCoreApplication::translate("HvlFitWindow", QT_TRANSLATE_NOOP("HvlFitWindow", "固有 mm"))});
    pointsTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    pointsTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    pointsTable->verticalHeader()->hide();
    pointsTable->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    pointsTable->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    pointsTable->setFixedSize(300, 130);
    grid->addWidget(pointsTable, row++, 0, 1, 3);
    addPointButton = Named<QPushButton>(this, "addPointButton");
    i18n::TrText(addPointButton, "HvlFitWindow", QT_TRANSLATE_NOOP("HvlFitWindow", "追加"));
    removePointButton = Named<QPushButton>(this, "removePointButton");
    i18n::TrText(removePointButton, "HvlFitWindow", QT_TRANSLATE_NOOP("HvlFitWindow", "削除"));
    grid->addWidget(addPointButton, row, 1);
    grid->addWidget(removePointButton, row++, 2);

    heading(QT_TRANSLATE_NOOP("HvlFitWindow", "測定時のターゲット角度と付加フィルタ（主画面の値から）"));
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
    assumedResult = Named<QLabel>(this, "assumedResult");
    assumedResult->setWordWrap(true);
    assumedResult->setFixedWidth(300);
    assumedResult->setMinimumHeight(3 * assumedResult->fontMetrics().lineSpacing());  // room for the wrapped note
    grid->addWidget(assumedResult, row++, 0, 1, 3);
    plot = new FiltrationPlot(this);
    plot->setObjectName(QStringLiteral("filtrationPlot"));
    grid->addWidget(plot, row++, 0, 1, 3);

    applyButton = Named<QPushButton>(this, "applyButton");
    i18n::TrText(applyButton, "HvlFitWindow", QT_TRANSLATE_NOOP("HvlFitWindow", "適用"));
    i18n::Tr(applyButton, "toolTip", "HvlFitWindow", QT_TRANSLATE_NOOP("HvlFitWindow", " 主画面の固有フィルタに書き込む "));
    closeButton = Named<QPushButton>(this, "closeButton");
    i18n::TrText(closeButton, "HvlFitWindow", QT_TRANSLATE_NOOP("HvlFitWindow", "閉じる"));
    grid->addWidget(applyButton, row, 1);
    grid->addWidget(closeButton, row++, 2);
    for (QPushButton* b : {fitButton, applyButton, closeButton, addPointButton, removePointButton}) {
        QPalette pal = b->palette();
        pal.setColor(QPalette::Button, look::kButtonFace);
        pal.setColor(QPalette::ButtonText, Qt::black);
        b->setPalette(pal);
    }

    connect(fitButton, &QPushButton::clicked, this, &HvlFitWindow::Fit);
    connect(applyButton, &QPushButton::clicked, this, &HvlFitWindow::Apply);
    connect(closeButton, &QPushButton::clicked, this, &QWidget::close);
    connect(addPointButton, &QPushButton::clicked, this, &HvlFitWindow::AddPoint);
    connect(removePointButton, &QPushButton::clicked, this, &HvlFitWindow::RemovePoint);
    kvField->setText(QStringLiteral("80"));
    ClearResult();
    auto* frame = new QVBoxLayout(this);
    frame->setContentsMargins(0, 0, 0, 0);
    frame->addWidget(ScrollingPage(page));
    grid->activate();
    FitOnScreen(this, page->size());
}

void HvlFitWindow::TakeSettings(const QString& angle, const QString& al, const QString& cu, const QString& kv) {
    angleField->setText(angle);
    alField->setText(al);
    cuField->setText(cu);
    if (!kv.isEmpty()) {
        kvField->setText(kv);
        mainKv_ = Read(kvField);
    }
    ClearResult();
}

void HvlFitWindow::ClearResult() {
    fitted_.clear();
    inherentResult->clear();
    hvl2Result->clear();
    meanResult->clear();
    assumedResult->clear();
    for (int r = 0; r < pointsTable->rowCount(); ++r) {
        pointsTable->setItem(r, 2, new QTableWidgetItem());
    }
    plot->SetCurve(std::nullopt, std::nullopt);
    applyButton->setEnabled(false);
}

bool HvlFitWindow::Accepts(const InputValues& values) {
    const auto checked = CheckInputs(values);
    if (checked) {
        return true;
    }
    const InputField field = checked.error().field;
    const auto [edit, message] = field == InputField::TargetAngle ? std::pair{angleField, &messages::kTargetAngleInvalid}
                                 : field == InputField::Al        ? std::pair{alField, &messages::kFilterInvalid}
                                 : field == InputField::Cu        ? std::pair{cuField, &messages::kFilterInvalid}
                                 : field == InputField::Hvl       ? std::pair{hvlField, &messages::kHvlInvalid}
                                                                  : std::pair{kvField, &messages::kTubeVoltageInvalid};
    MessageBox::warning(this, *message);
    edit->setFocus();
    edit->selectAll();
    return false;
}

void HvlFitWindow::AddPoint() {
    const double kv = Read(kvField), hvl = Read(hvlField);
    if (!Accepts({.kv = kv, .hvlMmAl = hvl})) {
        return;
    }
    // In rising voltage; a new measurement at a voltage already there replaces it.
    int at = 0;
    while (at < pointsTable->rowCount() && pointsTable->item(at, 0)->data(Qt::UserRole).toDouble() < kv) {
        ++at;
    }
    if (at == pointsTable->rowCount() || pointsTable->item(at, 0)->data(Qt::UserRole).toDouble() != kv) {
        pointsTable->insertRow(at);
    }
    const auto item = [](double x) {
        auto* i = new QTableWidgetItem(QString::fromStdString(NumberText(x)));
        i->setData(Qt::UserRole, x);
        return i;
    };
    pointsTable->setItem(at, 0, item(kv));
    pointsTable->setItem(at, 1, item(hvl));
    ClearResult();
}

void HvlFitWindow::RemovePoint() {
    const int r = pointsTable->currentRow();
    if (r >= 0) {
        pointsTable->removeRow(r);
    }
    ClearResult();
}

void HvlFitWindow::Fit() {
    // Every field is read and checked before the result shown goes.
    HvlMeasurement base{Read(angleField), Read(alField), Read(cuField), Read(kvField), Read(hvlField), std::nullopt};
    std::vector<HvlMeasurement> points;
    for (int r = 0; r < pointsTable->rowCount(); ++r) {
        HvlMeasurement m = base;
        m.kv = pointsTable->item(r, 0)->data(Qt::UserRole).toDouble();
        m.hvl1MmAl = pointsTable->item(r, 1)->data(Qt::UserRole).toDouble();
        points.push_back(m);
    }
    const bool single = points.empty();
    if (single) {
        points.push_back(base);
    }
    const HvlMeasurement& m = base;
    // The table's points were checked when they were added.
    if (!Accepts({.kv = single ? std::optional(m.kv) : std::nullopt,
                  .targetAngleDeg = m.targetAngleDeg,
                  .alMm = m.alMm,
                  .cuMm = m.cuMm,
                  .hvlMmAl = single ? std::optional(m.hvl1MmAl) : std::nullopt})) {
        return;
    }
    ClearResult();
    const auto curve = FitFiltrationCurve(SharedState().tables, points);
    if (!curve) {
        const FitError& e = curve.error().error;
        const HvlMeasurement& p = points[curve.error().index];
        if (e.kind == FitError::Kind::Unreachable) {
            const int d = DecimalsToTellApart(p.hvl1MmAl, e.lowestHvlMmAl, e.highestHvlMmAl, 3);
            MessageBox::warning(this, messages::kHvlUnreachable.arg(QString::fromStdString(NumberText(p.kv)),
                                                                    Fixed(e.lowestHvlMmAl, d), Fixed(e.highestHvlMmAl, d),
                                                                    QString::fromStdString(NumberText(p.hvl1MmAl)),
                                                                    QString::fromStdString(NumberText(std::round(e.highestInherentMmAl * 100) / 100))));
            (single ? hvlField : static_cast<QWidget*>(pointsTable))->setFocus();
        } else {
            MessageBox::warning(this, messages::kNoBeamQuality);
        }
        return;
    }
    // One point: its fit, as at every voltage. Several: the filtration at the main window's voltage.
    const double kv = single ? m.kv : mainKv_.value_or(curve->points.front().measurement.kv);
    const InherentAt at = InherentAtKv(*curve, kv);
    fitted_ = Fixed(at.mmAl, 2);
    inherentResult->setText(fitted_);
    const FittedPoint* nearest = &curve->points.front();
    for (const FittedPoint& p : curve->points) {
        if (std::fabs(p.measurement.kv - kv) < std::fabs(nearest->measurement.kv - kv)) {
            nearest = &p;
        }
    }
    hvl2Result->setText(Fixed(nearest->fit.quality.hvl2MmAl, 2));
    meanResult->setText(Fixed(nearest->fit.quality.meanKeV, 1));
    for (int r = 0; r < pointsTable->rowCount(); ++r) {
        const double rowKv = pointsTable->item(r, 0)->data(Qt::UserRole).toDouble();
        pointsTable->setItem(r, 2, new QTableWidgetItem(Fixed(InherentAtKv(*curve, rowKv).mmAl, 2)));
    }
    QString assumed = QCoreApplication::translate("HvlFitWindow", QT_TRANSLATE_NOOP("HvlFitWindow", "測定時: 角度 %1 度、Al %2 mm、Cu %3 mm"))
                          .arg(QString::fromStdString(NumberText(m.targetAngleDeg)), QString::fromStdString(NumberText(m.alMm)),
                               QString::fromStdString(NumberText(m.cuMm)));
    if (!single) {
        assumed += QCoreApplication::translate("HvlFitWindow", QT_TRANSLATE_NOOP("HvlFitWindow", "。%1 kV での値"))
                       .arg(QString::fromStdString(NumberText(kv)));
    }
    if (at.FarOutside()) {
        assumed += QCoreApplication::translate("HvlFitWindow", QT_TRANSLATE_NOOP("HvlFitWindow", "（測定範囲から %1 kV 外れています）"))
                       .arg(QString::fromStdString(NumberText(at.kvOutside)));
    }
    assumedResult->setText(assumed);
    plot->SetCurve(*curve, kv);
    applyButton->setEnabled(true);
}

FiltrationPlot::FiltrationPlot(QWidget* parent) : QWidget(parent) { setFixedSize(300, 180); }

void FiltrationPlot::SetCurve(std::optional<FiltrationCurve> curve, std::optional<double> markKv) {
    curve_ = std::move(curve);
    markKv_ = markKv;
    update();
}

void FiltrationPlot::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.fillRect(rect(), Qt::white);
    const QRectF area(42, 20, width() - 56, height() - 46);
    p.setPen(QPen(Qt::black, 1));
    p.drawRect(area);
    // Tube voltage 0 to 150 kV across; the filtration from 0 up to a round value above the largest.
    double top = 1;
    if (curve_) {
        for (const FittedPoint& fp : curve_->points) {
            top = std::max(top, fp.fit.inherentMmAl);
        }
    }
    top = std::ceil(top * 1.2);
    const auto at = [&](double kv, double mm) {
        return QPointF(area.left() + area.width() * kv / kMaxTubeVoltageKv, area.bottom() - area.height() * mm / top);
    };
    QFont small = font();
    small.setPointSizeF(small.pointSizeF() * 0.75);
    p.setFont(small);
    for (int kv = 0; kv <= 150; kv += 50) {
        p.drawText(QRectF(at(kv, 0).x() - 20, area.bottom() + 2, 40, 14), Qt::AlignHCenter | Qt::AlignTop, QString::number(kv));
    }
    p.drawText(QRectF(area.left(), area.bottom() + 14, area.width(), 14), Qt::AlignHCenter | Qt::AlignTop, QStringLiteral("kV"));
    for (double mm : {0.0, top / 2, top}) {
        p.drawText(QRectF(0, at(0, mm).y() - 7, area.left() - 4, 14), Qt::AlignRight | Qt::AlignVCenter,
                   QString::number(mm, 'g', 3));
    }
    p.drawText(QRectF(2, 2, 80, 14), Qt::AlignLeft | Qt::AlignTop, QStringLiteral("mm Al"));
    if (!curve_) {
        return;
    }
    const auto& points = curve_->points;
    QPolygonF line;
    line << at(0, points.front().fit.inherentMmAl);
    for (const FittedPoint& fp : points) {
        line << at(fp.measurement.kv, fp.fit.inherentMmAl);
    }
    line << at(kMaxTubeVoltageKv, points.back().fit.inherentMmAl);
    p.setPen(QPen(look::kBlue, 1.5));
    p.drawPolyline(line);
    p.setBrush(look::kBlue);
    for (const FittedPoint& fp : points) {
        p.drawEllipse(at(fp.measurement.kv, fp.fit.inherentMmAl), 3.5, 3.5);
    }
    if (markKv_) {
        p.setPen(QPen(Qt::red, 1, Qt::DashLine));
        p.drawLine(at(*markKv_, 0), at(*markKv_, top));
    }
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
