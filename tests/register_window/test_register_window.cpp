// The register window on a register of generated reports: for each set of choices it shows what
// `mirelo-calc register summary` gives for the same options, exports what it shows, keeps the answer
// to the latest choices when an earlier one comes late, names the study under the pointer, works
// from the keyboard and fits a 1366 x 768 screen at 125 %.
#include <QApplication>
#include <QLayout>
#include <QPointer>
#include <QScreen>
#include <QTest>
#include <QToolTip>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <thread>

#include "../main_window/dark_palette.h"
#include "common/number_text.h"
#include "report_writer.h"
#include "tests/calc/run_tool.h"
#include "ui/platform/dialogs.h"
#include "ui/platform/language.h"
#include "ui/platform/message_box.h"
#include "ui/register_window/register_window.h"

using namespace mirelo;
namespace fs = std::filesystem;
namespace gen = mirelo::rdsrgen;

namespace {

QStringList Lines(const std::string& text) { return QString::fromStdString(text).split(u'\n', Qt::SkipEmptyParts); }

// The lines under "above the reference levels:" of the summary text.
int AboveLines(const std::string& text) {
    const auto at = text.find("above the reference levels:");
    return at == std::string::npos ? 0 : static_cast<int>(Lines(text.substr(at)).size()) - 1;
}

// The table's rows as CSV lines, in the model's order.
QStringList TableLines(const QAbstractItemModel& m) {
    QStringList lines;
    for (int r = 0; r < m.rowCount(); ++r) {
        QStringList cells;
        for (int c = 0; c < m.columnCount(); ++c) cells << m.index(r, c).data().toString();
        lines << cells.join(u',');
    }
    return lines;
}

// CSV lines as a table shows them: numbers as captions show them (the file writes them in full).
QStringList AsShown(QStringList lines) {
    for (QString& line : lines) {
        QStringList cells = line.split(u',');  // no cell holds a comma here
        for (QString& c : cells) {
            bool number = false;
            const double x = c.toDouble(&number);
            if (number) c = QString::fromStdString(NumberText(x));
        }
        line = cells.join(u',');
    }
    return lines;
}

}  // namespace

class TestRegisterWindow : public QObject {
    Q_OBJECT
    fs::path scratch_, db_, levels_;
    QString Db() const { return QString::fromStdString(db_.string()); }

    // Opens the register and waits for the answer.
    void Open(RegisterWindow& w) {
        w.OpenDatabase(Db());
        QTRY_VERIFY(!w.Busy() && w.Shown() != nullptr);
    }

private slots:
    void initTestCase() {
        scratch_ = fs::temp_directory_path() / ("mirelo-register-window-" + std::to_string(::getpid()));
        fs::remove_all(scratch_);
        db_ = scratch_ / "register.sqlite";
        levels_ = scratch_ / "levels.toml";
        // Fifteen studies on three units, three protocols and three months; study 5 has an event
        // without a DAP (incomplete), each study's accession number is its number.
        const char* const protocols[] = {"Abdomen", "Head", "Cardiac"};
        for (int i = 0; i < 15; ++i) {
            gen::ReportSpec plan;
            plan.studyUid = "1.2.826.0.1.3680043.10.1340." + std::to_string(i + 1);
            plan.observerUid = "1.2.826.0.1.3680043.10.1341." + std::to_string(i % 3 + 1);
            plan.model = "Angio " + std::to_string(i % 3 + 1);
            plan.accessionNumber = "R" + std::to_string(i + 1);
            const std::string date = "2024" + std::string(i % 3 == 0 ? "01" : i % 3 == 1 ? "02" : "03") + std::to_string(10 + i);
            plan.studyDate = date;
            for (int e = 0; e < 2 + i % 3; ++e) {
                gen::EventSpec ev;
                ev.uid = plan.studyUid + "." + std::to_string(e + 1);
                ev.dateTime = date + "090000";
                ev.type = gen::Fluoroscopy();
                ev.plane = gen::SinglePlane();
                ev.protocol = protocols[(i / 2) % 3];
                if (!(i == 4 && e == 1)) ev.dap = gen::NumSpec{std::to_string(1 + (i * 7) % 11) + "." + std::to_string(e), "Gy.cm2"};
                ev.kvp = {std::to_string(70 + 3 * i + e)};
                ev.filters.push_back({gen::Copper(), gen::NumSpec{"0.2", "mm"}, gen::NumSpec{"0.2", "mm"}});
                plan.events.push_back(ev);
            }
            fs::create_directories(scratch_ / "reports");
            QCOMPARE(QString::fromStdString(gen::WriteReport(plan, scratch_ / "reports" / (plan.accessionNumber + ".dcm"))), QString());
        }
        const auto run = test::RunTool({"register", "import", "--db", db_.string(), "--tables", MIRELO_SOURCE_DATA_DIR,
                                        (scratch_ / "reports").string()});
        QVERIFY2(run.status == 0, run.err.c_str());
        std::ofstream(levels_) << "[[level]]\nprotocol = \"Head\"\ndap_gycm2 = 12\n"
                               << "[[level]]\ndevice = \"Mirelo Test Angio 3 (SN SN-1)\"\nenergy_j = 0.002\n";
        MessageBox::setScripted(true);
        Dialogs::setScripted(true);
    }
    void cleanupTestCase() { fs::remove_all(scratch_); }

    // Each set of choices against the command line with the same options: the text, the groups
    // table (the CSV's cells), the summary CSV saved, the studies above the levels.
    void theChoicesGiveTheCommandLinesSummary_data() {
        QTest::addColumn<QString>("by");
        QTest::addColumn<int>("thickness");
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("to");
        QTest::addColumn<QString>("device");
        QTest::addColumn<bool>("levels");
        QTest::addColumn<int>("studies");
        QTest::newRow("by device") << "device" << 20 << "" << "" << "" << false << 15;
        QTest::newRow("by protocol from February, 10 cm, levels") << "protocol" << 10 << "2024-02-01" << "" << "" << true << 10;
        QTest::newRow("by month to February, 30 cm, levels") << "month" << 30 << "" << "2024-02-29" << "" << true << 10;
        // `register summary` has no --device: the window's studies are checked one by one instead.
        QTest::newRow("one device, 24 cm, levels") << "protocol" << 24 << "" << "" << "Mirelo Test Angio 3 (SN SN-1)" << true << 5;
        QTest::newRow("a range with nothing") << "device" << 20 << "2025-01-01" << "2025-12-31" << "" << true << 0;
    }
    void theChoicesGiveTheCommandLinesSummary() {
        QFETCH(QString, by);
        QFETCH(int, thickness);
        QFETCH(QString, from);
        QFETCH(QString, to);
        QFETCH(QString, device);
        QFETCH(bool, levels);
        QFETCH(int, studies);
        RegisterWindow w;
        w.show();
        Open(w);
        if (levels) {
            Dialogs::queueFileName(QString::fromStdString(levels_.string()));
            QTest::mouseClick(w.levelsButton, Qt::LeftButton);
        }
        w.groupBox->setCurrentIndex(w.groupBox->findText(by));
        w.thicknessBox->setCurrentIndex(w.thicknessBox->findData(thickness));
        w.fromEdit->setText(from);
        w.toEdit->setText(to);
        if (!device.isEmpty()) {
            QVERIFY(w.deviceBox->findData(device) > 0);
            w.deviceBox->setCurrentIndex(w.deviceBox->findData(device));
        }
        QTRY_VERIFY(!w.Busy());
        QCOMPARE(static_cast<int>(w.Shown()->studies.size()), studies);
        if (!device.isEmpty()) {
            for (const auto& s : w.Shown()->studies) QCOMPARE(QString::fromStdString(s.device), device);
            QCOMPARE(w.groupsProxy->rowCount(), 2);  // studies 3, 9, 15 Head; 6, 12 Cardiac
            QVERIFY(w.aboveProxy->rowCount() >= 5);  // every one above its energy level
            return;
        }

        std::vector<std::string> args = {"register", "summary", "--db", db_.string(), "--by", by.toStdString(),
                                         "--thickness", std::to_string(thickness)};
        const auto option = [&args](const char* name, const std::string& value) {
            args.emplace_back(name);
            args.push_back(value);
        };
        if (!from.isEmpty()) option("--from", from.toStdString());
        if (!to.isEmpty()) option("--to", to.toStdString());
        if (!device.isEmpty()) option("--device", device.toStdString());
        if (levels) option("--levels", levels_.string());
        const auto text = test::RunTool(args);
        option("--format", "csv");
        const auto csv = test::RunTool(args);
        QVERIFY2(text.status == 0 && csv.status == 0, (text.err + csv.err).c_str());
        QCOMPARE(w.summaryText->toPlainText(), QString::fromStdString(text.out));

        // The table holds the CSV's cells but the thickness, which the choice shows.
        QStringList expected = Lines(csv.out).mid(1);
        for (QString& line : expected) line.chop(QStringLiteral(",%1").arg(thickness).size());
        QCOMPARE(TableLines(*w.groupsProxy), AsShown(expected));
        QCOMPARE(w.aboveProxy->rowCount(), AboveLines(text.out));
        if (levels && studies > 0) QVERIFY(w.aboveProxy->rowCount() > 0);

        const fs::path saved = scratch_ / "summary.csv";
        fs::remove(saved);
        Dialogs::queueFileName(QString::fromStdString(saved.string()));
        QTest::mouseClick(w.groupsCsvButton, Qt::LeftButton);
        QCOMPARE(QString::fromStdString(test::Slurp(saved)), QString::fromStdString(csv.out));
        QVERIFY(MessageBox::takeShown().isEmpty());
    }

    // The studies above the levels sort by a heading as numbers, and their CSV is the rows in the
    // order shown.
    void theStudiesAboveTheLevelsSortAndSaveAsShown_data() {
        QTest::addColumn<QString>("column");
        QTest::addColumn<int>("order");
        QTest::newRow("DAP, highest first") << "dap_gycm2" << static_cast<int>(Qt::DescendingOrder);
        QTest::newRow("energy, lowest first") << "energy_j" << static_cast<int>(Qt::AscendingOrder);
    }
    void theStudiesAboveTheLevelsSortAndSaveAsShown() {
        QFETCH(QString, column);
        QFETCH(int, order);
        RegisterWindow w;
        w.show();
        Open(w);
        Dialogs::queueFileName(QString::fromStdString(levels_.string()));
        QTest::mouseClick(w.levelsButton, Qt::LeftButton);
        QTRY_VERIFY(!w.Busy() && w.aboveProxy->rowCount() >= 3);
        int c = 0;
        while (c < w.aboveModel->columnCount() && w.aboveModel->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString() != column) ++c;
        QVERIFY(c < w.aboveModel->columnCount());
        w.aboveTable->sortByColumn(c, static_cast<Qt::SortOrder>(order));
        std::vector<double> shown;
        for (int r = 0; r < w.aboveProxy->rowCount(); ++r) shown.push_back(w.aboveProxy->index(r, c).data().toDouble());
        if (order == Qt::DescendingOrder) std::reverse(shown.begin(), shown.end());
        QVERIFY(std::is_sorted(shown.begin(), shown.end()) && shown.front() < shown.back());
        const fs::path saved = scratch_ / "above.csv";
        Dialogs::queueFileName(QString::fromStdString(saved.string()));
        QTest::mouseClick(w.aboveCsvButton, Qt::LeftButton);
        const QStringList lines = Lines(test::Slurp(saved));
        QCOMPARE(TableLines(*w.aboveProxy), AsShown(lines.mid(1)));
        QVERIFY(lines.front().startsWith(QStringLiteral("accession_number,date,device,protocol,dap_gycm2,energy_j")));

        const fs::path pdf = scratch_ / "summary.pdf";
        Dialogs::queueFileName(QString::fromStdString(pdf.string()));
        QTest::mouseClick(w.pdfButton, Qt::LeftButton);
        QVERIFY(test::Slurp(pdf).rfind("%PDF", 0) == 0);
        QVERIFY(MessageBox::takeShown().isEmpty());
    }

    // A slow answer to earlier choices arrives after the answer to the newer ones and is dropped;
    // meanwhile the window runs and shows that it is busy.
    void aLateAnswerNeverReplacesTheLatest() {
        std::atomic<int> calls{0};
        const auto slowFirst = [&calls](const RegisterChoices& c) {
            if (calls++ == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1500));
            return ComputeRegisterView(c);
        };
        RegisterWindow w(slowFirst);
        w.show();
        w.OpenDatabase(Db());  // by device: slow
        QVERIFY(w.Busy());
        QCOMPARE(w.progressBar->maximum(), 0);
        QVERIFY(w.progressBar->isVisible());
        QTRY_COMPARE(calls.load(), 1);  // the slow one is being answered
        w.groupBox->setCurrentIndex(w.groupBox->findText(QStringLiteral("month")));  // quick
        QTRY_VERIFY(w.Shown() != nullptr);
        QCOMPARE(w.Shown()->choices.by, registry::GroupBy::Month);
        QVERIFY(w.Busy());  // the slow one still runs, and the window answered meanwhile
        QTRY_VERIFY_WITH_TIMEOUT(!w.Busy(), 10000);
        QCOMPARE(calls.load(), 2);
        QCOMPARE(w.Shown()->choices.by, registry::GroupBy::Month);
        const auto run = test::RunTool({"register", "summary", "--db", db_.string(), "--by", "month"});
        QCOMPARE(w.summaryText->toPlainText(), QString::fromStdString(run.out));
        QVERIFY(!w.progressBar->isVisible());
    }

    void aRegisterThatCannotBeOpenedIsTold() {
        RegisterWindow w;
        w.show();
        w.OpenDatabase(QString::fromStdString((scratch_ / "no such folder" / "register.sqlite").string()));
        QTRY_VERIFY(!w.Busy());
        QVERIFY(w.Shown() == nullptr);
        QCOMPARE(MessageBox::takeShown().size(), 1);
        QVERIFY(!w.groupsCsvButton->isEnabled());
    }

    // Real pointer moves over each picture name the study drawn there, in the tooltip and under
    // the pictures; off the studies nothing is named.
    void thePointerNamesTheStudy_data() {
        QTest::addColumn<QString>("plot");
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("file");
        QTest::addColumn<QByteArray>("begins");
        QTest::newRow("box plot, PNG") << "boxPlot" << "saveBoxButton" << "box.png" << QByteArray("\x89PNG");
        QTest::newRow("scatter, SVG") << "scatterPlot" << "saveScatterButton" << "scatter.svg" << QByteArray("<?xml");
    }
    void thePointerNamesTheStudy() {
        QFETCH(QString, plot);
        QFETCH(QString, button);
        QFETCH(QString, file);
        QFETCH(QByteArray, begins);
        RegisterWindow w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        Open(w);
        auto* p = w.findChild<RegisterPlot*>(plot);
        QVERIFY(p != nullptr);
        QCOMPARE(static_cast<int>(p->Marks().size()), 15);  // a mark per study
        int named = 0;
        for (const PlotMark& m : p->Marks()) {
            const QPoint at(qRound(m.x), qRound(m.y));
            QTest::mouseMove(p, at);
            QTRY_VERIFY(!w.hoverLabel->text().isEmpty());
            // The study named is one drawn within reach of the pointer.
            bool near = false;
            for (const PlotMark& n : p->Marks()) {
                const auto& s = w.Shown()->studies[n.study];
                if (std::hypot(n.x - m.x, n.y - m.y) <= 6 && w.hoverLabel->text().startsWith(QString::fromStdString(s.studyUid + " (" + s.accessionNumber))) near = true;
            }
            QVERIFY2(near, qPrintable(w.hoverLabel->text()));
            QCOMPARE(QToolTip::text(), w.hoverLabel->text());
            QTest::mouseMove(p, QPoint(3, 3));
            QTRY_VERIFY(w.hoverLabel->text().isEmpty());
            ++named;
        }
        QCOMPARE(named, 15);
        // The picture saves as shown, PNG or SVG by the name given.
        const fs::path saved = scratch_ / file.toStdString();
        Dialogs::queueFileName(QString::fromStdString(saved.string()));
        QTest::mouseClick(w.findChild<QPushButton*>(button), Qt::LeftButton);
        QVERIFY(test::Slurp(saved).rfind(begins.toStdString(), 0) == 0);
        QVERIFY(MessageBox::takeShown().isEmpty());
    }

    // Mnemonics reach the choices, Enter presses the focused button, Escape closes.
    void theKeyboardWorksTheWindow_data() {
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("focused");
        QTest::newRow("Alt+G") << static_cast<int>(Qt::Key_G) << "groupBox";
        QTest::newRow("Alt+T") << static_cast<int>(Qt::Key_T) << "thicknessBox";
        QTest::newRow("Alt+D") << static_cast<int>(Qt::Key_D) << "deviceBox";
        QTest::newRow("Alt+A") << static_cast<int>(Qt::Key_A) << "fromEdit";
    }
    void theKeyboardWorksTheWindow() {
        QFETCH(int, key);
        QFETCH(QString, focused);
        QPointer<RegisterWindow> w = new RegisterWindow;
        w->show();
        w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w));
        Open(*w);
        QTest::keyClick(w, static_cast<Qt::Key>(key), Qt::AltModifier);
        QTRY_COMPARE(QApplication::focusWidget() ? QApplication::focusWidget()->objectName() : QString(), focused);
        // Tab goes on in reading order.
        w->chooseButton->setFocus();
        for (QWidget* next : {static_cast<QWidget*>(w->levelsButton), static_cast<QWidget*>(w->groupBox)}) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget(), next);
        }
        const fs::path saved = scratch_ / "keyboard.csv";
        fs::remove(saved);
        w->groupsCsvButton->setFocus();
        Dialogs::queueFileName(QString::fromStdString(saved.string()));
        QTest::keyClick(w->groupsCsvButton, Qt::Key_Return);
        QVERIFY(fs::exists(saved));
        QTest::keyClick(w, Qt::Key_Escape);
        QTRY_VERIFY(w.isNull());
    }

    // Under QT_SCALE_FACTOR=1.25 on a 1366 x 768 screen (the ctest entry "fit" sets both), the
    // window with its frame lies inside the screen's available area in both languages, and its
    // layout is not squeezed below what its contents need.
    void theWindowFitsA1366x768ScreenAt125Percent_data() {
        QTest::addColumn<bool>("english");
        QTest::newRow("Japanese") << false;
        QTest::newRow("English") << true;
    }
    void theWindowFitsA1366x768ScreenAt125Percent() {
        QFETCH(bool, english);
        if (qEnvironmentVariableIsEmpty("MIRELO_FIT_SCREEN")) QSKIP("run by the ctest entry test_register_window_fit");
        const QScreen* screen = QGuiApplication::primaryScreen();
        QCOMPARE(screen->geometry().size(), QSize(1093, 614));  // 1366 x 768 at 125 %, rounded as Qt does
        if (english) QVERIFY(i18n::Apply(i18n::Language::English));
        RegisterWindow w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        Open(w);
        QTest::qWait(50);
        const QRect frame = w.frameGeometry(), room = screen->availableGeometry();
        QVERIFY2(room.contains(frame), qPrintable(QStringLiteral("%1x%2+%3+%4 in %5x%6")
                                                      .arg(frame.width()).arg(frame.height()).arg(frame.x()).arg(frame.y())
                                                      .arg(room.width()).arg(room.height())));
        const QSize needed = w.layout()->totalMinimumSize();
        qInfo("frame %dx%d at %d,%d, layout needs %dx%d, screen available %dx%d", frame.width(), frame.height(), frame.x(),
              frame.y(), needed.width(), needed.height(), room.width(), room.height());
        QVERIFY2(needed.width() <= w.width() && needed.height() <= w.height(),
                 qPrintable(QStringLiteral("needs %1x%2").arg(needed.width()).arg(needed.height())));
        if (english) i18n::Apply(i18n::Language::Japanese);
    }

    // Screenshots for the documentation; not a test. Run:
    //   MIRELO_RENDER_DOCS=docs QT_QPA_PLATFORM=offscreen build/dev/tests/register_window/test_register_window renderDocs
    void renderDocs() {
        const QByteArray out = qgetenv("MIRELO_RENDER_DOCS");
        if (out.isEmpty()) QSKIP("MIRELO_RENDER_DOCS names the folder to write to");
        const QString dir = QString::fromLocal8Bit(out) + u'/';
        RegisterWindow w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        Open(w);
        Dialogs::queueFileName(QString::fromStdString(levels_.string()));
        QTest::mouseClick(w.levelsButton, Qt::LeftButton);
        w.groupBox->setCurrentIndex(1);
        QTRY_VERIFY(!w.Busy());
        w.databaseLabel->setText(QStringLiteral("~/.local/share/mirelo/mirelo-register.sqlite"));
        w.levelsLabel->setText(QStringLiteral("levels.toml"));
        w.tabs->setCurrentIndex(1);
        QTest::qWait(100);
        QVERIFY(w.grab().save(dir + QStringLiteral("register_window.png")));
        // The pictures alone, large enough to read in the guide.
        const auto plots = [&](const char* suffix) {
            bool saved = true;
            for (auto [draw, name] : {std::pair{&DrawEnergyBoxes, "register_box_plot"}, std::pair{&DrawEnergyAgainstDap, "register_scatter"}}) {
                RegisterPlot plot(nullptr, draw);
                plot.setFont(w.font());
                plot.resize(640, 400);
                plot.SetView(w.Shown());
                saved = plot.grab().save(dir + QLatin1String(name) + QLatin1String(suffix) + QStringLiteral(".png")) && saved;
            }
            return saved;
        };
        QVERIFY(plots(""));
        QApplication::setPalette(DarkPalette());
        QTest::qWait(100);
        QVERIFY(w.grab().save(dir + QStringLiteral("register_window_dark.png")));
        QApplication::setPalette(QApplication::style()->standardPalette());
        QVERIFY(i18n::Apply(i18n::Language::English));
        QTest::qWait(100);
        QVERIFY(w.grab().save(dir + QStringLiteral("register_window_en.png")));
        QVERIFY(plots("_en"));
        i18n::Apply(i18n::Language::Japanese);
    }
};

QTEST_MAIN(TestRegisterWindow)
#include "test_register_window.moc"
