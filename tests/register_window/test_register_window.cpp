// The register window on a register of generated reports: its summary is `mirelo-calc register
// summary`'s for each grouping, each study drawn is named under the pointer, and the pictures save.
#include <QApplication>
#include <QPointer>
#include <QTest>
#include <filesystem>

#include "tests/calc/run_tool.h"
#include "ui/platform/dialogs.h"
#include "ui/platform/message_box.h"
#include "ui/register_window/register_window.h"

using namespace mirelo;
namespace fs = std::filesystem;

class TestRegisterWindow : public QObject {
    Q_OBJECT
    fs::path scratch_, db_;

private slots:
    void initTestCase() {
        scratch_ = fs::temp_directory_path() / ("mirelo-register-window-" + std::to_string(::getpid()));
        fs::remove_all(scratch_);
        fs::create_directories(scratch_);
        db_ = scratch_ / "register.sqlite";
        const std::string make = test::Quoted(MIRELO_MAKE_FOLDER_EXE) + " " + test::Quoted((scratch_ / "reports").string()) + " 12 5 >/dev/null";
        QCOMPARE(std::system(make.c_str()), 0);
        const auto run = test::RunTool({"register", "import", "--db", db_.string(), "--tables", MIRELO_SOURCE_DATA_DIR,
                                        (scratch_ / "reports").string()});
        QVERIFY2(run.status == 0, run.err.c_str());
        MessageBox::setScripted(true);
        Dialogs::setScripted(true);
    }
    void cleanupTestCase() { fs::remove_all(scratch_); }

    void theSummaryIsTheCommandLines_data() {
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("by");
        QTest::newRow("device") << 0 << "device";
        QTest::newRow("protocol") << 1 << "protocol";
        QTest::newRow("month") << 2 << "month";
    }
    void theSummaryIsTheCommandLines() {
        QFETCH(int, index);
        QFETCH(QString, by);
        QPointer<RegisterWindow> w = new RegisterWindow;
        w->show();
        QVERIFY(w->OpenDatabase(QString::fromStdString(db_.string())));
        w->groupBox->setCurrentIndex(index);
        const auto run = test::RunTool({"register", "summary", "--db", db_.string(), "--by", by.toStdString()});
        QVERIFY2(run.status == 0, run.err.c_str());
        QCOMPARE(w->summaryText->toPlainText(), QString::fromStdString(run.out));
        delete w;
    }

    void everyStudyIsNamedUnderThePointerAndThePicturesSave() {
        RegisterWindow w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QVERIFY(w.OpenDatabase(QString::fromStdString(db_.string())));
        for (RegisterPlot* plot : {w.boxPlot, w.scatterPlot}) {
            QCOMPARE(static_cast<int>(plot->Marks().size()), 12);  // a mark per study
            QStringList named;
            for (const PlotMark& m : plot->Marks()) {
                const QString name = plot->StudyAt(QPoint(qRound(m.x), qRound(m.y)));
                QVERIFY(name.startsWith(QStringLiteral("1.2.826.0.1.3680043.10.1307.")));
                named << name;
            }
            named.removeDuplicates();
            QVERIFY(named.size() >= 10);  // studies that share a point are few
            QVERIFY(plot->StudyAt(QPoint(2, 2)).isEmpty());
        }
        const fs::path png = scratch_ / "box.png", svg = scratch_ / "scatter.svg";
        Dialogs::queueFileName(QString::fromStdString(png.string()));
        QTest::mouseClick(w.saveBoxButton, Qt::LeftButton);
        Dialogs::queueFileName(QString::fromStdString(svg.string()));
        QTest::mouseClick(w.saveScatterButton, Qt::LeftButton);
        QVERIFY(test::Slurp(png).rfind("\x89PNG", 0) == 0);
        QVERIFY(test::Slurp(svg).find("<svg") != std::string::npos);
        QVERIFY(MessageBox::takeShown().isEmpty());
        if (const QByteArray out = qgetenv("MIRELO_RENDER_DOCS"); !out.isEmpty()) {
            w.resize(1040, 580);
            QTest::qWait(100);
            QVERIFY(w.grab().save(QString::fromLocal8Bit(out) + QStringLiteral("/register_window.png")));
        }
    }
};

QTEST_MAIN(TestRegisterWindow)
#include "test_register_window.moc"
