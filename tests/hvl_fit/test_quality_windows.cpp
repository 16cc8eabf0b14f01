#include <QApplication>
#include <QPointer>
#include <QTest>
#include <memory>

#include "ui/main_window/main_window.h"
#include "ui/platform/message_box.h"
#include "ui/platform/messages.h"
#include "quality/quality.h"
#include "ui/state/shared_state.h"
#include "profiles/profiles.h"
#include "studies/studies.h"
#include "tests/calc/run_tool.h"

#include <nlohmann/json.hpp>

using namespace mirelo;

class TestQualityWindows : public QObject {
    Q_OBJECT
    std::unique_ptr<Form1> form_;

    // The main window on the shipped tables with a fixed 80 kV, shown.
    Form1& Start() {
        SharedState() = Module1{};
        form_ = std::make_unique<Form1>();
        QString error;
        if (!form_->Form_Load({MIRELO_SOURCE_DATA_DIR}, error)) qFatal("%s", qPrintable(error));
        form_->show();
        if (!QTest::qWaitForWindowExposed(form_.get())) qFatal("main window not shown");
        QTest::mouseClick(form_->Command5, Qt::LeftButton);
        QTest::mouseClick(form_->TubeVoltageDialog()->Command1, Qt::LeftButton);  // its default: fixed 80 kV
        return *form_;
    }
    static void Type(QLineEdit* field, const QString& text) {
        field->clear();
        QTest::keyClicks(field, text);
    }
    static double Hvl1(double inherentMm, double kv) {
        const auto s = ComputeSpectrum(SharedState().tables, Beam::FromMm(15, inherentMm, 2.0, 0), TubeVoltage::Fixed(kv));
        return ComputeBeamQuality(SharedState().tables, *s)->hvl1MmAl;
    }

private slots:
    void init() { MessageBox::setScripted(true); }
    void cleanup() {
        form_.reset();
        QVERIFY(MessageBox::takeShown().isEmpty());
    }

    void theSpectrumWindowShowsTheBeamQualityUnderItsControls() {
        Form1& f = Start();
        MessageBox::setNextAnswer(MessageBox::Answer::Yes);
        QTest::mouseClick(f.Command2, Qt::LeftButton);
        QCOMPARE(MessageBox::takeShown().size(), 1);
        Form6* w = f.SpectrumWindow();
        QVERIFY(w != nullptr && w->isVisible());
        // The default beam at 80 kV: the figures of docs/data.md.
        QCOMPARE(w->QualityLine->text(), QStringLiteral("80 kV · 12° · Al 2.5 + 1 mm · Cu 0 mm | HVL₁ 3.25 mm Al · "
                                                        "HVL₂ 4.59 mm Al · h 0.71 · 平均 44.5 keV · 実効 34.6 keV"));
        // The line lies under every designed control and shows whole.
        const QRect line = w->QualityLine->geometry();
        for (const QWidget* c : std::initializer_list<const QWidget*>{w->Picture3, w->Command1, w->Command2, w->Label1}) {
            QVERIFY(c->geometry().bottom() < line.top());
        }
        QVERIFY(line.bottom() < w->height());
        QVERIFY(w->QualityLine->fontMetrics().horizontalAdvance(w->QualityLine->text()) <= line.width());
    }

    void theFitWindowFitsAndAppliesTheInherentFilter() {
        Form1& f = Start();
        f.Text1->setText(QStringLiteral("15"));
        f.Text3->setText(QStringLiteral("2.0"));
        f.fitHvlAction->trigger();
        QPointer<HvlFitWindow> w = f.HvlFit();
        QVERIFY(w != nullptr && w->isVisible());
        // The main window's settings, and its fixed voltage as the likely one of the measurement.
        QCOMPARE(w->angleField->text() + w->alField->text() + w->cuField->text() + w->kvField->text(), QStringLiteral("152.0080"));
        QVERIFY(!w->applyButton->isEnabled());

        // Inputs refused before anything is fitted, each with its message and the focus on its field.
        const struct {
            QLineEdit* field;
            const char* text;
            const QString& message;
        } refused[] = {{w->kvField, "151", messages::kTubeVoltageInvalid}, {w->hvlField, "", messages::kHvlInvalid},
                       {w->angleField, "90", messages::kTargetAngleInvalid}, {w->cuField, "-0.1", messages::kFilterInvalid},
                       // Text that used to be read as its leading number ("3,5" fitted 3 mm).
                       {w->hvlField, "3,5", messages::kHvlInvalid}, {w->alField, "1,5", messages::kFilterInvalid},
                       {w->kvField, "80 V", messages::kTubeVoltageInvalid}};
        for (const auto& r : refused) {
            const QString before = r.field->text();
            Type(r.field, QString::fromUtf8(r.text));
            QTest::mouseClick(w->fitButton, Qt::LeftButton);
            const auto shown = MessageBox::takeShown();
            QCOMPARE(shown.size(), 1);
            QCOMPARE(shown[0].text, r.message);
            QCOMPARE(w->focusWidget(), r.field);
            Type(r.field, before.isEmpty() ? QStringLiteral("3.50") : before);
        }
        QTest::keyClick(w->hvlField, Qt::Key_Return);  // Enter fits too
        QVERIFY(w->applyButton->isEnabled());
        const double fitted = w->inherentResult->text().toDouble();
        QVERIFY(qAbs(Hvl1(fitted, 80) - 3.50) < 0.005);  // the applied value is rounded to 0.01 mm
        QVERIFY(!w->hvl2Result->text().isEmpty() && !w->meanResult->text().isEmpty());

        // Applying changes the beam, so the spectrum and results computed before it are discarded.
        mirelo::SharedState().Spectrum[100] = 0.5;
        f.Label14->setText(QStringLiteral("1.000E+13"));
        QTest::mouseClick(w->applyButton, Qt::LeftButton);
        QCOMPARE(f.Text2->text(), w->inherentResult->text());
        QCOMPARE(mirelo::SharedState().Spectrum[100], 0.0);
        QVERIFY(f.Label14->text().isEmpty());

        // A changed input discards the result; an HVL out of reach names the range at that voltage.
        Type(w->hvlField, QStringLiteral("9"));
        QVERIFY(!w->applyButton->isEnabled() && w->inherentResult->text().isEmpty());
        QTest::mouseClick(w->fitButton, Qt::LeftButton);
        const auto shown = MessageBox::takeShown();
        QCOMPARE(shown.size(), 1);
        QVERIFY2(shown[0].text.startsWith(QStringLiteral(" 80 kV")), qPrintable(shown[0].text));
        QVERIFY2(shown[0].text.contains(QString::number(Hvl1(20, 80), 'f', 3)), qPrintable(shown[0].text));

        QTest::mouseClick(w->closeButton, Qt::LeftButton);
        QTRY_VERIFY(w.isNull());  // closed is discarded: the command builds a new one
        f.fitHvlAction->trigger();
        w = f.HvlFit();
        QVERIFY(w != nullptr && w->isVisible());
        QTest::keyClick(w->hvlField, Qt::Key_Escape);  // Esc closes it too
        QTRY_VERIFY(w.isNull());
    }

    // One measurement, HVL1 3.0 mm Al at 80 kV through no added filter at 12 degrees, given to the
    // window, the command line and a dose-report profile, gives one inherent filtration.
    void theThreePathsGiveOneFiltration() {
        const auto cli = test::RunTool({"--kv", "80", "--fit-hvl", "80:3.0", "--format", "json", "--tables", MIRELO_SOURCE_DATA_DIR});
        QCOMPARE(cli.status, 0);
        const double byCli = nlohmann::json::parse(cli.out)["inherent_mm_al"].get<double>();

        const auto profiles = profiles::ParseProfiles(
            "[[device]]\nname = \"R\"\nobserver_uid = \"1\"\nhvl = [{kv = 80, mm_al = 3.0}]\n", "p.toml");
        QVERIFY(profiles);
        Form1& f = Start();
        const auto curve = FitFiltrationCurve(SharedState().tables, studies::ProfileMeasurements(profiles->entries[0]));
        QVERIFY(curve);
        const double byProfile = InherentAtKv(*curve, 80).mmAl;

        f.fitHvlAction->trigger();
        QPointer<HvlFitWindow> w = f.HvlFit();
        QVERIFY(w != nullptr);
        Type(w->alField, QStringLiteral("0"));  // prefilled with the main window's 1.0: not the measurement's
        Type(w->hvlField, QStringLiteral("3.0"));
        QTest::mouseClick(w->fitButton, Qt::LeftButton);
        QVERIFY(MessageBox::takeShown().isEmpty());
        QVERIFY2(w->assumedResult->text().contains(QStringLiteral("Al 0 mm")), qPrintable(w->assumedResult->text()));

        QCOMPARE(byProfile, byCli);
        QCOMPARE(w->inherentResult->text(), QString::number(byCli, 'f', 2));
        QVERIFY(qAbs(byCli - 3.05) < 0.01);  // the figure the user's guide quotes
    }

    // Points in the table: fitted at each, the value at the main window's voltage interpolated, the
    // plot given the same fits.
    void severalPointsAreFittedAndPlotted() {
        Form1& f = Start();
        f.fitHvlAction->trigger();
        QPointer<HvlFitWindow> w = f.HvlFit();
        QVERIFY(w != nullptr);
        Type(w->alField, QStringLiteral("0"));
        for (const auto& [kv, hvl] : {std::pair{"100", "3.9"}, {"60", "2.3"}, {"60", "2.4"}}) {
            Type(w->kvField, QString::fromLatin1(kv));
            Type(w->hvlField, QString::fromLatin1(hvl));
            QTest::mouseClick(w->addPointButton, Qt::LeftButton);
        }
        QCOMPARE(w->pointsTable->rowCount(), 2);  // the second 60 kV replaced the first
        QCOMPARE(w->pointsTable->item(0, 1)->text(), QStringLiteral("2.4"));
        QTest::mouseClick(w->fitButton, Qt::LeftButton);
        QVERIFY(MessageBox::takeShown().isEmpty());
        const auto single = [](double kv, double hvl) {
            return FitInherentFiltration(SharedState().tables, {12, 0, 0, kv, hvl, {}})->inherentMmAl;
        };
        const double at60 = single(60, 2.4), at100 = single(100, 3.9);
        // The main window stands at 80 kV: half way.
        QCOMPARE(w->inherentResult->text(), QString::number(0.5 * (at60 + at100), 'f', 2));
        QCOMPARE(w->pointsTable->item(0, 2)->text(), QString::number(at60, 'f', 2));
        QVERIFY(w->plot->Curve() && w->plot->Curve()->points.size() == 2);
        QTest::mouseClick(w->applyButton, Qt::LeftButton);
        QCOMPARE(f.Text2->text(), w->inherentResult->text());
    }
};

QTEST_MAIN(TestQualityWindows)
#include "test_quality_windows.moc"
