#include <QAccessible>
#include <QApplication>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <cmath>
#include <filesystem>
#include <memory>
#include <numeric>

#include "app/main_window.h"
#include "app/platform/message_box.h"
#include "ui/state/shared_state.h"

using mirelo::Form1;
using mirelo::Form4;
using mirelo::MessageBox;
using mirelo::SharedState;

namespace {

const std::filesystem::path kSynthetic = std::filesystem::path(MIRELO_TEST_DATA_DIR) / "synthetic";

QString Arrowed(int thickness, const char* dose) {
    return QStringLiteral("       ") + QString::number(thickness) + QStringLiteral("     →     ") +
           QString::fromLatin1(dose);
}

QStringList Lines(const QListWidget* list) {
    QStringList out;
    for (int i = 0; i < list->count(); ++i) {
        out.append(list->item(i)->text());
    }
    return out;
}

QString AccessibleText(QWidget* w, QAccessible::Text which) {
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(w);
    return iface != nullptr ? iface->text(which) : QStringLiteral("<none>");
}

}  // namespace

class TestMainWindow : public QObject {
    Q_OBJECT

    std::unique_ptr<Form1> form_;
    QStringList calls_;  // what the spectrum window and the program end were asked to do

    // A loaded, shown main window whose spectrum window and program end are recorded.
    Form1& Start() {
        SharedState() = mirelo::Module1{};
        form_ = std::make_unique<Form1>();
        form_->drawSpectrum = [this] { calls_.append(QStringLiteral("DrawSpectrum")); };
        form_->showForm6 = [this] { calls_.append(QStringLiteral("ShowForm6")); };
        form_->endProgram = [this] { calls_.append(QStringLiteral("EndProgram")); };
        QString error;
        if (!form_->Form_Load({kSynthetic}, error)) {
            qFatal("%s", qPrintable(error));
        }
        form_->show();
        if (!QTest::qWaitForWindowActive(form_.get())) {
            qFatal("main window not active");
        }
        return *form_;
    }
    static void Click(QAbstractButton* b) { QTest::mouseClick(b, Qt::LeftButton); }
    static void SetText(QLineEdit* field, const QString& text) {
        field->clear();
        QTest::keyClicks(field, text);
    }
    // Sets the tube voltage through the real dialog.
    void SetVoltage(Form1& f, const QString& kv) {
        Click(f.Command5);
        Form4* d = f.TubeVoltageDialog();
        QVERIFY(d != nullptr);
        SetText(d->Text1, kv);
        Click(d->Command1);
        QCOMPARE(f.Label7->text(), kv);
    }
    void ComputeSpectrum(Form1& f) {
        MessageBox::setNextAnswer(MessageBox::Answer::No);
        Click(f.Command2);
        const auto shown = MessageBox::takeShown();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].kind, MessageBox::Kind::Question);
    }

private slots:
    void init() {
        MessageBox::setScripted(true);
        calls_.clear();
    }
    void cleanup() {
        form_.reset();
        QVERIFY(MessageBox::takeShown().isEmpty());  // every test consumed what it caused
    }

    void startUpDefaults() {
        Form1& f = Start();
        QCOMPARE(f.Text1->text(), QStringLiteral("12"));
        QCOMPARE(f.Text2->text(), QStringLiteral("2.5"));
        QCOMPARE(f.Text3->text(), QStringLiteral("1.0"));
        QCOMPARE(f.Text4->text(), QStringLiteral("0"));
        QVERIFY(f.Label7->text().isEmpty());
        QVERIFY(f.Text15->text().isEmpty());
        QVERIFY(f.Label14->text().isEmpty());
        QCOMPARE(f.List1->count(), 0);
        QTRY_COMPARE(QApplication::focusWidget(), f.Command1);
        QVERIFY(f.TubeVoltageDialog() == nullptr);  // created on first use only
    }

    void windowAndLayout() {
        Form1& f = Start();
        QCOMPARE(f.windowTitle(), QStringLiteral("  Mirelo ( Patient Volume Dose Calculator )"));
        QCOMPARE(f.Label45->text(), QStringLiteral("Patient Volume Dose Calculator"));
        QCOMPARE(f.ClientArea->size(), QSize(1174, 569));  // 17610 x 8535 twips, below the menu bar
        QCOMPARE(f.ClientArea->y(), f.MenuBar->height());
        QCOMPARE(f.minimumSize(), f.maximumSize());
        QVERIFY(!f.windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
        QVERIFY(!f.windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
        QVERIFY(f.windowFlags().testFlag(Qt::WindowCloseButtonHint));
        QCOMPARE(f.windowIcon().availableSizes().value(0), QSize(32, 32));

        QCOMPARE(f.Text1->geometry(), QRect(272, 232, 89, 33));
        QCOMPARE(f.Text15->geometry(), QRect(528, 368, 113, 33));
        QCOMPARE(f.List1->geometry(), QRect(840, 160, 289, 345));
        QCOMPARE(f.Command2->geometry(), QRect(480, 192, 273, 49));
        QCOMPARE(f.Label34->geometry(), QRect(70, 7, 119, 43));
        QCOMPARE(f.Label27->geometry(), QRect(72, 8, 119, 43));
        QCOMPARE(f.Text15->font().pointSizeF(), 18.0);
        QCOMPARE(f.List1->font().pointSizeF(), 15.75);
        QCOMPARE(f.Command4->font().families().value(0), QStringLiteral("Times New Roman"));
        QCOMPARE(f.font().pointSizeF(), 9.75);

        for (QPushButton* b : {f.Command1, f.Command2, f.Command3, f.Command4, f.Command5, f.Command9}) {
            QCOMPARE(b->palette().color(QPalette::Button), QColor(255, 255, 192));
        }
        for (QLabel* l : {f.Label1, f.Label2, f.Label3, f.Label4, f.Label5, f.Label9, f.Label13, f.Label60}) {
            QVERIFY(l->autoFillBackground());
            QCOMPARE(l->palette().color(QPalette::Window), QColor(192, 255, 255));
            QVERIFY(l->frameShape() != QFrame::NoFrame);
        }
        QCOMPARE(f.Label14->palette().color(QPalette::Window), QColor(Qt::white));
        QCOMPARE(f.Label34->palette().color(QPalette::WindowText), QColor(255, 0, 0));
        QCOMPARE(f.Label27->palette().color(QPalette::WindowText), QColor(255, 255, 0));
        QCOMPARE(f.Label80->palette().color(QPalette::WindowText), QColor(0, 0, 255));
        QCOMPARE(f.Command5->toolTip(), QStringLiteral(" 管電圧を設定する "));
        QCOMPARE(f.Command1->toolTip(), QStringLiteral("  bye  "));
        QCOMPARE(f.Label4->text(), QStringLiteral(" 付加フィルタ（ 銅 ）"));
        QCOMPARE(f.Label24->text(), QStringLiteral("⑤"));

        // The dots and the superscript sit on the blanks of their lines, whatever face is used.
        const auto between = [](const QLabel* dot, const QLabel* line) {
            return dot->geometry().center().x() > line->x() && dot->geometry().center().x() < line->geometry().right();
        };
        QVERIFY(between(f.Label17, f.Label80));
        QVERIFY(f.Label87->x() > f.Label17->x());
        QVERIFY(between(f.Label18, f.Label8));
        QVERIFY(between(f.Label33, f.Label32));

        // Every control keeps its designer name.
        for (const char* name : {"Text1", "Text15", "Label7", "Label14", "List1", "Command9", "Label53", "Picture2"}) {
            QVERIFY2(f.findChild<QWidget*>(QLatin1String(name)) != nullptr, name);
        }
        QCOMPARE(f.findChild<QLabel*>(QStringLiteral("Label87")), f.Label87);
    }

    void tabOrderFollowsTheDesign() {
        Form1& f = Start();
        const QList<QWidget*> order{f.Command1, f.Command2, f.Picture1, f.Text15, f.Command5, f.Command9, f.Text1,
                                    f.Text2,    f.Text3,    f.Text4,    f.Command3, f.List1, f.Command4, f.Picture2,
                                    f.Command1};
        QTRY_COMPARE(QApplication::focusWidget(), order[0]);
        for (qsizetype i = 1; i < order.size(); ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QTRY_COMPARE(QApplication::focusWidget(), order[i]);
        }
    }

    void accessibility() {
        Form1& f = Start();
        QCOMPARE(AccessibleText(f.Command2, QAccessible::Name), QStringLiteral("入射Ｘ線スペクトルを計算"));
        QCOMPARE(AccessibleText(f.Command1, QAccessible::Name), QStringLiteral("終了"));
        QCOMPARE(AccessibleText(f.Text1, QAccessible::Name), QStringLiteral("Ｘ線管ターゲット角度"));
        QCOMPARE(AccessibleText(f.Text2, QAccessible::Name), QStringLiteral("固有フィルタ (Al 当量)"));
        QCOMPARE(AccessibleText(f.Text4, QAccessible::Name), QStringLiteral("付加フィルタ（ 銅 ）"));
        QCOMPARE(AccessibleText(f.Text15, QAccessible::Name), QStringLiteral("面積線量計の表示値 (補正後)"));
        QCOMPARE(AccessibleText(f.List1, QAccessible::Name), QStringLiteral("患者容積線量"));
        SetVoltage(f, QStringLiteral("80"));
        QCOMPARE(AccessibleText(f.Label7, QAccessible::Name), QStringLiteral("80"));  // the value is read
        QCOMPARE(AccessibleText(f.Label7, QAccessible::Description), QStringLiteral("管電圧"));
        QCOMPARE(AccessibleText(f.Label14, QAccessible::Description), QStringLiteral("全入射光子数"));
    }

    void spectrumRefusedWithoutTubeVoltage() {
        Form1& f = Start();
        SharedState().Spectrum[100] = 0.25;  // to see that nothing is computed
        Click(f.Command2);
        const auto shown = MessageBox::takeShown();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].kind, MessageBox::Kind::Warning);
        QCOMPARE(shown[0].text, QStringLiteral(" 未入力項目があります "));
        QCOMPARE(SharedState().TargetAngle, 12.0);
        QCOMPARE(SharedState().InherentFilter, 0.25);
        QCOMPARE(SharedState().FilterAl, 0.1);
        QCOMPARE(SharedState().FilterCu, 0.0);
        QCOMPARE(SharedState().Spectrum[100], 0.25);
        QVERIFY(calls_.isEmpty());
    }

    void beamConditionsReadByTheNumberRule() {
        Form1& f = Start();
        SetVoltage(f, QStringLiteral("80"));
        SetText(f.Text2, QStringLiteral("2,5"));
        SetText(f.Text3, QStringLiteral("abc"));
        SetText(f.Text4, QStringLiteral("0.5mm"));
        ComputeSpectrum(f);
        QCOMPARE(SharedState().InherentFilter, 0.2);
        QCOMPARE(SharedState().FilterAl, 0.0);
        QCOMPARE(SharedState().FilterCu, 0.05);
    }

    void targetAngleWithoutTangentRefused_data() {
        QTest::addColumn<QString>("angle");
        QTest::newRow("zero") << "0";
        QTest::newRow("letters") << "abc";
        QTest::newRow("infinite") << "1e999";
    }
    void targetAngleWithoutTangentRefused() {
        QFETCH(QString, angle);
        Form1& f = Start();
        SetVoltage(f, QStringLiteral("80"));
        SetText(f.Text1, angle);
        SharedState().Spectrum[100] = 0.25;
        Click(f.Command2);
        const auto shown = MessageBox::takeShown();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].kind, MessageBox::Kind::Warning);
        QCOMPARE(shown[0].text, QStringLiteral(" ターゲット角度を正しく入力して下さい "));
        QCOMPARE(SharedState().Spectrum[100], 0.25);
        QCOMPARE(SharedState().InherentFilter, 0.25);  // the beam conditions stay written
    }

    // Set the voltage, compute, answer No, then Yes; the plot refusing still shows the window.
    void fullRunToTheSpectrum() {
        Form1& f = Start();
        Click(f.Command5);
        Form4* dialog = f.TubeVoltageDialog();
        QVERIFY(dialog != nullptr);
        QVERIFY(dialog->isVisible());
        Click(dialog->Option2);
        Click(dialog->Command1);
        QCOMPARE(f.Label7->text(), QStringLiteral("75 - 85"));
        QVERIFY(dialog->isHidden());
        QTRY_COMPARE(QApplication::focusWidget(), f.Command2);

        const int pendingBefore = mirelo::PendingEventsProcessed();
        MessageBox::setNextAnswer(MessageBox::Answer::No);
        Click(f.Command2);
        auto shown = MessageBox::takeShown();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].kind, MessageBox::Kind::Question);
        QCOMPARE(shown[0].text, QStringLiteral("  Ｘ線スペクトルを表示しますか？ \u3000"));
        QCOMPARE(mirelo::PendingEventsProcessed(), pendingBefore + 1);
        QVERIFY(calls_.isEmpty());
        const auto& spectrum = SharedState().Spectrum;
        QVERIFY(std::abs(std::accumulate(spectrum.begin() + 2, spectrum.begin() + 171, 0.0) - 1.0) < 1e-9);
        QCOMPARE(SharedState().KvHigh, 85.0);

        MessageBox::setNextAnswer(MessageBox::Answer::Yes);
        Click(f.Command2);
        QCOMPARE(MessageBox::takeShown().size(), 1);
        QCOMPARE(calls_, (QStringList{QStringLiteral("DrawSpectrum"), QStringLiteral("ShowForm6")}));

        // The plot refuses with its own warning: the window is shown all the same.
        calls_.clear();
        f.drawSpectrum = [this, &f] {
            calls_.append(QStringLiteral("DrawSpectrum"));
            MessageBox::warning(&f, QStringLiteral(" スペクトルデータがありません  "));
        };
        MessageBox::setNextAnswer(MessageBox::Answer::Yes);
        Click(f.Command2);
        QCOMPARE(MessageBox::takeShown().size(), 2);
        QCOMPARE(calls_, (QStringList{QStringLiteral("DrawSpectrum"), QStringLiteral("ShowForm6")}));
    }

    void showSpectrumCommandOnlyPlots() {
        Form1& f = Start();
        Click(f.Command9);
        QCOMPARE(calls_, QStringList{QStringLiteral("DrawSpectrum")});
        QVERIFY(f.Command9->isEnabled());
    }

    void enterInAreaDoseMovesFocusOnly() {
        Form1& f = Start();
        SetVoltage(f, QStringLiteral("80"));
        ComputeSpectrum(f);
        f.Text15->setFocus();
        QTRY_COMPARE(QApplication::focusWidget(), f.Text15);
        QTest::keyClicks(f.Text15, QStringLiteral("3"));
        QTest::keyClick(f.Text15, 'A', Qt::ShiftModifier);
        QCOMPARE(QApplication::focusWidget(), f.Text15);  // other keys stay here
        QTest::keyClick(f.Text15, Qt::Key_Return);
        QTRY_COMPARE(QApplication::focusWidget(), f.Command3);
        QCOMPARE(f.List1->count(), 0);
        QVERIFY(f.Label14->text().isEmpty());
        QCOMPARE(SharedState().AreaDose, 0.0);
        QCOMPARE(f.Text15->text(), QStringLiteral("3A"));
        // The keypad's Enter counts as Enter too.
        f.Text15->setFocus();
        QTRY_COMPARE(QApplication::focusWidget(), f.Text15);
        QTest::keyClick(f.Text15, Qt::Key_Enter, Qt::KeypadModifier);
        QTRY_COMPARE(QApplication::focusWidget(), f.Command3);
    }

    // The one-bin case through the real command, Label14 and List1.
    void oneBinCaseThroughTheDoseCommand() {
        Form1& f = Start();
        auto& s = SharedState();
        s.KvHigh = 1;
        s.Spectrum[2] = 1;
        s.tables.tissue[2] = 1;
        for (int j = 1; j <= mirelo::kThicknesses; ++j) {
            s.tables.effEA[2][static_cast<std::size_t>(j)] = 0.5;
        }
        SetText(f.Text15, QStringLiteral("1"));
        const int pendingBefore = mirelo::PendingEventsProcessed();
        Click(f.Command3);
        QCOMPARE(mirelo::PendingEventsProcessed(), pendingBefore + 1);
        QCOMPARE(s.AreaDose, 1.0);
        QCOMPARE(f.Label14->text(), QStringLiteral("6.242E+12"));
        QStringList expected;
        for (int t = 10; t <= 30; t += 2) {
            expected.append(Arrowed(t, "5.000E-04"));
        }
        QCOMPARE(Lines(f.List1), expected);
        // Again: the list is replaced, not extended.
        Click(f.Command3);
        QCOMPARE(Lines(f.List1), expected);
    }

    void doseCommandOnAComputedSpectrum() {
        Form1& f = Start();
        SetVoltage(f, QStringLiteral("80"));
        ComputeSpectrum(f);
        SetText(f.Text15, QStringLiteral("25.3"));
        Click(f.Command3);
        const QStringList first = Lines(f.List1);
        QCOMPARE(first.size(), 11);
        QVERIFY(first[0].startsWith(QStringLiteral("       10     →     ")));
        QVERIFY(first[10].startsWith(QStringLiteral("       30     →     ")));
        QVERIFY(!f.Label14->text().isEmpty());
        const QString photons = f.Label14->text();

        // Empty field: refused, old results kept.
        SetText(f.Text15, QString());
        Click(f.Command3);
        auto shown = MessageBox::takeShown();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].kind, MessageBox::Kind::Warning);
        QCOMPARE(shown[0].text, QStringLiteral(" 面積線量が未入力です "));
        QCOMPARE(Lines(f.List1), first);
        QCOMPARE(f.Label14->text(), photons);
        QCOMPARE(SharedState().AreaDose, 25.3);

        // Infinite area dose: refused before anything changes.
        SetText(f.Text15, QStringLiteral("1e999"));
        Click(f.Command3);
        shown = MessageBox::takeShown();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].kind, MessageBox::Kind::Warning);
        QCOMPARE(shown[0].text, QStringLiteral(" 面積線量を正しく入力して下さい "));
        QCOMPARE(Lines(f.List1), first);
        QCOMPARE(f.Label14->text(), photons);
        QCOMPARE(SharedState().AreaDose, 25.3);

        // A blank reads as 0: zeros everywhere.
        SetText(f.Text15, QStringLiteral(" "));
        Click(f.Command3);
        QCOMPARE(f.Label14->text(), QStringLiteral("0.000E+00"));
        QCOMPARE(f.List1->count(), 11);
        for (const QString& line : Lines(f.List1)) {
            QVERIFY2(line.endsWith(QStringLiteral("→     0.000E+00")), qPrintable(line));
        }
    }

    void clearEmptiesTheResultsOnly() {
        Form1& f = Start();
        SetVoltage(f, QStringLiteral("80"));
        ComputeSpectrum(f);
        SetText(f.Text15, QStringLiteral("10"));
        Click(f.Command3);
        const QStringList lines = Lines(f.List1);
        const QString photons = f.Label14->text();
        QCOMPARE(lines.size(), 11);

        Click(f.Command4);
        QCOMPARE(f.List1->count(), 0);
        QVERIFY(f.Label14->text().isEmpty());
        QCOMPARE(f.Text15->text(), QStringLiteral("10"));
        QCOMPARE(f.Label7->text(), QStringLiteral("80"));
        QCOMPARE(f.Text1->text(), QStringLiteral("12"));
        QVERIFY(MessageBox::takeShown().isEmpty());

        Click(f.Command3);  // the same spectrum fills the results again
        QCOMPARE(Lines(f.List1), lines);
        QCOMPARE(f.Label14->text(), photons);
    }

    void doseWithoutSpectrumWarnsAndShowsNothing() {
        Form1& f = Start();
        SetVoltage(f, QStringLiteral("80"));
        f.List1->addItem(QStringLiteral("old line"));
        f.Label14->setText(QStringLiteral("old"));
        SetText(f.Text15, QStringLiteral("5"));
        Click(f.Command3);
        const auto shown = MessageBox::takeShown();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].kind, MessageBox::Kind::Warning);
        QCOMPARE(shown[0].text, QStringLiteral(" スペクトルデータがありません  "));
        QCOMPARE(f.List1->count(), 0);
        QVERIFY(f.Label14->text().isEmpty());
    }

    // Created on first use, reused while hidden, discarded when closed by its title bar.
    void tubeVoltageDialogLifecycle() {
        Form1& f = Start();
        Click(f.Command5);
        QPointer<Form4> first = f.TubeVoltageDialog();
        QVERIFY(!first.isNull());
        QVERIFY(first->windowFlags().testFlag(Qt::Tool));
        SetText(first->Text1, QStringLiteral("90"));
        Click(first->Command1);
        QVERIFY(first->isHidden());
        Click(f.Command5);
        QCOMPARE(f.TubeVoltageDialog(), first.data());
        QVERIFY(first->isVisible());
        QCOMPARE(first->Text1->text(), QStringLiteral("90"));
        Click(f.Command5);  // already open: the same dialog, unchanged
        QCOMPARE(f.TubeVoltageDialog(), first.data());

        SetText(first->Text1, QStringLiteral("70"));
        QVERIFY(first->close());
        QTRY_VERIFY(first.isNull());
        QVERIFY(f.TubeVoltageDialog() == nullptr);
        QCOMPARE(f.Label7->text(), QStringLiteral("90"));
        QCOMPARE(SharedState().KvLow, 90.0);

        Click(f.Command5);
        Form4* again = f.TubeVoltageDialog();
        QVERIFY(again != nullptr);
        QCOMPARE(again->Text1->text(), QStringLiteral("80"));  // design state
        QVERIFY(again->Option1->isChecked());
    }

    void exitAndCloseEndTheProgram() {
        Form1& f = Start();
        Click(f.Command1);
        QCOMPARE(calls_, QStringList{QStringLiteral("EndProgram")});
        calls_.clear();
        f.close();
        QCOMPARE(calls_, QStringList{QStringLiteral("EndProgram")});
    }

    // The real end: the event loop returns at once and every window is gone from the screen.
    void endingReallyStopsTheEventLoop_data() {
        QTest::addColumn<bool>("byCloseButton");
        QTest::newRow("終了") << false;
        QTest::newRow("close button") << true;
    }
    void endingReallyStopsTheEventLoop() {
        QFETCH(bool, byCloseButton);
        Form1& f = Start();
        f.endProgram = &mirelo::EndProgram;
        Click(f.Command5);
        QPointer<Form4> dialog = f.TubeVoltageDialog();
        QVERIFY(dialog->isVisible());
        QTimer::singleShot(0, &f, [&f, byCloseButton] {
            if (byCloseButton) {
                f.close();
            } else {
                QTest::mouseClick(f.Command1, Qt::LeftButton);
            }
        });
        QTimer::singleShot(10000, qApp, [] { QCoreApplication::exit(99); });  // a hang fails, not blocks
        QCOMPARE(QApplication::exec(), 0);
        QVERIFY(!f.isVisible());
        QVERIFY(!dialog.isNull());  // hidden, not asked to close
        QVERIFY(!dialog->isVisible());
        QVERIFY(MessageBox::takeShown().isEmpty());
    }
};

QTEST_MAIN(TestMainWindow)
#include "test_main_window.moc"
