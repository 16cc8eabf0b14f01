#include <QApplication>
#include <QClipboard>
#include <QRadioButton>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <filesystem>
#include <memory>

#include "ui/main_window/main_window.h"
#include "ui/platform/dialogs.h"
#include "ui/platform/language.h"
#include "ui/platform/message_box.h"
#include "ui/spectrum_window/quality_line.h"
#include "ui/state/shared_state.h"

using mirelo::Dialogs;
using mirelo::Form1;
using mirelo::MessageBox;

namespace {

// The result lines as the list shows them, split into thickness and dose.
QList<QStringList> Shown(const Form1& f) {
    QList<QStringList> rows;
    for (int i = 0; i < f.List1->count(); ++i) {
        rows.append(f.List1->item(i)->text().split(QStringLiteral("→")));
        for (QString& cell : rows.back()) {
            cell = cell.trimmed();
        }
    }
    return rows;
}

// A CSV reader (RFC 4180: quoted fields may hold commas, quotes and line breaks).
QList<QStringList> ReadCsv(const QString& text) {
    QList<QStringList> rows{{}};
    QString field;
    bool quoted = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (quoted) {
            if (c == u'"' && i + 1 < text.size() && text[i + 1] == u'"') {
                field += c;
                ++i;
            } else if (c == u'"') {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == u'"') {
            quoted = true;
        } else if (c == u',') {
            rows.back().append(field);
            field.clear();
        } else if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') {
            rows.back().append(field);
            field.clear();
            rows.append(QStringList());
            ++i;
        } else {
            field += c;
        }
    }
    rows.removeLast();  // after the last line break
    return rows;
}

QString RunTool(const QString& program, const QStringList& args) {
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(30000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        qWarning("%s failed: %s", qPrintable(program), p.readAllStandardError().constData());
        return {};
    }
    return QString::fromUtf8(p.readAllStandardOutput());
}

}  // namespace

class TestRecords : public QObject {
    Q_OBJECT

    std::unique_ptr<Form1> form_;
    QTemporaryDir dir_;
    QString tables_;

    // A full run: tables from a folder whose name needs quoting in CSV, a voltage range with normal
    // spread, the spectrum, an area dose, the dose.
    Form1& Run() {
        form_ = std::make_unique<Form1>();
        form_->drawSpectrum = [] {};
        form_->showForm6 = [] {};
        QString error;
        if (!form_->Form_Load({tables_.toStdString()}, error)) {
            qFatal("%s", qPrintable(error));
        }
        form_->show();
        QTest::mouseClick(form_->Command5, Qt::LeftButton);
        mirelo::Form4* d = form_->TubeVoltageDialog();
        QTest::mouseClick(d->Option2, Qt::LeftButton);
        QTest::mouseClick(d->Option4, Qt::LeftButton);
        QTest::mouseClick(d->Command1, Qt::LeftButton);
        MessageBox::setNextAnswer(MessageBox::Answer::No);
        QTest::mouseClick(form_->Command2, Qt::LeftButton);
        QTest::keyClicks(form_->Text15, QStringLiteral("25.3"));
        QTest::mouseClick(form_->Command3, Qt::LeftButton);
        MessageBox::takeShown();
        return *form_;
    }
    QString Pdf(const QString& path) { return RunTool(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), path, QStringLiteral("-")}); }
    // What a report must show: the photon count, every dose on screen and both tables' fingerprints.
    // The first and second HVL as the spectrum window's line under the plot shows them.
    QStringList ShownHvls() {
        const QString line = mirelo::QualityLineText(form_->state());
        const auto m = QRegularExpression(QStringLiteral("HVL₁ ([0-9.]+) mm Al · HVL₂ ([0-9.]+) mm Al")).match(line);
        return m.hasMatch() ? QStringList{m.captured(1), m.captured(2)} : QStringList{};
    }

    void CheckReportText(const QString& text) {
        QVERIFY2(text.contains(form_->Label14->text()), qPrintable(text));
        const QStringList hvls = ShownHvls();
        QCOMPARE(hvls.size(), 2);
        for (const QString& hvl : hvls) {
            QVERIFY2(text.contains(hvl + QStringLiteral(" mm Al")), qPrintable(hvl));
        }
        for (const QStringList& row : Shown(*form_)) {
            QVERIFY2(text.contains(row[1]), qPrintable(row[1]));
        }
        const auto& t = form_->state().tables;
        QVERIFY(text.contains(QString::fromStdString(t.attSource.sha256)));
        QVERIFY(text.contains(QString::fromStdString(t.effSource.sha256)));
    }

private slots:
    void initTestCase() {
        QStandardPaths::setTestModeEnabled(true);
        QSettings().clear();
        tables_ = dir_.filePath(QStringLiteral("tables, \"copy\""));
        QVERIFY(QDir().mkpath(tables_));
        for (const char* name : {"Att_coeff2021.dat", "effEA.dat"}) {
            const QString from = QStringLiteral(MIRELO_TEST_DATA_DIR "/synthetic/") + QLatin1String(name);
            QVERIFY(QFile::copy(from, QDir(tables_).filePath(QLatin1String(name))));
        }
    }
    void init() {
        MessageBox::setScripted(true);
        Dialogs::setScripted(true);
    }
    void cleanup() { form_.reset(); }

    void commandsFollowTheResultsOnScreen_data() {
        QTest::addColumn<QString>("change");
        QTest::newRow("target angle") << "Text1";
        QTest::newRow("inherent filter") << "Text2";
        QTest::newRow("aluminium") << "Text3";
        QTest::newRow("copper") << "Text4";
        QTest::newRow("area dose") << "Text15";
        QTest::newRow("tube voltage") << "Form4";
        QTest::newRow("Clear") << "Command4";
    }
    void commandsFollowTheResultsOnScreen() {
        QFETCH(QString, change);
        Form1& f = Run();
        const QList<QAction*> commands{f.SaveResultsAction, f.PrintReportAction, f.SavePdfAction, f.CopyResultsAction};
        for (QAction* a : commands) {
            QVERIFY(a->isEnabled());
        }
        if (change == QLatin1String("Form4")) {
            QTest::mouseClick(f.Command5, Qt::LeftButton);
            QTest::mouseClick(f.TubeVoltageDialog()->Option1, Qt::LeftButton);
            QTest::mouseClick(f.TubeVoltageDialog()->Command1, Qt::LeftButton);
        } else if (change == QLatin1String("Command4")) {
            QTest::mouseClick(f.Command4, Qt::LeftButton);
        } else {
            QTest::keyClick(f.findChild<QLineEdit*>(change), Qt::Key_5);
        }
        for (QAction* a : commands) {
            QVERIFY2(!a->isEnabled(), qPrintable(a->objectName()));
        }
        // Ctrl+S is refused as the menu is, not answered with some earlier record.
        QTest::keyClick(&f, Qt::Key_S, Qt::ControlModifier);
        QVERIFY(Dialogs::takeAsked().isEmpty());
    }

    void csvReadBackGivesTheNumbersOnScreen() {
        Form1& f = Run();
        const QString path = dir_.filePath(QStringLiteral("results.csv"));
        Dialogs::queueFileName(path);
        QTest::keyClick(&f, Qt::Key_S, Qt::ControlModifier);
        const auto asked = Dialogs::takeAsked();
        QCOMPARE(asked.size(), 1);
        QVERIFY2(QRegularExpression(QStringLiteral("mirelo-results-\\d{8}-\\d{6}\\.csv$")).match(asked[0].detail).hasMatch(),
                 qPrintable(asked[0].detail));
        QCOMPARE(MessageBox::takeShown().size(), 1);  // "saved"
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        QVERIFY(bytes.startsWith("\xEF\xBB\xBF"));
        const auto rows = ReadCsv(QString::fromUtf8(bytes.mid(3)));
        QMap<QString, QStringList> header;
        for (const QStringList& r : rows) {
            if (r.size() > 1) {
                header[r[0]] = r.mid(1);
            }
        }
        QCOMPARE(header.value(QStringLiteral("全入射光子数")), QStringList{f.Label14->text()});
        QCOMPARE(header.value(QStringLiteral("管電圧")), (QStringList{QStringLiteral("75 - 85 kV"), QStringLiteral("中央値を中心にして正規分布状に変動")}));
        QCOMPARE(header.value(QStringLiteral("面積空気カーマ積算値 P_KA")), (QStringList{QStringLiteral("25.3 Gy·cm²"), QStringLiteral("入力値: 25.3 Gy·cm²")}));
        // The beam quality of the record's spectrum, as the spectrum window shows it.
        const QStringList hvls = ShownHvls();
        QCOMPARE(hvls.size(), 2);
        QCOMPARE(header.value(QStringLiteral("第1半価層 HVL₁")), QStringList{hvls[0] + QStringLiteral(" mm Al")});
        QCOMPARE(header.value(QStringLiteral("第2半価層 HVL₂")), QStringList{hvls[1] + QStringLiteral(" mm Al")});
        const auto& t = form_->state().tables;
        QCOMPARE(header.value(QStringLiteral("係数表 Att_coeff2021.dat")),
                 (QStringList{QDir(tables_).filePath(QStringLiteral("Att_coeff2021.dat")), QStringLiteral("SHA-256"),
                              QString::fromStdString(t.attSource.sha256)}));
        // The eleven lines after the column captions: thickness and dose exactly as listed, and
        // every digit of the dose agreeing with what is shown.
        const qsizetype first = rows.indexOf(QStringList{QStringLiteral("平均体厚 (cm)"), QStringLiteral("患者容積線量 (J)"),
                                                         QStringLiteral("患者容積線量 (J) 全桁")});
        QVERIFY(first > 0);
        const auto shown = Shown(f);
        QCOMPARE(rows.size(), first + 1 + 11);
        for (int i = 0; i < 11; ++i) {
            const QStringList& r = rows[first + 1 + i];
            QCOMPARE(r.mid(0, 2), shown[i]);
            QCOMPARE(QString::asprintf("%.3E", r[2].toDouble()), shown[i][1]);
        }
    }

    void reportAsPdfAndPrinted() {
        Form1& f = Run();
        const QString pdf = dir_.filePath(QStringLiteral("report.pdf"));
        const QString printed = dir_.filePath(QStringLiteral("printed.pdf"));
        Dialogs::queueFileName(pdf);
        f.SavePdfAction->trigger();
        Dialogs::queueFileName(printed);
        f.PrintReportAction->trigger();
        QCOMPARE(Dialogs::takeAsked().size(), 2);
        MessageBox::takeShown();
        for (const QString& path : {pdf, printed}) {
            const QString info = RunTool(QStringLiteral("pdfinfo"), {path});
            QVERIFY2(info.contains(QRegularExpression(QStringLiteral("Pages: +1\n"))), qPrintable(info));
            QVERIFY2(info.contains(QStringLiteral("(A4)")), qPrintable(info));
            CheckReportText(Pdf(path));
            // Rendered, the page shows the red curve of the spectrum.
            const QString png = path + QStringLiteral(".png");
            RunTool(QStringLiteral("pdftoppm"), {QStringLiteral("-r"), QStringLiteral("40"), QStringLiteral("-png"),
                                            QStringLiteral("-singlefile"), path, path});
            QImage page(png);
            QVERIFY(!page.isNull());
            int red = 0;
            for (int y = 0; y < page.height(); ++y) {
                for (int x = 0; x < page.width(); ++x) {
                    const QColor c = page.pixelColor(x, y);
                    red += c.red() > 200 && c.green() < 80 && c.blue() < 80 ? 1 : 0;
                }
            }
            QVERIFY2(red > 50, qPrintable(QString::number(red)));
        }
    }

    void copyGivesAHeaderAndElevenTabSeparatedLines() {
        Form1& f = Run();
        f.List1->setFocus();
        f.List1->setCurrentRow(3);
        QTest::keyClick(f.List1, Qt::Key_C, Qt::ControlModifier);
        const QStringList lines = QApplication::clipboard()->text().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 12);
        QCOMPARE(lines[0], QStringLiteral("平均体厚 (cm)\t患者容積線量 (J)"));
        const auto shown = Shown(f);
        for (int i = 0; i < 11; ++i) {
            QCOMPARE(lines[i + 1].split(QLatin1Char('\t')), shown[i]);
        }
        QVERIFY(f.List1->actions().contains(f.CopyResultsAction));  // its context menu
        QVERIFY(f.Label14->textInteractionFlags() & Qt::TextSelectableByMouse);
    }

    void helpOpensTheGuideAndAboutNamesTheTables() {
        Form1& f = Run();
        QTest::keyClick(&f, Qt::Key_F1);
        QVERIFY(Dialogs::takeAsked().isEmpty());  // no browser: the guide opens in the program
        QTRY_VERIFY(f.GuideWindow() != nullptr && f.GuideWindow()->isVisible());
        f.AboutAction->trigger();
        const auto shown = MessageBox::takeShown();
        QCOMPARE(shown.size(), 1);
        const auto& t = form_->state().tables;
        for (const auto* source : {&t.attSource, &t.effSource}) {
            // Each SHA-256 on two lines of 32 digits, so that the box fits a small screen.
            const QString sha = QString::fromStdString(source->sha256);
            QVERIFY(shown[0].text.contains(sha.left(32) + QLatin1Char('\n')));
            QVERIFY(shown[0].text.contains(sha.mid(32)));
            QVERIFY(!shown[0].text.contains(sha));
            QVERIFY(shown[0].text.contains(QFileInfo(QString::fromStdString(source->path)).absoluteFilePath()));
        }
        QVERIFY(shown[0].text.contains(QStringLiteral(MIRELO_TEST_VERSION)));
    }

    // A folder is suggested again only after a save there succeeded: a failed one (a folder of the
    // system) would fail again, and reading /proc in the next dialog can hang it.
    void aFolderIsRememberedOnlyAfterASave() {
        Form1& f = Run();
        const struct {
            QString path;
            bool saved;
            QString remembered;
        } saves[] = {
            {dir_.filePath(QStringLiteral("first.csv")), true, dir_.path()},
            {QStringLiteral("/proc/mirelo-results.csv"), false, dir_.path()},
            {QStringLiteral("/proc/sys/mirelo-report.pdf"), false, dir_.path()},
        };
        for (const auto& save : saves) {
            Dialogs::queueFileName(save.path);
            (save.path.endsWith(QLatin1String(".pdf")) ? f.SavePdfAction : f.SaveResultsAction)->trigger();
            Dialogs::takeAsked();
            const auto shown = MessageBox::takeShown();
            QCOMPARE(shown.size(), 1);
            QCOMPARE(shown[0].kind == MessageBox::Kind::Warning, !save.saved);
            QCOMPARE(QSettings().value(QStringLiteral("records/folder")).toString(), save.remembered);
        }
        f.SaveResultsAction->trigger();  // cancelled: the suggestion is the last folder saved to
        const auto asked = Dialogs::takeAsked();
        QCOMPARE(asked.size(), 1);
        QVERIFY2(asked[0].detail.startsWith(dir_.path() + QLatin1Char('/')), qPrintable(asked[0].detail));
    }

    void englishIsChosenRememberedAndUndone() {
        QSettings().clear();
        QCOMPARE(mirelo::i18n::Saved(), mirelo::i18n::Language::Japanese);  // first start, whatever the system says
        Form1& f = Run();
        const QString japanese = f.Command3->text();
        QTest::mouseClick(f.Command5, Qt::LeftButton);
        QList<QWidget*> windows{&f, f.TubeVoltageDialog()};
        QMap<QWidget*, QString> before;
        for (QWidget* window : windows) {
            for (QWidget* w : window->findChildren<QWidget*>()) {
                before[w] = w->property("text").toString();
            }
        }
        f.EnglishAction->trigger();
        QCOMPARE(MessageBox::takeShown().size(), 0);
        QCOMPARE(QSettings().value(QStringLiteral("interface/language")).toString(), QStringLiteral("en"));
        QCOMPARE(f.Command3->text(), QStringLiteral("Compute integral dose"));
        QCOMPARE(f.Label5->text(), QStringLiteral("Tube voltage"));
        // The results and the tube-voltage display are data: a change of language keeps them.
        QCOMPARE(f.List1->count(), 11);
        QVERIFY(!f.Label14->text().isEmpty());
        QVERIFY(f.Label7->text().startsWith(QStringLiteral("75 - 85 kV (")));
        // Every translated caption of the main window and the dialog fits its designed control.
        int translated = 0;
        for (QWidget* window : windows) {
            for (QWidget* w : window->findChildren<QWidget*>()) {
                const QString text = w->property("text").toString();
                if (text == before.value(w) || (qobject_cast<QLabel*>(w) == nullptr && qobject_cast<QAbstractButton*>(w) == nullptr)) {
                    continue;
                }
                ++translated;
                const int lines = qobject_cast<QRadioButton*>(w) != nullptr ? 2 : 1;
                QVERIFY2(QFontMetrics(w->font()).horizontalAdvance(text) <= w->width() * lines, qPrintable(text));
            }
        }
        QVERIFY(translated > 20);
        f.Text15->clear();
        QTest::mouseClick(f.Command3, Qt::LeftButton);
        QCOMPARE(MessageBox::takeShown().value(0).text, QStringLiteral(" Enter the kerma-area product "));
        f.JapaneseAction->trigger();
        QCOMPARE(f.Command3->text(), japanese);
        QCOMPARE(mirelo::i18n::Saved(), mirelo::i18n::Language::Japanese);
    }
};

QTEST_MAIN(TestRecords)
#include "test_records.moc"
