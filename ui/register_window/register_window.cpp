#include "ui/register_window/register_window.h"

#include <QCoreApplication>
#include <QFontDatabase>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QMouseEvent>
#include <QPainter>
#include <QSplitter>
#include <QToolTip>
#include <QVBoxLayout>
#include <sstream>

#include "ui/platform/dialogs.h"
#include "ui/platform/language.h"
#include "ui/platform/look.h"
#include "ui/platform/message_box.h"
#include "ui/spectrum_plot/recording_surface.h"
#include "ui/spectrum_window/image_surface.h"
#include "ui/spectrum_window/plot_export.h"

namespace mirelo {
namespace {

const char* const kContext = "RegisterWindow";
QString Tr(const char* source) { return QCoreApplication::translate(kContext, source); }

template <typename T>
T* Named(QWidget* parent, const char* name) {
    auto* w = new T(parent);
    w->setObjectName(QLatin1String(name));
    return w;
}

QPushButton* Button(QWidget* parent, const char* name, const char* caption) {
    auto* b = Named<QPushButton>(parent, name);
    i18n::TrText(b, kContext, caption);
    look::FixColours(b, QPalette::Button, look::kButtonFace, QPalette::ButtonText, Qt::black);
    b->setAutoDefault(true);
    return b;
}

constexpr int kThicknessCm = 20;  // the summary's default body thickness

}  // namespace

RegisterPlot::RegisterPlot(QWidget* parent, Draw draw) : QWidget(parent), draw_(draw) {
    setMouseTracking(true);
    setMinimumSize(320, 240);
    setFocusPolicy(Qt::NoFocus);
}

void RegisterPlot::SetStudies(const std::vector<registry::StoredStudy>* studies, int thicknessCm) {
    studies_ = studies;
    thicknessCm_ = thicknessCm;
    Redraw();
}

void RegisterPlot::Redraw() {
    const int w = std::max(width(), 320), h = std::max(height(), 240);
    ImageSurface surface(w, h, static_cast<float>(w), static_cast<float>(h));
    marks_.clear();
    if (studies_ != nullptr) marks_ = draw_(surface, static_cast<float>(w), static_cast<float>(h), *studies_, thicknessCm_);
    image_ = surface.image();
    update();
}

QString RegisterPlot::StudyAt(QPoint point) const {
    if (studies_ == nullptr) return {};
    const PlotMark* best = nullptr;
    double bestDistance = 6 * 6;
    for (const PlotMark& m : marks_) {
        const double dx = static_cast<double>(m.x) - point.x(), dy = static_cast<double>(m.y) - point.y();
        if (dx * dx + dy * dy <= bestDistance) {
            bestDistance = dx * dx + dy * dy;
            best = &m;
        }
    }
    return best == nullptr ? QString() : QString::fromStdString(StudyLabel((*studies_)[best->study]));
}

QByteArray RegisterPlot::Png() const { return PlotPng(image_); }

QByteArray RegisterPlot::Svg(const QString& title) const {
#ifdef MIRELO_HAVE_SVG
    RecordingSurface recording;
    if (studies_ != nullptr) draw_(recording, static_cast<float>(image_.width()), static_cast<float>(image_.height()), *studies_, thicknessCm_);
    return PlotSvg(recording.ops, title);
#else
    (void)title;
    return {};
#endif
}

void RegisterPlot::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.drawImage(0, 0, image_);
}

void RegisterPlot::mouseMoveEvent(QMouseEvent* event) {
    const QString name = StudyAt(event->position().toPoint());
    if (name.isEmpty()) {
        QToolTip::hideText();
    } else {
        QToolTip::showText(event->globalPosition().toPoint(), name, this);
    }
}

void RegisterPlot::resizeEvent(QResizeEvent*) { Redraw(); }

RegisterWindow::RegisterWindow() : QWidget(nullptr, Qt::Window) {
    setObjectName(QStringLiteral("RegisterWindow"));
    i18n::Tr(this, "windowTitle", kContext, QT_TRANSLATE_NOOP("RegisterWindow", "線量登録簿"));
    setAttribute(Qt::WA_DeleteOnClose);
    setAttribute(Qt::WA_QuitOnClose, false);
    setFont(look::Meiryo(9));
    look::FixWindowColours(this);

    auto* top = new QVBoxLayout(this);
    auto* row = new QHBoxLayout;
    databaseLabel = Named<QLabel>(this, "databaseLabel");
    databaseLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    chooseButton = Button(this, "chooseButton", QT_TRANSLATE_NOOP("RegisterWindow", "登録簿を開く(&O)..."));
    levelsButton = Button(this, "levelsButton", QT_TRANSLATE_NOOP("RegisterWindow", "参考レベル(&L)..."));
    groupBox = Named<QComboBox>(this, "groupBox");
    auto* groupCaption = new QLabel(this);
    i18n::TrText(groupCaption, kContext, QT_TRANSLATE_NOOP("RegisterWindow", "まとめ方(&G)"));
    groupCaption->setBuddy(groupBox);
    i18n::Tr(groupBox, "accessibleName", kContext, QT_TRANSLATE_NOOP("RegisterWindow", "まとめ方(&G)"));
    groupBox->addItem(QStringLiteral("device"), static_cast<int>(registry::GroupBy::Device));
    groupBox->addItem(QStringLiteral("protocol"), static_cast<int>(registry::GroupBy::Protocol));
    groupBox->addItem(QStringLiteral("month"), static_cast<int>(registry::GroupBy::Month));
    row->addWidget(chooseButton);
    row->addWidget(levelsButton);
    row->addWidget(groupCaption);
    row->addWidget(groupBox);
    row->addWidget(databaseLabel, 1);
    top->addLayout(row);

    auto* splitter = new QSplitter(Qt::Vertical, this);
    summaryText = Named<QPlainTextEdit>(splitter, "summaryText");
    summaryText->setReadOnly(true);
    summaryText->setLineWrapMode(QPlainTextEdit::NoWrap);
    summaryText->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    i18n::Tr(summaryText, "accessibleName", kContext, QT_TRANSLATE_NOOP("RegisterWindow", "まとめ"));
    auto* plots = new QWidget(splitter);
    auto* grid = new QGridLayout(plots);
    grid->setContentsMargins(0, 0, 0, 0);
    boxPlot = new RegisterPlot(plots, &DrawEnergyBoxes);
    boxPlot->setObjectName(QStringLiteral("boxPlot"));
    scatterPlot = new RegisterPlot(plots, &DrawEnergyAgainstDap);
    scatterPlot->setObjectName(QStringLiteral("scatterPlot"));
    saveBoxButton = Button(plots, "saveBoxButton", QT_TRANSLATE_NOOP("RegisterWindow", "箱ひげ図を保存(&B)..."));
    saveScatterButton = Button(plots, "saveScatterButton", QT_TRANSLATE_NOOP("RegisterWindow", "散布図を保存(&P)..."));
    grid->addWidget(boxPlot, 0, 0);
    grid->addWidget(scatterPlot, 0, 1);
    grid->addWidget(saveBoxButton, 1, 0, Qt::AlignLeft);
    grid->addWidget(saveScatterButton, 1, 1, Qt::AlignLeft);
    splitter->addWidget(summaryText);
    splitter->addWidget(plots);
    splitter->setStretchFactor(0, 1);
    splitter->setStretchFactor(1, 2);
    top->addWidget(splitter, 1);
    closeButton = Button(this, "closeButton", QT_TRANSLATE_NOOP("RegisterWindow", "閉じる"));
    top->addWidget(closeButton, 0, Qt::AlignRight);

    connect(chooseButton, &QPushButton::clicked, this, &RegisterWindow::ChooseDatabase);
    connect(levelsButton, &QPushButton::clicked, this, &RegisterWindow::ChooseLevels);
    connect(groupBox, &QComboBox::currentIndexChanged, this, &RegisterWindow::Refresh);
    connect(saveBoxButton, &QPushButton::clicked, this, [this] { SavePlot(boxPlot, QStringLiteral("register_energy_by_protocol")); });
    connect(saveScatterButton, &QPushButton::clicked, this, [this] { SavePlot(scatterPlot, QStringLiteral("register_energy_dap")); });
    connect(closeButton, &QPushButton::clicked, this, &QWidget::close);
    resize(1040, 580);  // fits 1366 x 768 at 125 %
}

bool RegisterWindow::OpenDatabase(const QString& path) {
    auto opened = registry::Database::Open(path.toStdString());
    if (!opened) {
        MessageBox::warning(this, QString::fromStdString(registry::DescribeDbError(opened.error())));
        return false;
    }
    database_.emplace(std::move(*opened));
    databaseLabel->setText(path);
    Refresh();
    return true;
}

void RegisterWindow::ChooseDatabase() {
    const QStringList files = Dialogs::openFileNames(this, Tr(QT_TRANSLATE_NOOP("RegisterWindow", "登録簿を開く")),
                                                     QStringLiteral("SQLite (*.sqlite *.db);;* (*)"));
    if (!files.isEmpty()) OpenDatabase(files.front());
}

void RegisterWindow::ChooseLevels() {
    const QStringList files = Dialogs::openFileNames(this, Tr(QT_TRANSLATE_NOOP("RegisterWindow", "参考レベルを開く")),
                                                     QStringLiteral("TOML (*.toml);;* (*)"));
    if (files.isEmpty()) return;
    auto loaded = registry::LoadLevels(files.front().toStdString());
    if (!loaded) {
        MessageBox::warning(this, QString::fromStdString(profiles::DescribeProfileError(loaded.error())));
        return;
    }
    levels_ = std::move(*loaded);
    Refresh();
}

void RegisterWindow::Refresh() {
    if (!database_) return;
    auto studies = database_->Studies({});
    if (!studies) {
        MessageBox::warning(this, QString::fromStdString(registry::DescribeDbError(studies.error())));
        return;
    }
    studies_ = std::move(*studies);
    const auto by = static_cast<registry::GroupBy>(groupBox->currentData().toInt());
    const registry::Summary summary = registry::Summarise(studies_, by, kThicknessCm, levels_ ? &*levels_ : nullptr);
    std::ostringstream out;
    registry::WriteSummaryText(out, summary);
    summaryText->setPlainText(QString::fromStdString(out.str()));
    boxPlot->SetStudies(&studies_, kThicknessCm);
    scatterPlot->SetStudies(&studies_, kThicknessCm);
}

void RegisterWindow::SavePlot(RegisterPlot* plot, const QString& name) {
#ifdef MIRELO_HAVE_SVG
    const QString path = Dialogs::saveFileName(this, QString(), name + QStringLiteral(".png"), QStringLiteral("PNG (*.png);;SVG (*.svg)"));
    if (path.isEmpty()) return;
    const QByteArray bytes = path.endsWith(QLatin1String(".svg"), Qt::CaseInsensitive) ? plot->Svg(name) : plot->Png();
#else
    // Without Qt Svg (the Windows build) the pictures save as PNG only.
    const QString path = Dialogs::saveFileName(this, QString(), name + QStringLiteral(".png"), QStringLiteral("PNG (*.png)"));
    if (path.isEmpty()) return;
    const QByteArray bytes = plot->Png();
#endif
    QString reason;
    if (bytes.isEmpty() || !WriteFileAtomically(path, bytes, reason)) {
        MessageBox::warning(this, Tr(QT_TRANSLATE_NOOP("RegisterWindow", "%1 に保存できません: %2")).arg(path, reason));
    }
}

}  // namespace mirelo
