#include "ui/register_window/register_window.h"

#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QFontDatabase>
#include <QFutureWatcher>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QMouseEvent>
#include <QPainter>
#include <QPdfWriter>
#include <QShortcut>
#include <QSplitter>
#include <QTimer>
#include <QToolTip>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>
#include <sstream>

#include "common/csv.h"
#include "common/number_text.h"
#include "common/path_text.h"
#include "ui/platform/dialogs.h"
#include "ui/platform/language.h"
#include "ui/platform/look.h"
#include "ui/platform/message_box.h"
#include "ui/platform/window_parts.h"
#include "ui/spectrum_plot/recording_surface.h"
#include "ui/spectrum_window/painter_surface.h"
#include "ui/spectrum_window/plot_export.h"

namespace mirelo {
namespace {

const char* const kContext = "RegisterWindow";
QString Tr(const char* source) { return QCoreApplication::translate(kContext, source); }
QString Utf8(const std::string& s) { return QString::fromStdString(s); }

using parts::Named;

QPushButton* Button(QWidget* parent, const char* name, const char* caption) {
    return parts::Button(parent, name, kContext, caption);
}

QTableView* Table(QWidget* parent, const char* name, const char* accessible) {
    auto* t = parts::ReadOnlyTable(parent, name, kContext, accessible);
    t->horizontalHeader()->setMaximumSectionSize(320);
    return t;
}

QSortFilterProxyModel* SortedBy(QObject* parent, RegisterTableModel* model) {
    auto* proxy = new QSortFilterProxyModel(parent);
    proxy->setSourceModel(model);
    proxy->setSortRole(RegisterTableModel::kSortRole);
    return proxy;
}

// A drawing surface on an image at the screen's pixel density, its text in a given font: the
// pictures' labels are as large as the window's own text.
class FontImageSurface final : public DrawingSurface {
public:
    FontImageSurface(QSize logical, qreal ratio, const QFont& font)
        : image_((QSizeF(logical) * ratio).toSize(), QImage::Format_RGB32) {
        image_.setDevicePixelRatio(ratio);
        image_.fill(Qt::white);
        painter_ = std::make_unique<QPainter>(&image_);
        painter_->setRenderHint(QPainter::Antialiasing, true);
        painter_->setFont(font);
    }
    void Cls() override { painter_->fillRect(QRectF(QPointF(0, 0), image_.deviceIndependentSize()), Qt::white); }
    void SetDrawWidth(int pixels) override { width_ = std::max(1, pixels); }
    void Line(float x1, float y1, float x2, float y2, Rgb c) override {
        Pen(c).drawLine(QPointF(x1, y1), QPointF(x2, y2));
        current_ = {x2, y2};
    }
    void LineTo(float x, float y, Rgb c) override { Line(static_cast<float>(current_.x()), static_cast<float>(current_.y()), x, y, c); }
    void Box(float x1, float y1, float x2, float y2, Rgb c) override {
        Pen(c).drawRect(QRectF(QPointF(x1, y1), QPointF(x2, y2)).normalized());
    }
    void PSet(float x, float y, Rgb c) override {
        Pen(c).drawPoint(QPointF(x, y));
        current_ = {x, y};
    }
    void Print(float x, float y, const std::string& text) override {
        painter_->setPen(Qt::black);
        painter_->drawText(QRectF(x, y, 10000, 10000), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, Utf8(text));
    }
    // The picture; nothing is drawn after.
    QImage Finish() {
        painter_.reset();
        return image_;
    }

private:
    QPainter& Pen(Rgb c) {
        painter_->setPen(QPen(QColor(c.r, c.g, c.b), width_, Qt::SolidLine, Qt::RoundCap, Qt::MiterJoin));
        painter_->setBrush(Qt::NoBrush);
        return *painter_;
    }
    QImage image_;
    std::unique_ptr<QPainter> painter_;
    int width_ = 1;
    QPointF current_;
};

}  // namespace

RegisterPlot::RegisterPlot(QWidget* parent, Draw draw) : QWidget(parent), draw_(draw) {
    setMouseTracking(true);
    setMinimumSize(300, 200);
    setFocusPolicy(Qt::NoFocus);
}

void RegisterPlot::SetView(std::shared_ptr<const RegisterView> view) {
    view_ = std::move(view);
    Redraw();
}

void RegisterPlot::Redraw() {
    const QSize size(std::max(width(), 300), std::max(height(), 200));
    FontImageSurface surface(size, devicePixelRatioF(), font());
    marks_.clear();
    if (view_) {
        marks_ = draw_(surface, static_cast<float>(size.width()), static_cast<float>(size.height()), view_->studies,
                       view_->choices.thicknessCm);
    }
    image_ = surface.Finish();
    update();
}

QString RegisterPlot::StudyAt(QPoint point) const {
    if (!view_) return {};
    const PlotMark* best = nullptr;
    double bestDistance = 6 * 6;
    for (const PlotMark& m : marks_) {
        const double dx = static_cast<double>(m.x) - point.x(), dy = static_cast<double>(m.y) - point.y();
        if (dx * dx + dy * dy <= bestDistance) {
            bestDistance = dx * dx + dy * dy;
            best = &m;
        }
    }
    return best == nullptr ? QString() : Utf8(StudyLabel(view_->studies[best->study]));
}

QByteArray RegisterPlot::Png() const { return PlotPng(image_); }

QByteArray RegisterPlot::Svg(const QString& title) const {
#ifdef MIRELO_HAVE_SVG
    RecordingSurface recording;
    const QSizeF size = image_.deviceIndependentSize();
    if (view_) draw_(recording, static_cast<float>(size.width()), static_cast<float>(size.height()), view_->studies, view_->choices.thicknessCm);
    return PlotSvg(recording.ops, title);
#else
    (void)title;
    return {};
#endif
}

void RegisterPlot::Paint(QPainter& painter, const QRectF& target) const {
    RecordingSurface recording;
    const QSizeF size = image_.deviceIndependentSize();
    if (view_) draw_(recording, static_cast<float>(size.width()), static_cast<float>(size.height()), view_->studies, view_->choices.thicknessCm);
    PainterSurface surface(painter, target, static_cast<float>(size.width()), static_cast<float>(size.height()), size);
    Replay(recording.ops, surface);
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
    if (name != hovered_) {
        hovered_ = name;
        emit hovered(name);
    }
}

void RegisterPlot::leaveEvent(QEvent*) {
    if (!hovered_.isEmpty()) {
        hovered_.clear();
        emit hovered(QString());
    }
}

void RegisterPlot::resizeEvent(QResizeEvent*) { Redraw(); }

void RegisterPlot::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange) Redraw();
    QWidget::changeEvent(event);
}

RegisterWindow::RegisterWindow(Compute compute) : QWidget(nullptr, Qt::Window), compute_(std::move(compute)) {
    setObjectName(QStringLiteral("RegisterWindow"));
    pool_.setMaxThreadCount(2);
    i18n::Tr(this, "windowTitle", kContext, QT_TRANSLATE_NOOP("RegisterWindow", "線量登録簿"));
    setAttribute(Qt::WA_DeleteOnClose);
    setAttribute(Qt::WA_QuitOnClose, false);
    setFont(look::Meiryo(9));
    look::FixWindowColours(this);

    auto* top = new QVBoxLayout(this);
    auto* openRow = new QHBoxLayout;
    chooseButton = Button(this, "chooseButton", QT_TRANSLATE_NOOP("RegisterWindow", "登録簿を開く(&O)..."));
    databaseLabel = Named<QLabel>(this, "databaseLabel");
    databaseLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    databaseLabel->setMinimumWidth(120);
    levelsButton = Button(this, "levelsButton", QT_TRANSLATE_NOOP("RegisterWindow", "参考レベル(&L)..."));
    levelsLabel = Named<QLabel>(this, "levelsLabel");
    levelsLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    levelsLabel->setMinimumWidth(80);
    openRow->addWidget(chooseButton);
    openRow->addWidget(databaseLabel, 2);
    openRow->addWidget(levelsButton);
    openRow->addWidget(levelsLabel, 1);
    top->addLayout(openRow);

    auto* choiceRow = new QHBoxLayout;
    const auto caption = [&](const char* text, QWidget* buddy) { parts::AddCaptioned(choiceRow, this, kContext, text, buddy); };
    groupBox = Named<QComboBox>(this, "groupBox");
    groupBox->addItem(QStringLiteral("device"), static_cast<int>(registry::GroupBy::Device));
    groupBox->addItem(QStringLiteral("protocol"), static_cast<int>(registry::GroupBy::Protocol));
    groupBox->addItem(QStringLiteral("month"), static_cast<int>(registry::GroupBy::Month));
    thicknessBox = Named<QComboBox>(this, "thicknessBox");
    for (int cm = 10; cm <= 30; cm += 2) thicknessBox->addItem(QStringLiteral("%1 cm").arg(cm), cm);
    thicknessBox->setCurrentIndex(thicknessBox->findData(20));
    deviceBox = Named<QComboBox>(this, "deviceBox");
    deviceBox->setMinimumContentsLength(14);
    deviceBox->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    deviceBox->addItem(Tr(QT_TRANSLATE_NOOP("RegisterWindow", "すべて")));
    fromEdit = Named<QLineEdit>(this, "fromEdit");
    toEdit = Named<QLineEdit>(this, "toEdit");
    for (QLineEdit* date : {fromEdit, toEdit}) {
        date->setPlaceholderText(QStringLiteral("YYYY-MM-DD"));
        date->setFixedWidth(date->fontMetrics().horizontalAdvance(QStringLiteral("0000-00-00")) + 16);
    }
    caption(QT_TRANSLATE_NOOP("RegisterWindow", "まとめ方(&G)"), groupBox);
    caption(QT_TRANSLATE_NOOP("RegisterWindow", "体厚(&T)"), thicknessBox);
    caption(QT_TRANSLATE_NOOP("RegisterWindow", "装置(&D)"), deviceBox);
    caption(QT_TRANSLATE_NOOP("RegisterWindow", "検査日(&A)"), fromEdit);
    caption(QT_TRANSLATE_NOOP("RegisterWindow", "～"), toEdit);
    choiceRow->addStretch(1);
    progressBar = Named<QProgressBar>(this, "progressBar");
    progressBar->setRange(0, 1);
    progressBar->setValue(0);
    progressBar->setTextVisible(false);
    progressBar->setFixedWidth(90);
    // Only a read in progress is shown; a full bar at rest reads as a stuck one. The room stays so the
    // row does not jump.
    QSizePolicy keepRoom = progressBar->sizePolicy();
    keepRoom.setRetainSizeWhenHidden(true);
    progressBar->setSizePolicy(keepRoom);
    progressBar->hide();
    statusLabel = Named<QLabel>(this, "statusLabel");
    choiceRow->addWidget(progressBar);
    choiceRow->addWidget(statusLabel);
    top->addLayout(choiceRow);

    auto* splitter = new QSplitter(Qt::Vertical, this);
    splitter->setObjectName(QStringLiteral("splitter"));
    splitter->setChildrenCollapsible(false);
    tabs = Named<QTabWidget>(splitter, "tabs");
    groupsTable = Table(tabs, "groupsTable", QT_TRANSLATE_NOOP("RegisterWindow", "まとめ"));
    aboveTable = Table(tabs, "aboveTable", QT_TRANSLATE_NOOP("RegisterWindow", "参考レベルを超えた検査"));
    summaryText = Named<QPlainTextEdit>(tabs, "summaryText");
    summaryText->setReadOnly(true);
    summaryText->setLineWrapMode(QPlainTextEdit::NoWrap);
    summaryText->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    summaryText->setTabChangesFocus(true);
    i18n::Tr(summaryText, "accessibleName", kContext, QT_TRANSLATE_NOOP("RegisterWindow", "まとめ (文字)"));
    tabs->addTab(groupsTable, Tr(QT_TRANSLATE_NOOP("RegisterWindow", "まとめ")));
    tabs->addTab(aboveTable, Tr(QT_TRANSLATE_NOOP("RegisterWindow", "参考レベル超過")));
    tabs->addTab(summaryText, Tr(QT_TRANSLATE_NOOP("RegisterWindow", "まとめ (文字)")));
    groupsModel = new GroupsModel(this);
    aboveModel = new AboveModel(this);
    groupsProxy = SortedBy(this, groupsModel);
    aboveProxy = SortedBy(this, aboveModel);
    groupsTable->setModel(groupsProxy);
    aboveTable->setModel(aboveProxy);

    auto* plots = new QWidget(splitter);
    auto* grid = new QGridLayout(plots);
    grid->setContentsMargins(0, 0, 0, 0);
    boxPlot = new RegisterPlot(plots, &DrawEnergyBoxes);
    boxPlot->setObjectName(QStringLiteral("boxPlot"));
    scatterPlot = new RegisterPlot(plots, &DrawEnergyAgainstDap);
    scatterPlot->setObjectName(QStringLiteral("scatterPlot"));
    hoverLabel = Named<QLabel>(plots, "hoverLabel");
    hoverLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    grid->addWidget(boxPlot, 0, 0);
    grid->addWidget(scatterPlot, 0, 1);
    grid->addWidget(hoverLabel, 1, 0, 1, 2);
    grid->setRowStretch(0, 1);
    splitter->addWidget(tabs);
    splitter->addWidget(plots);
    splitter->setStretchFactor(0, 2);
    splitter->setStretchFactor(1, 3);
    top->addWidget(splitter, 1);

    auto* commandRow = new QHBoxLayout;
    groupsCsvButton = Button(this, "groupsCsvButton", QT_TRANSLATE_NOOP("RegisterWindow", "まとめを CSV に保存(&S)..."));
    aboveCsvButton = Button(this, "aboveCsvButton", QT_TRANSLATE_NOOP("RegisterWindow", "超過を CSV に保存(&E)..."));
    pdfButton = Button(this, "pdfButton", QT_TRANSLATE_NOOP("RegisterWindow", "PDF に保存(&F)..."));
    saveBoxButton = Button(this, "saveBoxButton", QT_TRANSLATE_NOOP("RegisterWindow", "箱ひげ図を保存(&B)..."));
    saveScatterButton = Button(this, "saveScatterButton", QT_TRANSLATE_NOOP("RegisterWindow", "散布図を保存(&P)..."));
    closeButton = Button(this, "closeButton", QT_TRANSLATE_NOOP("RegisterWindow", "閉じる"));
    for (QPushButton* b : {groupsCsvButton, aboveCsvButton, pdfButton, saveBoxButton, saveScatterButton}) commandRow->addWidget(b);
    commandRow->addStretch(1);
    commandRow->addWidget(closeButton);
    top->addLayout(commandRow);

    // The tables before the pictures' buttons, the choices in reading order.
    QWidget* const order[] = {chooseButton, levelsButton, groupBox, thicknessBox, deviceBox, fromEdit,
                                    toEdit, tabs, groupsTable, aboveTable, summaryText, groupsCsvButton,
                                    aboveCsvButton, pdfButton, saveBoxButton, saveScatterButton, closeButton};
    for (std::size_t i = 1; i < std::size(order); ++i) setTabOrder(order[i - 1], order[i]);

    connect(chooseButton, &QPushButton::clicked, this, &RegisterWindow::ChooseDatabase);
    connect(levelsButton, &QPushButton::clicked, this, &RegisterWindow::ChooseLevels);
    for (QComboBox* box : {groupBox, thicknessBox, deviceBox}) {
        connect(box, &QComboBox::currentIndexChanged, this, &RegisterWindow::Refresh);
    }
    for (QLineEdit* date : {fromEdit, toEdit}) connect(date, &QLineEdit::textChanged, this, &RegisterWindow::Refresh);
    connect(groupsCsvButton, &QPushButton::clicked, this, &RegisterWindow::SaveGroupsCsv);
    connect(aboveCsvButton, &QPushButton::clicked, this, &RegisterWindow::SaveAboveCsv);
    connect(pdfButton, &QPushButton::clicked, this, &RegisterWindow::SavePdf);
    connect(saveBoxButton, &QPushButton::clicked, this, [this] { SavePlot(boxPlot, QStringLiteral("register_energy_by_protocol")); });
    connect(saveScatterButton, &QPushButton::clicked, this, [this] { SavePlot(scatterPlot, QStringLiteral("register_energy_dap")); });
    connect(closeButton, &QPushButton::clicked, this, &QWidget::close);
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, &QWidget::close);
    for (RegisterPlot* plot : {boxPlot, scatterPlot}) {
        connect(plot, &RegisterPlot::hovered, hoverLabel, &QLabel::setText);
    }

    // Fits a 1366 x 768 screen at 125 % (1093 x 614 logical pixels less the task bar), frame included.
    resize(1040, 540);
    UpdateCommands();
}

RegisterWindow::~RegisterWindow() {
    // The workers touch nothing of the window, but their answers must not arrive after it.
    for (auto& f : running_) f.cancel();
    pool_.waitForDone();
}

void RegisterWindow::OpenDatabase(const QString& path) {
    database_ = path;
    databaseLabel->setText(QDir::toNativeSeparators(path));
    {
        const QSignalBlocker block(deviceBox);
        while (deviceBox->count() > 1) deviceBox->removeItem(1);
        deviceBox->setCurrentIndex(0);
    }
    Refresh();
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
    auto loaded = registry::LoadLevels(PathFromText(files.front().toStdString()));
    if (!loaded) {
        MessageBox::warning(this, Utf8(profiles::DescribeProfileError(loaded.error())));
        return;
    }
    levels_ = std::make_shared<const registry::Levels>(std::move(*loaded));
    levelsLabel->setText(files.front());
    Refresh();
}

RegisterChoices RegisterWindow::Choices() const {
    RegisterChoices c;
    c.database = database_.toStdString();
    c.by = static_cast<registry::GroupBy>(groupBox->currentData().toInt());
    c.thicknessCm = thicknessBox->currentData().toInt();
    if (deviceBox->currentIndex() > 0) c.filter.device = deviceBox->currentData().toString().toStdString();
    for (auto [field, bound] : {std::pair{fromEdit, &c.filter.from}, std::pair{toEdit, &c.filter.to}}) {
        const QDate date = QDate::fromString(field->text().trimmed(), Qt::ISODate);
        if (date.isValid()) *bound = date.toString(QStringLiteral("yyyyMMdd")).toStdString();
    }
    c.levels = levels_;
    return c;
}

void RegisterWindow::Refresh() {
    // A date that is not a date bounds nothing and is shown so.
    for (QLineEdit* field : {fromEdit, toEdit}) {
        const QString text = field->text().trimmed();
        const bool valid = text.isEmpty() || QDate::fromString(text, Qt::ISODate).isValid();
        look::FixColours(field, QPalette::Base, valid ? Qt::white : QColor(255, 220, 220), QPalette::Text, Qt::black);
    }
    if (database_.isEmpty()) return;
    const int generation = ++generation_;
    ++pending_;
    // Questions not yet started are not asked at all; one being answered finishes and is dropped.
    for (auto& f : running_) f.cancel();
    running_.erase(std::remove_if(running_.begin(), running_.end(), [](const auto& f) { return f.isFinished(); }), running_.end());
    auto future = QtConcurrent::run(&pool_, compute_, Choices());
    running_.push_back(future);
    auto* watcher = new QFutureWatcher<std::shared_ptr<const RegisterView>>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, generation] {
        --pending_;
        // An earlier question answered late is dropped: what is shown belongs to the choices on screen.
        if (generation == generation_) Show(watcher->result());
        watcher->deleteLater();
        UpdateCommands();
        ShowStatus();
    });
    watcher->setFuture(future);
    UpdateCommands();
    ShowStatus();
}

void RegisterWindow::Show(std::shared_ptr<const RegisterView> view) {
    if (view->error) {
        MessageBox::warning(this, Utf8(registry::DescribeDbError(*view->error)));
        shown_.reset();
    } else {
        shown_ = std::move(view);
    }
    // The devices offered are those of the studies in the date range, taken from an answer for every device.
    if (shown_ && shown_->choices.filter.device.empty()) {
        std::vector<std::string> devices;
        for (const auto& s : shown_->studies) {
            for (const auto& d : s.devices) {
                if (std::find(devices.begin(), devices.end(), d) == devices.end()) devices.push_back(d);
            }
        }
        std::sort(devices.begin(), devices.end());
        const QSignalBlocker block(deviceBox);
        while (deviceBox->count() > 1) deviceBox->removeItem(1);
        for (const auto& d : devices) deviceBox->addItem(Utf8(d), Utf8(d));
    }
    groupsModel->SetView(shown_);
    aboveModel->SetView(shown_);
    groupsTable->resizeColumnsToContents();
    aboveTable->resizeColumnsToContents();
    if (shown_) {
        std::ostringstream out;
        registry::WriteSummaryText(out, shown_->summary);
        summaryText->setPlainText(Utf8(out.str()));
    } else {
        summaryText->clear();
    }
    boxPlot->SetView(shown_);
    scatterPlot->SetView(shown_);
    hoverLabel->clear();
    emit viewShown();
}

void RegisterWindow::ShowStatus() {
    if (Busy()) {
        progressBar->setRange(0, 0);  // busy: the register gives no count ahead
        progressBar->show();
        statusLabel->setText(Tr(QT_TRANSLATE_NOOP("RegisterWindow", "読み込み中...")));
        return;
    }
    progressBar->hide();
    if (!shown_) {
        statusLabel->clear();
        return;
    }
    statusLabel->setText(Tr(QT_TRANSLATE_NOOP("RegisterWindow", "検査 %1, 超過 %2"))
                             .arg(shown_->studies.size())
                             .arg(shown_->summary.above.size()));
}

void RegisterWindow::UpdateCommands() {
    const bool ready = shown_ != nullptr && !Busy();
    for (QPushButton* b : {groupsCsvButton, pdfButton, saveBoxButton, saveScatterButton}) b->setEnabled(ready);
    aboveCsvButton->setEnabled(ready && !shown_->summary.above.empty());
}

namespace {
bool Save(QWidget* parent, const QString& suggested, const QString& filter, const QByteArray& bytes) {
    const QString path = Dialogs::saveFileName(parent, QString(), suggested, filter);
    if (path.isEmpty()) return false;
    QString reason;
    if (bytes.isEmpty() || !WriteFileAtomically(path, bytes, reason)) {
        MessageBox::warning(parent, Tr(QT_TRANSLATE_NOOP("RegisterWindow", "%1 に保存できません: %2")).arg(path, reason));
        return false;
    }
    return true;
}

// The rows as the table shows them (its order), in the model's columns.
std::string TableCsv(const QSortFilterProxyModel& proxy, const RegisterTableModel& model) {
    std::string out;
    const auto columns = model.Columns();
    for (std::size_t c = 0; c < columns.size(); ++c) {
        if (c > 0) out += ',';
        out += columns[c];
    }
    out += '\n';
    for (int r = 0; r < proxy.rowCount(); ++r) {
        const int row = proxy.mapToSource(proxy.index(r, 0)).row();
        for (std::size_t c = 0; c < columns.size(); ++c) {
            const auto cell = model.At(row, static_cast<int>(c));
            if (c > 0) out += ',';
            out += cell.number ? ShortestText(*cell.number) : CsvText(cell.text);
        }
        out += '\n';
    }
    return out;
}
}  // namespace

void RegisterWindow::SaveGroupsCsv() {
    if (!shown_) return;
    // The summary shown is the engine's for these choices: the command line's own CSV of it.
    std::ostringstream out;
    registry::WriteSummaryCsv(out, shown_->summary);
    Save(this, QStringLiteral("register_summary.csv"), QStringLiteral("CSV (*.csv)"), QByteArray::fromStdString(out.str()));
}

void RegisterWindow::SaveAboveCsv() {
    if (!shown_) return;
    Save(this, QStringLiteral("register_above_levels.csv"), QStringLiteral("CSV (*.csv)"),
         QByteArray::fromStdString(TableCsv(*aboveProxy, *aboveModel)));
}

// A4 landscape: what was asked, the summary's table, the studies above the levels, then the pictures.
void RegisterWindow::SavePdf() {
    if (!shown_) return;
    const QByteArray bytes = parts::A4LandscapePdf([&](QPdfWriter& pdf, QPainter& p, const QRect& page) {
        const int line = p.fontMetrics().lineSpacing();
        int y = line;
        const auto text = [&](const QString& s) {
            if (y + line > page.bottom()) {
                pdf.newPage();
                y = line;
            }
            p.drawText(QRect(0, y - line, page.width(), line), Qt::AlignLeft | Qt::AlignBottom,
                       p.fontMetrics().elidedText(s, Qt::ElideRight, page.width()));
            y += line;
        };
        const RegisterChoices& c = shown_->choices;
        text(Tr(QT_TRANSLATE_NOOP("RegisterWindow", "線量登録簿")) + QStringLiteral(": ") + Utf8(c.database));
        text(QStringLiteral("by %1, %2 cm, from %3 to %4, device %5%6")
                 .arg(groupBox->currentText())
                 .arg(c.thicknessCm)
                 .arg(c.filter.from.empty() ? QStringLiteral("-") : Utf8(c.filter.from))
                 .arg(c.filter.to.empty() ? QStringLiteral("-") : Utf8(c.filter.to))
                 .arg(c.filter.device.empty() ? QStringLiteral("-") : Utf8(c.filter.device))
                 .arg(c.levels ? QStringLiteral(", levels ") + Utf8(c.levels->path) : QString()));
        y += line;
        const auto table = [&](const QSortFilterProxyModel& proxy, const RegisterTableModel& model) {
            const auto columns = model.Columns();
            const int w = page.width() / static_cast<int>(columns.size());
            const auto row = [&](const std::function<QString(std::size_t)>& cell) {
                if (y + line > page.bottom()) {
                    pdf.newPage();
                    y = line;
                }
                for (std::size_t col = 0; col < columns.size(); ++col) {
                    p.drawText(QRect(static_cast<int>(col) * w, y - line, w - 8, line), Qt::AlignLeft | Qt::AlignBottom,
                               p.fontMetrics().elidedText(cell(col), Qt::ElideRight, w - 8));
                }
                y += line;
            };
            row([&](std::size_t col) { return QString::fromLatin1(columns[col]); });
            for (int r = 0; r < proxy.rowCount(); ++r) {
                const int source = proxy.mapToSource(proxy.index(r, 0)).row();
                row([&](std::size_t col) { return Utf8(model.At(source, static_cast<int>(col)).text); });
            }
            y += line;
        };
        table(*groupsProxy, *groupsModel);
        if (!shown_->summary.above.empty()) {
            text(Tr(QT_TRANSLATE_NOOP("RegisterWindow", "参考レベル超過")));
            table(*aboveProxy, *aboveModel);
        }
        pdf.newPage();
        const qreal half = page.width() / 2.0 - 20;
        const qreal height = half * 0.75;
        boxPlot->Paint(p, QRectF(0, 0, half, height));
        scatterPlot->Paint(p, QRectF(page.width() / 2.0 + 20, 0, half, height));
    });
    Save(this, QStringLiteral("register_summary.pdf"), QStringLiteral("PDF (*.pdf)"), bytes);
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

// Texts made here rather than set once; captions keep the window's face after a language change.
void RegisterWindow::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange && tabs != nullptr) {
        deviceBox->setItemText(0, Tr(QT_TRANSLATE_NOOP("RegisterWindow", "すべて")));
        tabs->setTabText(0, Tr(QT_TRANSLATE_NOOP("RegisterWindow", "まとめ")));
        tabs->setTabText(1, Tr(QT_TRANSLATE_NOOP("RegisterWindow", "参考レベル超過")));
        tabs->setTabText(2, Tr(QT_TRANSLATE_NOOP("RegisterWindow", "まとめ (文字)")));
        ShowStatus();
        parts::KeepCaptionFonts(this);
    }
    QWidget::changeEvent(event);
}

}  // namespace mirelo
