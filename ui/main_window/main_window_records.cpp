// The main window's own commands above the designed layout: records of the results (file, report,
// clipboard), the user's guide and About, and the interface language.
#include <QActionGroup>
#include <QApplication>
#include <QClipboard>
#include <QDateTime>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QPrinter>
#include <QSettings>
#include <QStandardPaths>
#include <QAbstractTextDocumentLayout>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextBrowser>
#include <algorithm>

#include "ui/main_window/main_window.h"
#include "ui/platform/dialogs.h"
#include "ui/platform/field_reading.h"
#include "ui/platform/language.h"
#include "ui/platform/message_box.h"
#include "ui/platform/messages.h"
#include "ui/platform/screen_fit.h"
#include "common/dose_text.h"
#include "common/sci_format.h"
#include "ui/report/report.h"
#include "ui/state/shared_state.h"

#include "quality/quality.h"

namespace mirelo {
namespace {

std::string T(const char* source) { return QCoreApplication::translate("Record", source).toStdString(); }

RecordWords Words() {
    RecordWords w;
    w.title = T(QT_TRANSLATE_NOOP("Record", "Mirelo 患者容積線量の計算記録"));
    w.program = T(QT_TRANSLATE_NOOP("Record", "プログラム"));
    w.createdAt = T(QT_TRANSLATE_NOOP("Record", "作成日時"));
    w.attTable = T(QT_TRANSLATE_NOOP("Record", "係数表 Att_coeff2021.dat"));
    w.effTable = T(QT_TRANSLATE_NOOP("Record", "吸収割合表 effEA.dat"));
    w.targetAngle = T(QT_TRANSLATE_NOOP("Record", "Ｘ線管ターゲット角度"));
    w.inherent = T(QT_TRANSLATE_NOOP("Record", "固有フィルタ (Al 当量)"));
    w.al = T(QT_TRANSLATE_NOOP("Record", "付加フィルタ (アルミ)"));
    w.cu = T(QT_TRANSLATE_NOOP("Record", "付加フィルタ (銅)"));
    w.degree = T(QT_TRANSLATE_NOOP("Record", "度"));
    w.mm = "mm";
    w.tubeVoltage = T(QT_TRANSLATE_NOOP("Record", "管電圧"));
    w.fixed = T(QT_TRANSLATE_NOOP("Record", "固定"));
    w.uniform = T(QT_TRANSLATE_NOOP("Record", "均等に変動"));
    w.normal = T(QT_TRANSLATE_NOOP("Record", "中央値を中心にして正規分布状に変動"));
    w.areaDose = T(QT_TRANSLATE_NOOP("Record", "面積空気カーマ積算値 P_KA"));
    w.areaDoseUnit = "Gy·cm²";
    w.entered = T(QT_TRANSLATE_NOOP("Record", "入力値"));
    w.photons = T(QT_TRANSLATE_NOOP("Record", "全入射光子数"));
    w.thickness = T(QT_TRANSLATE_NOOP("Record", "平均体厚 (cm)"));
    w.integralDose = T(QT_TRANSLATE_NOOP("Record", "患者容積線量 (J)"));
    w.fullPrecision = T(QT_TRANSLATE_NOOP("Record", "全桁"));
    w.hvl1 = T(QT_TRANSLATE_NOOP("Record", "第1半価層 HVL₁"));
    w.hvl2 = T(QT_TRANSLATE_NOOP("Record", "第2半価層 HVL₂"));
    w.homogeneity = T(QT_TRANSLATE_NOOP("Record", "均等度 h"));
    w.meanEnergy = T(QT_TRANSLATE_NOOP("Record", "平均エネルギー"));
    w.effectiveEnergy = T(QT_TRANSLATE_NOOP("Record", "実効エネルギー"));
    return w;
}

QString Stamp() { return QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss")); }

// Where records are suggested: the folder of the last one, else the user's documents.
QString RecordFolder() {
    const QString last = QSettings().value(QStringLiteral("records/folder")).toString();
    if (!last.isEmpty() && QFileInfo(last).isDir()) {
        return last;
    }
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return !documents.isEmpty() && QFileInfo(documents).isDir() ? documents : QDir::currentPath();
}

QString AskFile(QWidget* parent, const QString& caption, const QString& name, const QString& filter) {
    return Dialogs::saveFileName(parent, caption, QDir(RecordFolder()).filePath(name), filter);
}

// Only a folder a record was written to is suggested again: one where saving failed (a folder of
// the system, a full disk) would only fail again, or worse, hang the next dialog reading it.
void RememberFolder(const QString& savedFile) {
    QSettings().setValue(QStringLiteral("records/folder"), QFileInfo(savedFile).absolutePath());
}

// The guide and the licence: share/doc/mirelo of an installed Linux program; doc\ beside the program
// in its Windows folder.
QString InstalledDoc(const QString& name) {
#ifdef Q_OS_WIN
    return QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("doc/") + name);
#else
    return QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("../share/doc/mirelo/") + name);
#endif
}

}  // namespace

void Form1::BuildMenus() {
    FileMenu = MenuBar->addMenu(QString());
    FileMenu->setObjectName(QStringLiteral("FileMenu"));
    i18n::Tr(FileMenu, "title", "Form1", QT_TRANSLATE_NOOP("Form1", "ファイル(&F)"));
    const auto add = [this](QMenu* menu, const char* name, const char* source, auto slot) {
        QAction* a = menu->addAction(QString());
        a->setObjectName(QLatin1String(name));
        i18n::TrText(a, "Form1", source);
        connect(a, &QAction::triggered, this, slot);
        return a;
    };
    SaveResultsAction = add(FileMenu, "SaveResultsAction", QT_TRANSLATE_NOOP("Form1", "結果を保存(&S)..."), &Form1::SaveResults);
    SaveResultsAction->setShortcut(QKeySequence::Save);
    PrintReportAction = add(FileMenu, "PrintReportAction", QT_TRANSLATE_NOOP("Form1", "レポートを印刷(&P)..."), &Form1::PrintReport);
    PrintReportAction->setShortcut(QKeySequence::Print);
    SavePdfAction = add(FileMenu, "SavePdfAction", QT_TRANSLATE_NOOP("Form1", "PDF に保存(&D)..."), &Form1::SaveReportPdf);
#ifdef MIRELO_WITH_RDSR
    FileMenu->addSeparator();
    OpenDoseReportsAction = add(FileMenu, "OpenDoseReportsAction", QT_TRANSLATE_NOOP("Form1", "線量レポートを開く(&R)..."),
                                &Form1::ShowDoseReports);
#endif
    FileMenu->addSeparator();
    QAction* quit = add(FileMenu, "QuitAction", QT_TRANSLATE_NOOP("Form1", "終了(&X)"), &Form1::Command1_Click);
    quit->setShortcut(QKeySequence::Quit);

    EditMenu = MenuBar->addMenu(QString());
    EditMenu->setObjectName(QStringLiteral("EditMenu"));
    i18n::Tr(EditMenu, "title", "Form1", QT_TRANSLATE_NOOP("Form1", "編集(&E)"));
    CopyResultsAction = add(EditMenu, "CopyResultsAction", QT_TRANSLATE_NOOP("Form1", "結果をコピー(&C)"), &Form1::CopyResults);
    CopyResultsAction->setShortcut(QKeySequence::Copy);
    // The result list's own Ctrl+C would copy one row; its context menu offers the whole table.
    List1->setContextMenuPolicy(Qt::ActionsContextMenu);
    List1->addAction(CopyResultsAction);
    Label14->setTextInteractionFlags(Qt::TextSelectableByMouse);

    ToolsMenu = MenuBar->addMenu(QString());
    ToolsMenu->setObjectName(QStringLiteral("ToolsMenu"));
    i18n::Tr(ToolsMenu, "title", "Form1", QT_TRANSLATE_NOOP("Form1", "ツール(&T)"));
    fitHvlAction = add(ToolsMenu, "fitHvlAction", QT_TRANSLATE_NOOP("Form1", "HVL から固有フィルタを推定(&H)..."),
                       &Form1::ShowHvlFit);
#ifdef MIRELO_WITH_RDSR
    RegisterAction = add(ToolsMenu, "RegisterAction", QT_TRANSLATE_NOOP("Form1", "線量登録簿(&R)..."), &Form1::ShowRegister);
#endif

    LanguageMenu = MenuBar->addMenu(QString());
    LanguageMenu->setObjectName(QStringLiteral("LanguageMenu"));
    // Both names, so that either reader finds the way back.
    i18n::Tr(LanguageMenu, "title", "Form1", QT_TRANSLATE_NOOP("Form1", "表示言語 / Language(&L)"));
    auto* languages = new QActionGroup(this);
    JapaneseAction = LanguageMenu->addAction(QStringLiteral("日本語"));
    JapaneseAction->setObjectName(QStringLiteral("JapaneseAction"));
    EnglishAction = LanguageMenu->addAction(QStringLiteral("English"));
    EnglishAction->setObjectName(QStringLiteral("EnglishAction"));
    for (QAction* a : {JapaneseAction, EnglishAction}) {
        a->setCheckable(true);
        languages->addAction(a);
    }
    (i18n::Current() == i18n::Language::English ? EnglishAction : JapaneseAction)->setChecked(true);
    connect(JapaneseAction, &QAction::triggered, this, [this] { ChooseLanguage(false); });
    connect(EnglishAction, &QAction::triggered, this, [this] { ChooseLanguage(true); });

    HelpMenu = MenuBar->addMenu(QString());
    HelpMenu->setObjectName(QStringLiteral("HelpMenu"));
    i18n::Tr(HelpMenu, "title", "Form1", QT_TRANSLATE_NOOP("Form1", "ヘルプ(&H)"));
    GuideAction = add(HelpMenu, "GuideAction", QT_TRANSLATE_NOOP("Form1", "使い方(&G)"), &Form1::ShowGuide);
    GuideAction->setShortcut(QKeySequence::HelpContents);
    AboutAction = add(HelpMenu, "AboutAction", QT_TRANSLATE_NOOP("Form1", "Mirelo について(&A)"), &Form1::ShowAbout);

    // The record commands follow whatever changes the results or the inputs they belong to. The
    // connections end with the actions, which go before the list while the window is destroyed.
    const auto update = [this] { UpdateRecordActions(); };
    for (QLineEdit* field : {Text1, Text2, Text3, Text4, Text15}) {
        connect(field, &QLineEdit::textChanged, SaveResultsAction, update);
    }
    QAbstractItemModel* rows = List1->model();
    connect(rows, &QAbstractItemModel::rowsInserted, SaveResultsAction, update);
    connect(rows, &QAbstractItemModel::rowsRemoved, SaveResultsAction, update);
    connect(rows, &QAbstractItemModel::modelReset, SaveResultsAction, update);
    connect(rows, &QAbstractItemModel::dataChanged, SaveResultsAction, update);
    UpdateRecordActions();
}

double Form1::FieldShown(const QLineEdit* field) const { return FieldValue(field, FieldUnits(field), 0); }

void Form1::NoteSpectrum() {
    const Module1& s = state_;
    spectrumInputs_ = Computed{FieldShown(Text1), FieldShown(Text2), FieldShown(Text3), FieldShown(Text4),
                               TubeVoltage{s.KvLow, s.KvHigh, s.KvMode == 1 ? Spread::Uniform : Spread::Normal},
                               Label7->text(), s.Spectrum};
}

void Form1::NoteResults(double photons, const std::array<double, kThicknesses>& joules) {
    record_.reset();
    recordInputs_.reset();
    const Module1& s = state_;
    // Only results whose spectrum belongs to the beam and voltage on screen make a record.
    if (spectrumInputs_ && spectrumInputs_->spectrum == s.Spectrum && spectrumInputs_->angle == FieldShown(Text1) &&
        spectrumInputs_->inherentMm == FieldShown(Text2) && spectrumInputs_->alMm == FieldShown(Text3) &&
        spectrumInputs_->cuMm == FieldShown(Text4) && spectrumInputs_->voltage.lowKv == s.KvLow &&
        spectrumInputs_->voltage.highKv == s.KvHigh && spectrumInputs_->voltageCaption == Label7->text()) {
        ResultRecord r;
        r.program = "Mirelo " MIRELO_VERSION;
        r.attTable = s.tables.attSource;
        r.effTable = s.tables.effSource;
        r.targetAngleDeg = spectrumInputs_->angle;
        r.inherentMmAl = spectrumInputs_->inherentMm;
        r.alMm = spectrumInputs_->alMm;
        r.cuMm = spectrumInputs_->cuMm;
        r.voltage = spectrumInputs_->voltage;
        r.areaDoseGyCm2 = s.AreaDose;
        r.areaDoseEntered = FieldShown(Text15);
        r.areaDoseEnteredUnit = AreaUnitBox->currentText().toStdString();
        r.dose.photons = photons;
        r.dose.joules = joules;
        if (const auto q = ComputeBeamQuality(s.tables, PhotonSpectrum{s.Spectrum, s.KvHigh})) {
            r.quality = *q;
        }
        record_ = std::move(r);
        recordInputs_ = spectrumInputs_;
    }
    UpdateRecordActions();
}

std::optional<ResultRecord> Form1::ShownRecord() const {
    if (!record_ || !recordInputs_) {
        return std::nullopt;
    }
    const ResultRecord& r = *record_;
    const Computed& in = *recordInputs_;
    bool shown = List1->count() == kThicknesses && Label14->text() == QString::fromStdString(FormatSci(r.dose.photons)) &&
                 in.angle == FieldShown(Text1) && in.inherentMm == FieldShown(Text2) && in.alMm == FieldShown(Text3) &&
                 in.cuMm == FieldShown(Text4) && in.voltageCaption == Label7->text() && r.areaDoseEntered == FieldShown(Text15) &&
                 r.areaDoseEnteredUnit == AreaUnitBox->currentText().toStdString();
    for (int j = 1; shown && j <= kThicknesses; ++j) {
        shown = List1->item(j - 1)->text() ==
                QString::fromStdString(VolumeDoseLine(ThicknessCm(j), r.dose.joules[static_cast<std::size_t>(j - 1)]));
    }
    if (!shown) {
        return std::nullopt;
    }
    return record_;
}

void Form1::UpdateRecordActions() {
    if (SaveResultsAction == nullptr) {
        return;  // still being built
    }
    const bool shown = ShownRecord().has_value();
    for (QAction* a : {SaveResultsAction, PrintReportAction, SavePdfAction, CopyResultsAction}) {
        a->setEnabled(shown);
    }
}

void Form1::SaveResults() {
    auto record = ShownRecord();
    if (!record) {
        MessageBox::warning(this, messages::kNoResults);
        return;
    }
    const QString path = AskFile(this, tr("結果を保存"), QStringLiteral("mirelo-results-%1.csv").arg(Stamp()),
                                 tr("CSV ファイル (*.csv)"));
    if (path.isEmpty()) {
        return;
    }
    record->createdAt = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")).toStdString();
    const std::string csv = RecordCsv(*record, Words());
    QString reason;
    if (!WriteFileAtomically(path, QByteArray(csv.data(), static_cast<qsizetype>(csv.size())), reason)) {
        MessageBox::warning(this, messages::kSaveFailed.arg(QDir::toNativeSeparators(path), reason));
        return;
    }
    RememberFolder(path);
    MessageBox::information(this, messages::kSaved.arg(QDir::toNativeSeparators(path)));
}

namespace {
ReportContent Report(const ResultRecord& record, const BinArray& spectrum) {
    ReportContent c;
    c.record = record;
    c.record.createdAt = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")).toStdString();
    c.words = Words();
    c.spectrum = spectrum;
    c.resultsCaption = QCoreApplication::translate("Record", "照射部位の平均体厚ごとの患者容積線量");
    c.plotCaption = QCoreApplication::translate("Record", "入射Ｘ線スペクトル（相対光子フルエンス）");
    return c;
}
}  // namespace

void Form1::PrintReport() {
    const auto record = ShownRecord();
    if (!record) {
        MessageBox::warning(this, messages::kNoResults);
        return;
    }
    QPrinter printer(QPrinter::HighResolution);
    printer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(20, 18, 20, 18),
                                      QPageLayout::Millimeter));
    printer.setDocName(QStringLiteral("mirelo-report-%1").arg(Stamp()));
    if (!Dialogs::print(this, printer)) {
        return;
    }
    if (!PaintReport(printer, Report(*record, recordInputs_->spectrum))) {
        MessageBox::warning(this, messages::kPrintFailed);
    }
}

void Form1::SaveReportPdf() {
    const auto record = ShownRecord();
    if (!record) {
        MessageBox::warning(this, messages::kNoResults);
        return;
    }
    const QString path = AskFile(this, tr("PDF に保存"), QStringLiteral("mirelo-report-%1.pdf").arg(Stamp()),
                                 tr("PDF ファイル (*.pdf)"));
    if (path.isEmpty()) {
        return;
    }
    QString reason;
    if (!WriteFileAtomically(path, ReportPdf(Report(*record, recordInputs_->spectrum)), reason)) {
        MessageBox::warning(this, messages::kSaveFailed.arg(QDir::toNativeSeparators(path), reason));
        return;
    }
    RememberFolder(path);
    MessageBox::information(this, messages::kSaved.arg(QDir::toNativeSeparators(path)));
}

void Form1::CopyResults() {
    const auto record = ShownRecord();
    if (!record) {
        return;
    }
    QApplication::clipboard()->setText(QString::fromStdString(ResultsTsv(*record, Words())));
}

std::vector<QString> Form1::GuideCandidates() const {
    std::vector<QString> paths{QDir::cleanPath(InstalledDoc(QStringLiteral("guide.html")))};
    // A program run from its build folder shows the guide built there.
    const QString build = QStringLiteral(MIRELO_BUILD_DIR);
    if (QDir::cleanPath(QCoreApplication::applicationDirPath()).startsWith(QDir::cleanPath(build))) {
        paths.push_back(QDir(build).filePath(QStringLiteral("docs/guide.html")));
    }
    return paths;
}

void Form1::ShowGuide() {
    const auto candidates = GuideCandidates();
    const auto found = std::find_if(candidates.begin(), candidates.end(), [](const QString& p) { return QFileInfo(p).isFile(); });
    if (found == candidates.end()) {
        MessageBox::warning(this, messages::kGuideMissing.arg(QDir::toNativeSeparators(candidates.front())));
        return;
    }
    // Inside the program: no browser is needed, and the links between the guide and data.md (beside
    // it) are followed here.
    if (guide_.isNull()) {
        guide_ = new QTextBrowser;
        guide_->setObjectName(QStringLiteral("GuideBrowser"));
        guide_->setAttribute(Qt::WA_DeleteOnClose);
        guide_->setAttribute(Qt::WA_QuitOnClose, false);
        guide_->setWindowTitle(QStringLiteral("Mirelo 利用の手引き / User's guide"));
        guide_->setOpenExternalLinks(true);  // web addresses go to the browser
        FitOnScreen(guide_, QSize(820, 760));
    }
    guide_->setSource(QUrl::fromLocalFile(*found));
    if (guide_->document()->isEmpty()) {
        MessageBox::warning(this, messages::kGuideNotOpened.arg(QDir::toNativeSeparators(*found)));
        return;
    }
    // The guide holds both languages: it opens at the part in the interface's language.
    const QString heading = i18n::Current() == i18n::Language::English ? QStringLiteral("English") : QStringLiteral("日本語");
    for (QTextBlock b = guide_->document()->begin(); b.isValid(); b = b.next()) {
        if (b.blockFormat().headingLevel() == 2 && b.text().trimmed() == heading) {
            guide_->show();
            guide_->document()->documentLayout()->documentSize();  // laid out before the scroll
            const int top = qRound(guide_->document()->documentLayout()->blockBoundingRect(b).top());
            guide_->verticalScrollBar()->setValue(top);
            break;
        }
    }
    guide_->show();
    guide_->raise();
    guide_->activateWindow();
}

namespace {
// A SHA-256 on two lines of 32 digits: a line of 64 would make the box wider than small screens.
QString Halves(const QString& hash) {
    return hash.size() <= 32 ? hash : hash.left(32) + QStringLiteral("\n             ") + hash.mid(32);
}
}  // namespace

void Form1::ShowAbout() {
    const Tables& t = state_.tables;
    const auto table = [](const QString& caption, const TableSource& source) {
        return caption + QStringLiteral("\n    ") + tr("場所: ") + QDir::toNativeSeparators(QFileInfo(QString::fromStdString(source.path)).absoluteFilePath()) +
               QStringLiteral("\n    SHA-256: ") + Halves(QString::fromStdString(source.sha256));
    };
    const QString text = QStringLiteral("Mirelo " MIRELO_VERSION "\n") + kLongTitle + QStringLiteral("\n\n") +
                         tr("使用中の係数表") + QStringLiteral("\n") +
                         table(QString::fromLatin1(kAttCoeffFile), t.attSource) + QStringLiteral("\n") +
                         table(QString::fromLatin1(kEffEAFile), t.effSource) + QStringLiteral("\n\n") +
                         tr("ライセンス: Mirelo の開発者が著作権を持ち、無断での再配布はできません（All rights reserved）。"
                            "Qt 6 は LGPL-3.0 の下で使用しています。詳しくは %1 をご覧ください。")
                             .arg(QDir::toNativeSeparators(QDir::cleanPath(InstalledDoc(QStringLiteral("copyright")))));
    MessageBox::information(this, text);
}

void Form1::ChooseLanguage(bool english) {
    const auto language = english ? i18n::Language::English : i18n::Language::Japanese;
    if (!i18n::Apply(language)) {
        JapaneseAction->setChecked(true);
        MessageBox::warning(this, messages::kLanguageMissing);
        return;
    }
    i18n::Save(language);
    (english ? EnglishAction : JapaneseAction)->setChecked(true);
}

void Form1::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange) {
        // Texts first, then the marks laid over their blanks, which depend on where the words fell.
        i18n::Retranslate(this);
        PlaceMarks();
    }
    QWidget::changeEvent(event);
}

}  // namespace mirelo
