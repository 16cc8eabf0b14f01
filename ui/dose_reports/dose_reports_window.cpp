#include "ui/dose_reports/dose_reports_window.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPainter>
#include <QPdfWriter>
#include <QSplitter>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>
#include <sstream>

#include "common/number_text.h"
#include "common/path_text.h"
#include "ui/platform/dialogs.h"
#include "ui/platform/language.h"
#include "ui/platform/look.h"
#include "ui/platform/message_box.h"
#include "ui/platform/window_parts.h"

namespace mirelo {
namespace {

const char* const kContext = "DoseReportsWindow";

QString Tr(const char* source) { return QCoreApplication::translate(kContext, source); }

using parts::Named;

QPushButton* Button(QWidget* parent, const char* name, const char* caption) {
    return parts::Button(parent, name, kContext, caption);
}

QString Utf8(const std::string& s) { return QString::fromStdString(s); }

// A combo box's "any" entry carries no data; the others carry their text.
void Fill(QComboBox* box, const std::vector<std::string>& items) {
    const bool any = box->currentIndex() <= 0;
    const QString kept = box->currentData().toString();
    box->clear();
    box->addItem(Tr(QT_TRANSLATE_NOOP("DoseReportsWindow", "すべて")));
    for (const auto& item : items) {
        box->addItem(item.empty() ? Tr(QT_TRANSLATE_NOOP("DoseReportsWindow", "(なし)")) : Utf8(item), Utf8(item));
    }
    const int at = any ? 0 : box->findData(kept);
    box->setCurrentIndex(at < 0 ? 0 : at);
}

QTableView* Table(QWidget* parent, const char* name, const char* accessible) {
    auto* t = parts::ReadOnlyTable(parent, name, kContext, accessible);
    t->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    t->horizontalHeader()->setDefaultSectionSize(110);
    t->horizontalHeader()->setResizeContentsPrecision(200);  // widths from the first rows, not from 100,000
    t->horizontalHeader()->setMaximumSectionSize(360);
    return t;
}

QModelIndex SelectedRow(const QTableView* table) {
    const QModelIndexList rows = table->selectionModel()->selectedRows();
    return rows.isEmpty() ? QModelIndex() : rows.front();
}

// What a reader looks at first comes first; the other columns follow in the outputs' order.
void Arrange(QTableView* table, const CellTableModel& model, std::initializer_list<const char*> first) {
    QHeaderView* header = table->horizontalHeader();
    int to = 0;
    for (const char* name : first) {
        const int logical = model.Column(name);
        if (logical < 0) continue;
        header->moveSection(header->visualIndex(logical), to++);
    }
}

}  // namespace

DoseReportsWindow::DoseReportsWindow(const Tables& tables, std::function<void(const EventEntry&)> sendToMain)
    : QWidget(nullptr, Qt::Window), tables_(tables), sendToMain_(std::move(sendToMain)) {
    setObjectName(QStringLiteral("DoseReportsWindow"));
    i18n::Tr(this, "windowTitle", kContext, QT_TRANSLATE_NOOP("DoseReportsWindow", "線量レポート"));
    setAttribute(Qt::WA_DeleteOnClose);
    setAttribute(Qt::WA_QuitOnClose, false);
    setFont(look::Meiryo(9));
    look::FixWindowColours(this);

    auto* top = new QVBoxLayout(this);
    auto* openRow = new QHBoxLayout;
    openFilesButton = Button(this, "openFilesButton", QT_TRANSLATE_NOOP("DoseReportsWindow", "ファイルを開く(&O)..."));
    openFolderButton = Button(this, "openFolderButton", QT_TRANSLATE_NOOP("DoseReportsWindow", "フォルダを開く(&F)..."));
    profilesButton = Button(this, "profilesButton", QT_TRANSLATE_NOOP("DoseReportsWindow", "装置プロファイル(&P)..."));
    profilesLabel = Named<QLabel>(this, "profilesLabel");
    i18n::TrText(profilesLabel, kContext, QT_TRANSLATE_NOOP("DoseReportsWindow", "プロファイルなし (12 度, 2.5 mm Al)"));
    openRow->addWidget(openFilesButton);
    openRow->addWidget(openFolderButton);
    openRow->addWidget(profilesButton);
    openRow->addWidget(profilesLabel, 1);
    top->addLayout(openRow);

    auto* filterRow = new QHBoxLayout;
    const auto caption = [&](const char* text, QWidget* buddy) { parts::AddCaptioned(filterRow, this, kContext, text, buddy); };
    deviceFilter = Named<QComboBox>(this, "deviceFilter");
    deviceFilter->setMinimumContentsLength(16);
    deviceFilter->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    protocolFilter = Named<QComboBox>(this, "protocolFilter");
    protocolFilter->setMinimumContentsLength(10);
    protocolFilter->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    fromFilter = Named<QLineEdit>(this, "fromFilter");
    toFilter = Named<QLineEdit>(this, "toFilter");
    for (QLineEdit* date : {fromFilter, toFilter}) {
        date->setPlaceholderText(QStringLiteral("YYYY-MM-DD"));
        date->setFixedWidth(date->fontMetrics().horizontalAdvance(QStringLiteral("0000-00-00")) + 16);
    }
    statusFilter = Named<QComboBox>(this, "statusFilter");
    caption(QT_TRANSLATE_NOOP("DoseReportsWindow", "装置(&D)"), deviceFilter);
    caption(QT_TRANSLATE_NOOP("DoseReportsWindow", "プロトコル(&R)"), protocolFilter);
    caption(QT_TRANSLATE_NOOP("DoseReportsWindow", "検査日(&T)"), fromFilter);
    caption(QT_TRANSLATE_NOOP("DoseReportsWindow", "～"), toFilter);
    caption(QT_TRANSLATE_NOOP("DoseReportsWindow", "状態(&S)"), statusFilter);
    filterRow->addStretch(1);
    top->addLayout(filterRow);

    auto* progressRow = new QHBoxLayout;
    progressBar = Named<QProgressBar>(this, "progressBar");
    progressBar->setRange(0, 1);
    progressBar->setValue(0);
    cancelButton = Button(this, "cancelButton", QT_TRANSLATE_NOOP("DoseReportsWindow", "中止(&C)"));
    summaryLabel = Named<QLabel>(this, "summaryLabel");
    summaryLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    progressRow->addWidget(progressBar, 1);
    progressRow->addWidget(cancelButton);
    progressRow->addWidget(summaryLabel, 2);
    top->addLayout(progressRow);

    auto* splitter = new QSplitter(Qt::Vertical, this);
    splitter->setObjectName(QStringLiteral("splitter"));
    studiesTable = Table(splitter, "studiesTable", QT_TRANSLATE_NOOP("DoseReportsWindow", "検査"));
    eventsTable = Table(splitter, "eventsTable", QT_TRANSLATE_NOOP("DoseReportsWindow", "照射イベント"));
    problemsList = Named<QListWidget>(splitter, "problemsList");
    i18n::Tr(problemsList, "accessibleName", kContext, QT_TRANSLATE_NOOP("DoseReportsWindow", "読めなかったファイルと計算しなかったイベント"));
    splitter->addWidget(studiesTable);
    splitter->addWidget(eventsTable);
    splitter->addWidget(problemsList);
    splitter->setStretchFactor(0, 3);
    splitter->setStretchFactor(1, 3);
    splitter->setStretchFactor(2, 1);
    top->addWidget(splitter, 1);

    auto* commandRow = new QHBoxLayout;
    sendButton = Button(this, "sendButton", QT_TRANSLATE_NOOP("DoseReportsWindow", "主画面で計算(&M)"));
    i18n::Tr(sendButton, "toolTip", kContext,
             QT_TRANSLATE_NOOP("DoseReportsWindow", "選んだイベントの条件を主画面に入れて計算する (ダブルクリック, Enter)"));
    studiesCsvButton = Button(this, "studiesCsvButton", QT_TRANSLATE_NOOP("DoseReportsWindow", "検査を CSV に保存..."));
    eventsCsvButton = Button(this, "eventsCsvButton", QT_TRANSLATE_NOOP("DoseReportsWindow", "イベントを CSV に保存..."));
    pdfButton = Button(this, "pdfButton", QT_TRANSLATE_NOOP("DoseReportsWindow", "PDF に保存..."));
    closeButton = Button(this, "closeButton", QT_TRANSLATE_NOOP("DoseReportsWindow", "閉じる"));
    commandRow->addWidget(sendButton);
    commandRow->addStretch(1);
    for (QPushButton* b : {studiesCsvButton, eventsCsvButton, pdfButton, closeButton}) commandRow->addWidget(b);
    top->addLayout(commandRow);

    studiesModel = new CellTableModel(this);
    studiesProxy = new StudyFilter(this);
    studiesProxy->setSourceModel(studiesModel);
    studiesProxy->setSortRole(CellTableModel::kSortRole);
    studiesTable->setModel(studiesProxy);
    eventsModel = new CellTableModel(this);
    eventsProxy = new CellSortProxy(this);
    eventsProxy->setSourceModel(eventsModel);
    eventsProxy->setSortRole(CellTableModel::kSortRole);
    eventsTable->setModel(eventsProxy);
    studiesModel->SetRows(studies::StudiesColumns({}), {});
    eventsModel->SetRows(studies::EventsColumns(), {});
    Arrange(studiesTable, *studiesModel,
            {"study_datetime", "study_description", "devices", "status", "reason", "events_used", "events_skipped",
             "events_duplicate", "dap_gycm2", "report_dap_total_gycm2", "shortfall_gycm2", "shortfall_percent", "J_20cm"});
    Arrange(eventsTable, *eventsModel,
            {"datetime", "event_type", "plane", "protocol", "kv", "dap_gycm2", "al_mm", "cu_mm", "profile", "angle_deg",
             "inherent_mm_al", "status", "reason", "J_20cm"});

    statusFilter->addItem(Tr(QT_TRANSLATE_NOOP("DoseReportsWindow", "すべて")));
    statusFilter->addItem(Tr(QT_TRANSLATE_NOOP("DoseReportsWindow", "完全 (complete)")), QStringLiteral("complete"));
    statusFilter->addItem(Tr(QT_TRANSLATE_NOOP("DoseReportsWindow", "不完全 (incomplete)")), QStringLiteral("incomplete"));
    statusFilter->addItem(Tr(QT_TRANSLATE_NOOP("DoseReportsWindow", "重複 (duplicate)")), QStringLiteral("duplicate"));
    Fill(deviceFilter, {});
    Fill(protocolFilter, {});

    connect(openFilesButton, &QPushButton::clicked, this, &DoseReportsWindow::OpenFiles);
    connect(openFolderButton, &QPushButton::clicked, this, &DoseReportsWindow::OpenFolder);
    connect(profilesButton, &QPushButton::clicked, this, &DoseReportsWindow::ChooseProfiles);
    connect(cancelButton, &QPushButton::clicked, this, &DoseReportsWindow::Cancel);
    connect(sendButton, &QPushButton::clicked, this, &DoseReportsWindow::SendSelectedEvent);
    connect(studiesCsvButton, &QPushButton::clicked, this, &DoseReportsWindow::SaveStudiesCsv);
    connect(eventsCsvButton, &QPushButton::clicked, this, &DoseReportsWindow::SaveEventsCsv);
    connect(pdfButton, &QPushButton::clicked, this, &DoseReportsWindow::SavePdf);
    connect(closeButton, &QPushButton::clicked, this, &QWidget::close);
    // Double-click or Enter on an event.
    connect(eventsTable, &QAbstractItemView::activated, this, &DoseReportsWindow::SendSelectedEvent);
    // The selected row decides (a screen reader or other assistive tool selects without moving the current cell).
    connect(studiesTable->selectionModel(), &QItemSelectionModel::selectionChanged, this, &DoseReportsWindow::ShowStudyEvents);
    connect(eventsTable->selectionModel(), &QItemSelectionModel::selectionChanged, this, &DoseReportsWindow::UpdateCommands);
    for (QComboBox* box : {deviceFilter, protocolFilter, statusFilter}) {
        connect(box, &QComboBox::currentIndexChanged, this, &DoseReportsWindow::ApplyFilters);
    }
    for (QLineEdit* date : {fromFilter, toFilter}) {
        connect(date, &QLineEdit::textChanged, this, &DoseReportsWindow::ApplyFilters);
    }
    connect(&watcher_, &QFutureWatcher<std::shared_ptr<const LoadedReports>>::finished, this, &DoseReportsWindow::Finished);
    progressTimer_.setInterval(100);
    connect(&progressTimer_, &QTimer::timeout, this, &DoseReportsWindow::ShowProgress);

    // Fits a 1366 x 768 screen at 125 % (1093 x 614 logical pixels) with room for the task bar.
    resize(1040, 560);
    UpdateCommands();
}

DoseReportsWindow::~DoseReportsWindow() {
    stop_ = true;
    watcher_.waitForFinished();
}

void DoseReportsWindow::OpenFiles() {
    const QStringList files = Dialogs::openFileNames(this, Tr(QT_TRANSLATE_NOOP("DoseReportsWindow", "線量レポートを開く")),
                                                     Tr(QT_TRANSLATE_NOOP("DoseReportsWindow", "DICOM ファイル (*.dcm *.DCM *);;すべてのファイル (*)")));
    if (!files.isEmpty()) Open(files);
}

void DoseReportsWindow::OpenFolder() {
    const QString folder = Dialogs::existingFolder(this, Tr(QT_TRANSLATE_NOOP("DoseReportsWindow", "線量レポートのフォルダを開く")));
    if (!folder.isEmpty()) Open({folder});
}

void DoseReportsWindow::ChooseProfiles() {
    const QStringList files = Dialogs::openFileNames(this, Tr(QT_TRANSLATE_NOOP("DoseReportsWindow", "装置プロファイルを開く")),
                                                     QStringLiteral("TOML (*.toml);;* (*)"));
    if (files.isEmpty()) return;
    auto loaded = profiles::LoadProfiles(PathFromText(files.front().toStdString()));
    if (!loaded) {
        MessageBox::warning(this, Utf8(profiles::DescribeProfileError(loaded.error())));
        return;
    }
    profiles_ = std::move(*loaded);
    profilesPath_ = files.front();
    profilesLabel->setText(profilesPath_);
    if (!paths_.isEmpty() && !Reading()) Open(paths_);  // the studies shown, computed again
}

void DoseReportsWindow::Open(const QStringList& paths) {
    if (watcher_.isRunning()) {
        stop_ = true;
        watcher_.waitForFinished();
    }
    reading_ = true;
    stop_ = false;
    done_ = 0;
    total_ = 0;
    readingPaths_ = paths;
    std::vector<std::filesystem::path> files;
    // Native separators, so that the messages name a Windows file as Windows does.
    for (const QString& p : paths) files.push_back(PathFromText(QDir::toNativeSeparators(p).toStdString()));
    const profiles::Profiles profiles = profiles_;
    studies::ReadControl control;
    control.progress = [this](std::size_t done, std::size_t total) {
        done_ = done;
        total_ = total;
    };
    control.stop = [this] { return stop_.load(); };
    const Tables& tables = tables_;
    watcher_.setFuture(QtConcurrent::run([&tables, files, profiles, control] { return LoadReports(tables, files, profiles, control); }));
    progressBar->setRange(0, 0);  // busy until the files are counted
    summary_ = Summary::Reading;
    ShowSummary();
    progressTimer_.start();
    UpdateCommands();
}

void DoseReportsWindow::Cancel() { stop_ = true; }

void DoseReportsWindow::ShowProgress() {
    const std::size_t total = total_;
    if (total > 0) {
        progressBar->setRange(0, static_cast<int>(total));
        progressBar->setValue(static_cast<int>(done_.load()));
    }
}

void DoseReportsWindow::Finished() {
    reading_ = false;
    progressTimer_.stop();
    auto loaded = watcher_.result();
    progressBar->setRange(0, 1);
    progressBar->setValue(loaded ? 1 : 0);
    if (loaded) {
        paths_ = readingPaths_;
        Show(std::move(loaded));
    } else {
        // What was shown before stays; nothing of the stopped reading is shown.
        summary_ = Summary::Stopped;
        ShowSummary();
    }
    UpdateCommands();
    emit readingFinished();
}

void DoseReportsWindow::Show(std::shared_ptr<const LoadedReports> loaded) {
    loaded_ = std::move(loaded);
    const auto& batch = loaded_->batch;
    std::vector<std::string> devices, protocols;
    for (std::size_t s = 0; s < batch.studies.size(); ++s) {
        for (const auto& d : batch.studies[s].devices) {
            if (std::find(devices.begin(), devices.end(), d) == devices.end()) devices.push_back(d);
        }
        for (const auto& p : loaded_->studyProtocols[s]) {
            if (std::find(protocols.begin(), protocols.end(), p) == protocols.end()) protocols.push_back(p);
        }
    }
    std::sort(devices.begin(), devices.end());
    std::sort(protocols.begin(), protocols.end());
    {
        const QSignalBlocker b1(deviceFilter), b2(protocolFilter);
        Fill(deviceFilter, devices);
        Fill(protocolFilter, protocols);
    }
    studiesProxy->SetData(loaded_);
    studiesModel->SetRows(studies::StudiesColumns(loaded_->output), loaded_->studyCells);
    studiesTable->resizeColumnsToContents();
    ApplyFilters();
    problemsList->clear();
    for (const auto& line : loaded_->problems) problemsList->addItem(Utf8(line));

    summary_ = Summary::Loaded;
    ShowSummary();
    if (studiesProxy->rowCount() > 0) studiesTable->selectRow(0);
    ShowStudyEvents();
}

void DoseReportsWindow::ShowSummary() {
    if (summary_ == Summary::Reading) {
        summaryLabel->setText(Tr(QT_TRANSLATE_NOOP("DoseReportsWindow", "読み込み中...")));
    } else if (summary_ == Summary::Stopped) {
        summaryLabel->setText(Tr(QT_TRANSLATE_NOOP("DoseReportsWindow", "読み込みを中止しました")));
    } else if (summary_ == Summary::Loaded && loaded_) {
        const auto& batch = loaded_->batch;
        std::size_t unread = 0, used = 0, incomplete = 0;
        for (const auto& r : loaded_->reports) unread += !r.report && !r.skipped ? 1 : 0;
        for (const auto& e : batch.events) used += e.used ? 1 : 0;
        for (const auto& s : batch.studies) incomplete += s.status == studies::StudyStatus::Incomplete ? 1 : 0;
        summaryLabel->setText(
            Tr(QT_TRANSLATE_NOOP("DoseReportsWindow", "%1 ファイル (読めない %2), イベント %3 (計算 %4), 検査 %5 (不完全 %6)"))
                .arg(loaded_->reports.size())
                .arg(unread)
                .arg(batch.events.size())
                .arg(used)
                .arg(batch.studies.size())
                .arg(incomplete));
    } else {
        summaryLabel->clear();
    }
}

// The texts made here rather than set once: the filters' entries and the summary.
void DoseReportsWindow::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange && statusFilter != nullptr) {
        const char* const status[] = {QT_TRANSLATE_NOOP("DoseReportsWindow", "すべて"),
                                      QT_TRANSLATE_NOOP("DoseReportsWindow", "完全 (complete)"),
                                      QT_TRANSLATE_NOOP("DoseReportsWindow", "不完全 (incomplete)"),
                                      QT_TRANSLATE_NOOP("DoseReportsWindow", "重複 (duplicate)")};
        for (int i = 0; i < 4; ++i) statusFilter->setItemText(i, Tr(status[i]));
        for (QComboBox* box : {deviceFilter, protocolFilter}) {
            box->setItemText(0, Tr(status[0]));
            const int none = box->findData(QString());
            if (none > 0) box->setItemText(none, Tr(QT_TRANSLATE_NOOP("DoseReportsWindow", "(なし)")));
        }
        ShowSummary();
        parts::KeepCaptionFonts(this);
    }
    QWidget::changeEvent(event);
}

void DoseReportsWindow::ApplyFilters() {
    StudyFilter::Criteria c;
    if (deviceFilter->currentIndex() > 0) c.device = deviceFilter->currentData().toString();
    if (protocolFilter->currentIndex() > 0) c.protocol = protocolFilter->currentData().toString();
    c.status = statusFilter->currentData().toString();
    // A date that is not a date filters nothing and is shown so.
    for (auto [field, bound] : {std::pair{fromFilter, &c.from}, std::pair{toFilter, &c.to}}) {
        const QString text = field->text().trimmed();
        const bool valid = text.isEmpty() || QDate::fromString(text, Qt::ISODate).isValid();
        look::FixColours(field, QPalette::Base, valid ? Qt::white : QColor(255, 220, 220), QPalette::Text, Qt::black);
        if (valid) *bound = text;
    }
    studiesProxy->SetCriteria(c);
    ShowStudyEvents();
}

void DoseReportsWindow::ShowStudyEvents() {
    shownEvents_.clear();
    std::vector<std::vector<studies::Cell>> rows;
    const QModelIndex current = SelectedRow(studiesTable);
    if (loaded_ && current.isValid()) {
        const int s = studiesProxy->mapToSource(current).row();
        if (s >= 0 && static_cast<std::size_t>(s) < loaded_->studyEvents.size()) {
            shownEvents_ = loaded_->studyEvents[static_cast<std::size_t>(s)];
            for (std::size_t e : shownEvents_) rows.push_back(studies::EventCells(loaded_->batch.events[e]));
        }
    }
    eventsModel->SetRows(studies::EventsColumns(), std::move(rows));
    eventsTable->resizeColumnsToContents();
    if (eventsProxy->rowCount() > 0) eventsTable->selectRow(0);
    UpdateCommands();
}

const studies::EventRow* DoseReportsWindow::SelectedEvent() const {
    const QModelIndex current = SelectedRow(eventsTable);
    if (!loaded_ || !current.isValid()) return nullptr;
    const int row = eventsProxy->mapToSource(current).row();
    if (row < 0 || static_cast<std::size_t>(row) >= shownEvents_.size()) return nullptr;
    return &loaded_->batch.events[shownEvents_[static_cast<std::size_t>(row)]];
}

void DoseReportsWindow::UpdateCommands() {
    const bool reading = Reading();
    cancelButton->setEnabled(reading);
    for (QPushButton* b : {studiesCsvButton, eventsCsvButton, pdfButton}) b->setEnabled(!reading && loaded_ != nullptr);
    sendButton->setEnabled(SelectedEvent() != nullptr);
}

void DoseReportsWindow::SendSelectedEvent() {
    const studies::EventRow* row = SelectedEvent();
    if (row == nullptr) return;
    if (!row->used) {
        MessageBox::warning(this, Tr(QT_TRANSLATE_NOOP("DoseReportsWindow", "このイベントは計算されていません: %1")).arg(Utf8(row->reason)));
        return;
    }
    const rdsr::Event& e = *row->event;
    const auto text = [](double x) { return Utf8(ShortestText(x)); };
    sendToMain_({text(row->angleDeg), text(row->inherentMmAl), text(row->alMm), text(row->cuMm), text(*e.kvp), text(*e.dapGyCm2)});
}

studies::RunInfo DoseReportsWindow::Run() const {
    studies::RunInfo run;
    run.program = "mirelo " MIRELO_VERSION;
    run.commandLine = "open dose reports: " + paths_.join(QStringLiteral(" ")).toStdString();
    run.time = QDateTime::currentDateTimeUtc().toString(Qt::ISODate).toStdString();
    run.profilesPath = profiles_.path;
    run.profilesSha256 = profiles_.sha256;
    return run;
}

namespace {
bool Save(QWidget* parent, const QString& suggested, const QString& filter, const QByteArray& bytes) {
    const QString path = Dialogs::saveFileName(parent, QString(), suggested, filter);
    if (path.isEmpty()) return false;
    QString reason;
    if (!WriteFileAtomically(path, bytes, reason)) {
        MessageBox::warning(parent, Tr(QT_TRANSLATE_NOOP("DoseReportsWindow", "%1 に保存できません: %2")).arg(path, reason));
        return false;
    }
    return true;
}
}  // namespace

void DoseReportsWindow::SaveStudiesCsv() {
    if (!loaded_) return;
    studies::OutputOptions options = loaded_->output;
    options.run = Run();
    std::ostringstream out;
    studies::WriteStudiesCsv(out, loaded_->batch, tables_, options);
    Save(this, QStringLiteral("studies.csv"), QStringLiteral("CSV (*.csv)"), QByteArray::fromStdString(out.str()));
}

void DoseReportsWindow::SaveEventsCsv() {
    if (!loaded_) return;
    studies::OutputOptions options = loaded_->output;
    options.run = Run();
    std::ostringstream out;
    studies::WriteEventsCsv(out, loaded_->batch, tables_, options);
    Save(this, QStringLiteral("events.csv"), QStringLiteral("CSV (*.csv)"), QByteArray::fromStdString(out.str()));
}

// The studies as an A4 landscape table: the run, then per study its date, description, devices,
// status, events, DAP and the energy at 20 cm, the reason under an incomplete one.
void DoseReportsWindow::SavePdf() {
    if (!loaded_) return;
    const QByteArray bytes = parts::A4LandscapePdf([&](QPdfWriter& pdf, QPainter& p, const QRect& page) {
        const int line = p.fontMetrics().lineSpacing();
        int y = line;
        const auto newPageIfFull = [&](int needed) {
            if (y + needed > page.bottom()) {
                pdf.newPage();
                y = line;
            }
        };
        p.drawText(0, y, Utf8(studies::ProvenanceLine(tables_, Run())));
        y += 2 * line;
        const CellTableModel& m = *studiesModel;
        const char* columns[] = {"study_datetime", "study_description", "devices", "status", "events_used",
                                 "events_skipped", "events_duplicate", "dap_gycm2", "J_20cm"};
        const double widths[] = {0.13, 0.17, 0.27, 0.08, 0.06, 0.06, 0.06, 0.08, 0.09};
        const auto row = [&](const std::function<QString(int)>& cell) {
            double x = 0;
            for (int c = 0; c < 9; ++c) {
                const int w = static_cast<int>(widths[c] * page.width());
                p.drawText(QRect(static_cast<int>(x), y - line, w - 8, line), Qt::AlignLeft | Qt::AlignBottom,
                           p.fontMetrics().elidedText(cell(c), Qt::ElideRight, w - 8));
                x += w;
            }
            y += line;
        };
        row([&](int c) { return QString::fromLatin1(columns[c]); });
        const int reasonColumn = m.Column("reason");
        for (int r = 0; r < m.rowCount(); ++r) {
            newPageIfFull(2 * line);
            row([&](int c) { return m.data(m.index(r, m.Column(columns[c])), Qt::DisplayRole).toString(); });
            const QString reason = m.data(m.index(r, reasonColumn), Qt::DisplayRole).toString();
            if (!reason.isEmpty()) {
                p.drawText(QRect(0, y - line, page.width(), line), Qt::AlignLeft | Qt::AlignBottom,
                           p.fontMetrics().elidedText(QStringLiteral("    ") + reason, Qt::ElideRight, page.width()));
                y += line;
            }
        }
    });
    Save(this, QStringLiteral("studies.pdf"), QStringLiteral("PDF (*.pdf)"), bytes);
}

}  // namespace mirelo
