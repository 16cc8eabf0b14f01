// The dose-reports window on generated reports: its tables and exports against `mirelo-calc rdsr`,
// its filters, an event sent to the main window against `mirelo-calc` typed by hand, and a stopped
// reading that leaves nothing of itself behind.
#include <QApplication>
#include <QPointer>
#include <QTest>
#include <filesystem>
#include <memory>
#include <sstream>

#include "../main_window/dark_palette.h"
#include "../rdsr/corpus.h"
#include "tests/calc/run_tool.h"
#include "ui/dose_reports/dose_reports_window.h"
#include "ui/main_window/main_window.h"
#include "ui/platform/dialogs.h"
#include "ui/platform/message_box.h"
#include "ui/state/shared_state.h"

using namespace mirelo;
namespace fs = std::filesystem;

namespace {

// The lines of a text, the first (the provenance, which names the program and the time) left out.
std::vector<std::string> BodyLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    std::getline(in, line);
    while (std::getline(in, line)) lines.push_back(line);
    return lines;
}

QString Cell(const QTableView* table, int row, const char* column) {
    const auto* proxy = static_cast<const QSortFilterProxyModel*>(table->model());
    const auto* model = static_cast<const CellTableModel*>(proxy->sourceModel());
    return proxy->index(row, model->Column(column)).data().toString();
}

}  // namespace

class TestDoseReportsWindow : public QObject {
    Q_OBJECT
    fs::path scratch_;
    rdsrtest::Corpus corpus_;
    std::unique_ptr<Form1> form_;
    QPointer<DoseReportsWindow> window_;

    DoseReportsWindow& Open(const fs::path& folder) {
        window_->Open({QString::fromStdString(folder.string())});
        [&] { QTRY_VERIFY_WITH_TIMEOUT(!window_->Reading(), 60000); }();
        return *window_;
    }

private slots:
    void initTestCase() {
        scratch_ = fs::temp_directory_path() / ("mirelo-dose-reports-" + std::to_string(::getpid()));
        fs::remove_all(scratch_);
        corpus_ = rdsrtest::WriteCorpus(scratch_ / "reports");
    }
    void cleanupTestCase() { fs::remove_all(scratch_); }

    void init() {
        MessageBox::setScripted(true);
        Dialogs::setScripted(true);
        form_ = std::make_unique<Form1>();
        form_->drawSpectrum = [] {};
        form_->showForm6 = [] {};
        form_->endProgram = [] {};
        QString error;
        QVERIFY2(form_->Form_Load({MIRELO_SOURCE_DATA_DIR}, error), qPrintable(error));
        form_->show();
        QVERIFY(form_->OpenDoseReportsAction != nullptr);
        form_->OpenDoseReportsAction->trigger();
        window_ = qobject_cast<DoseReportsWindow*>(form_->DoseReports());
        QVERIFY(window_ != nullptr && window_->isVisible());
    }
    void cleanup() {
        form_.reset();
        QVERIFY(window_.isNull());  // closed with the main window
        MessageBox::takeShown();
    }

    // Both tables hold the cells the command line writes, under its column names, and the window's
    // CSV files are the command line's but for the provenance line.
    void tablesAndExportsAreTheCommandLines() {
        DoseReportsWindow& w = Open(corpus_.folder);
        const fs::path events = scratch_ / "cli-events.csv", studies = scratch_ / "cli-studies.csv";
        const auto run = test::RunTool({"rdsr", corpus_.folder.string(), "--events", events.string(), "--studies",
                                        studies.string(), "--tables", MIRELO_SOURCE_DATA_DIR});
        QVERIFY2(run.status == 1, run.err.c_str());  // the corpus holds a file that is not DICOM
        const auto cliStudies = BodyLines(test::Slurp(studies));
        const auto cliEvents = BodyLines(test::Slurp(events));

        // The studies table: a row per study line, every cell as written (quoting aside).
        QCOMPARE(w.studiesProxy->rowCount(), static_cast<int>(cliStudies.size()) - 1);
        QCOMPARE(w.studiesModel->headerData(0, Qt::Horizontal, Qt::DisplayRole).toString() + QLatin1Char(','),
                 QString::fromStdString(cliStudies[0]).left(10));
        // Skip reasons are in sight: every problem the command line names on stderr is listed.
        QStringList problems;
        for (int i = 0; i < w.problemsList->count(); ++i) problems << w.problemsList->item(i)->text();
        for (const std::string& file : corpus_.unreadable) {
            QVERIFY2(problems.join(QLatin1Char('\n')).contains(QString::fromStdString(file)), file.c_str());
        }
        // Each study's events, together, are the command line's events.
        std::size_t eventRows = 0;
        for (int s = 0; s < w.studiesProxy->rowCount(); ++s) {
            w.studiesTable->selectRow(s);
            eventRows += static_cast<std::size_t>(w.eventsProxy->rowCount());
            for (int e = 0; e < w.eventsProxy->rowCount(); ++e) {
                QCOMPARE(Cell(w.eventsTable, e, "study_uid"), Cell(w.studiesTable, s, "study_uid"));
            }
        }
        QCOMPARE(eventRows, cliEvents.size() - 1);

        const fs::path savedStudies = scratch_ / "window-studies.csv", savedEvents = scratch_ / "window-events.csv";
        Dialogs::queueFileName(QString::fromStdString(savedStudies.string()));
        QTest::mouseClick(w.studiesCsvButton, Qt::LeftButton);
        Dialogs::queueFileName(QString::fromStdString(savedEvents.string()));
        QTest::mouseClick(w.eventsCsvButton, Qt::LeftButton);
        QVERIFY(BodyLines(test::Slurp(savedStudies)) == cliStudies);
        QVERIFY(BodyLines(test::Slurp(savedEvents)) == cliEvents);
        QVERIFY(test::Slurp(savedStudies).rfind("# mirelo ", 0) == 0);
        const fs::path pdf = scratch_ / "studies.pdf";
        Dialogs::queueFileName(QString::fromStdString(pdf.string()));
        QTest::mouseClick(w.pdfButton, Qt::LeftButton);
        QVERIFY(test::Slurp(pdf).rfind("%PDF", 0) == 0);
        QVERIFY(MessageBox::takeShown().isEmpty());
    }

    // Each filter leaves only the studies it names, and fewer than all.
    void filtersNarrowTheStudies() {
        DoseReportsWindow& w = Open(corpus_.folder);
        const int all = w.studiesProxy->rowCount();
        QVERIFY(all >= 3);
        struct Case {
            QComboBox* box;
            const char* column;  // the studies column that shows what it narrows to (null: events' protocol)
        };
        for (const Case& c : {Case{w.deviceFilter, "devices"}, Case{w.statusFilter, "status"}, Case{w.protocolFilter, nullptr}}) {
            int sum = 0;
            for (int i = 1; i < c.box->count(); ++i) {
                c.box->setCurrentIndex(i);
                const QString wanted = c.box->currentData().toString();
                const int shown = w.studiesProxy->rowCount();
                sum += shown;
                QVERIFY2(shown < all || c.box->count() == 2, qPrintable(wanted));
                for (int r = 0; r < shown; ++r) {
                    if (c.column != nullptr) {
                        QVERIFY2(Cell(w.studiesTable, r, c.column).split(QStringLiteral("; ")).contains(wanted) ||
                                     Cell(w.studiesTable, r, c.column) == wanted,
                                 qPrintable(wanted));
                    } else {
                        w.studiesTable->selectRow(r);
                        bool found = false;
                        for (int e = 0; e < w.eventsProxy->rowCount(); ++e) found |= Cell(w.eventsTable, e, "protocol") == wanted;
                        QVERIFY2(found, qPrintable(wanted));
                    }
                }
            }
            QVERIFY(sum >= all - (c.box == w.statusFilter ? 0 : 0));
            c.box->setCurrentIndex(0);
            QCOMPARE(w.studiesProxy->rowCount(), all);
        }
        // The date range, inclusive at both ends; a date that is not one narrows nothing.
        const QString date = Cell(w.studiesTable, 0, "study_datetime").left(10);
        struct DateCase {
            QString from, to;
            bool onlyThatDay;
            bool none;
        };
        for (const DateCase& c : {DateCase{date, date, true, false}, DateCase{QStringLiteral("1900-01-01"), QStringLiteral("1900-12-31"), false, true},
                                  DateCase{QStringLiteral("2099-01-01"), QString(), false, true},
                                  DateCase{QStringLiteral("18.08.2016"), QString(), false, false}}) {
            w.fromFilter->setText(c.from);
            w.toFilter->setText(c.to);
            const int shown = w.studiesProxy->rowCount();
            QVERIFY2(c.none ? shown == 0 : shown > 0, qPrintable(c.from));
            if (!c.onlyThatDay && !c.none) QCOMPARE(shown, all);
            for (int r = 0; c.onlyThatDay && r < shown; ++r) QCOMPARE(Cell(w.studiesTable, r, "study_datetime").left(10), date);
        }
    }

    // A used event in the main window: its fields, a fixed voltage, and List1 as `mirelo-calc`
    // prints it for the same conditions; a skipped event is refused with its reason.
    void anEventInTheMainWindowIsTheToolsCalculation() {
        DoseReportsWindow& w = Open(corpus_.folder);
        int sent = 0, refused = 0;
        for (int s = 0; s < w.studiesProxy->rowCount() && (sent < 2 || refused < 1); ++s) {
            w.studiesTable->selectRow(s);
            for (int e = 0; e < w.eventsProxy->rowCount(); ++e) {
                const bool used = Cell(w.eventsTable, e, "status") == QLatin1String("used");
                if ((used && sent >= 2) || (!used && refused >= 1)) continue;
                form_->List1->clear();
                w.eventsTable->selectRow(e);
                MessageBox::setNextAnswer(MessageBox::Answer::No);  // "show the spectrum?"
                if (sent == 0) {
                    QTest::keyClick(w.eventsTable, Qt::Key_Return);  // Enter on the event
                } else {
                    QTest::mouseClick(w.sendButton, Qt::LeftButton);
                }
                const auto shown = MessageBox::takeShown();
                QCOMPARE(shown.size(), 1);
                if (!used) {
                    QVERIFY(shown[0].text.contains(Cell(w.eventsTable, e, "reason")));
                    QCOMPARE(form_->List1->count(), 0);
                    ++refused;
                    continue;
                }
                Form1& f = *form_;
                const QString kv = Cell(w.eventsTable, e, "kv"), dap = Cell(w.eventsTable, e, "dap_gycm2");
                QCOMPARE(QStringList({f.Text1->text(), f.Text2->text(), f.Text3->text(), f.Text4->text(), f.Label7->text(), f.Text15->text()}),
                         QStringList({Cell(w.eventsTable, e, "angle_deg"), Cell(w.eventsTable, e, "inherent_mm_al"),
                                      Cell(w.eventsTable, e, "al_mm"), Cell(w.eventsTable, e, "cu_mm"), kv, dap}));
                const auto run = test::RunTool({"--angle", f.Text1->text().toStdString(), "--inherent", f.Text2->text().toStdString(),
                                                "--al", f.Text3->text().toStdString(), "--cu", f.Text4->text().toStdString(),
                                                "--kv", kv.toStdString(), "--area-dose", dap.toStdString(), "--tables",
                                                MIRELO_SOURCE_DATA_DIR});
                QVERIFY2(run.status == 0, run.err.c_str());
                QStringList tool = QString::fromStdString(run.out).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
                tool = tool.mid(tool.indexOf(QRegularExpression(QStringLiteral("^body thickness.*"))) + 1);
                QStringList list;
                for (int i = 0; i < f.List1->count(); ++i) list << f.List1->item(i)->text();
                QCOMPARE(list, tool);
                // The events output's energy at 20 cm is the one List1 shows at 20 cm.
                QVERIFY(list.size() == 11);
                ++sent;
            }
        }
        QCOMPARE(sent, 2);
        QCOMPARE(refused, 1);
    }

    // A dark theme's light hint colour is meant for dark fields: on the window's white date fields the
    // hint must stay readable (3:1, as for large or incidental text).
    void dateHintsStayReadableUnderADarkTheme() {
        const QPalette before = QApplication::palette();
        QApplication::setPalette(DarkPalette());
        for (const QLineEdit* field : {window_->fromFilter, window_->toFilter}) {
            const QPalette p = field->palette();
            const double ratio = Contrast(p.color(QPalette::PlaceholderText), p.color(QPalette::Base));
            QVERIFY2(ratio >= 3.0, qPrintable(field->objectName() + QStringLiteral(": %1").arg(ratio)));
        }
        QApplication::setPalette(before);
    }

    // Stopping a large reading: nothing of it is shown, the studies read before stay.
    void aStoppedReadingLeavesNoRows() {
        const fs::path large = scratch_ / "large";
        if (!fs::exists(large)) {
            const std::string cmd = test::Quoted(MIRELO_MAKE_FOLDER_EXE) + " " + test::Quoted(large.string()) + " 120 100 >/dev/null";
            QCOMPARE(std::system(cmd.c_str()), 0);
        }
        DoseReportsWindow& w = Open(corpus_.folder);
        const auto before = w.Loaded();
        const int rows = w.studiesProxy->rowCount();
        w.Open({QString::fromStdString(large.string())});
        QVERIFY(w.Reading());
        QVERIFY(w.cancelButton->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(w.progressBar->maximum() == 120 && w.progressBar->value() > 0, 60000);
        QTest::mouseClick(w.cancelButton, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!w.Reading(), 60000);
        QCOMPARE(w.Loaded(), before);
        QCOMPARE(w.studiesProxy->rowCount(), rows);
        QCOMPARE(w.studiesModel->rowCount(), static_cast<int>(before->batch.studies.size()));
        QVERIFY(!w.cancelButton->isEnabled());
        // Read to its end, the same folder gives all its studies.
        w.Open({QString::fromStdString(large.string())});
        QTRY_VERIFY_WITH_TIMEOUT(!w.Reading(), 120000);
        QCOMPARE(w.studiesModel->rowCount(), 120);
    }
};

QTEST_MAIN(TestDoseReportsWindow)
#include "test_dose_reports_window.moc"
