#include <QAccessible>
#include <QApplication>
#include <QGroupBox>
#include <QPointer>
#include <QRadioButton>
#include <QSettings>
#include <QSignalBlocker>
#include <QScrollBar>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>
#include <QWindow>
#include <cmath>
#include <filesystem>
#include <memory>
#include <numeric>

#include "ui/main_window/main_window.h"
#include "ui/platform/language.h"
#include "ui/platform/message_box.h"
#include "dark_palette.h"
#include "ui/state/shared_state.h"

using mirelo::Form1;
using mirelo::Form4;
using mirelo::Form6;
using mirelo::MessageBox;

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


// Shows or hides the text of a control without any other effect.
void ShowText(QWidget* w, bool shown) {
    static QHash<QWidget*, QStringList> kept;
    const QSignalBlocker quiet(w);
    QStringList& texts = kept[w];
    if (auto* l = qobject_cast<QLabel*>(w)) {
        texts = shown ? texts : QStringList{l->text()};
        l->setText(shown ? texts.value(0) : QString());
    } else if (auto* b = qobject_cast<QAbstractButton*>(w)) {
        texts = shown ? texts : QStringList{b->text()};
        b->setText(shown ? texts.value(0) : QString());
    } else if (auto* g = qobject_cast<QGroupBox*>(w)) {
        texts = shown ? texts : QStringList{g->title()};
        g->setTitle(shown ? texts.value(0) : QString());
    } else if (auto* e = qobject_cast<QLineEdit*>(w)) {
        texts = shown ? texts : QStringList{e->text()};
        e->setText(shown ? texts.value(0) : QString());
    } else if (auto* list = qobject_cast<QListWidget*>(w)) {
        if (!shown) {
            texts = Lines(list);
            list->clear();
        } else {
            list->addItems(texts);
        }
    }
}

// The strongest contrast between a control's text and what lies under it: the window is rendered
// with and without the text and the pixels that differ are compared. 0 when nothing is drawn.
double TextContrast(QWidget* window, QWidget* w) {
    const QRect area(w->mapTo(window, QPoint(0, 0)), w->size());
    const QImage with = window->grab(area).toImage();
    ShowText(w, false);
    const QImage without = window->grab(area).toImage();
    ShowText(w, true);
    double best = 0;
    for (int y = 0; y < with.height(); ++y) {
        for (int x = 0; x < with.width(); ++x) {
            best = std::max(best, Contrast(with.pixelColor(x, y), without.pixelColor(x, y)));
        }
    }
    return best;
}

}  // namespace

class TestMainWindow : public QObject {
    Q_OBJECT

    std::unique_ptr<Form1> form_;
    QStringList calls_;  // what the spectrum window and the program end were asked to do

    // A loaded, shown main window whose spectrum window (unless real) and program end are recorded.
    Form1& Start(bool realSpectrumWindow = false) {
        QSettings().remove(QStringLiteral("areaDose/unit"));
        form_ = std::make_unique<Form1>();
        if (!realSpectrumWindow) {
            form_->drawSpectrum = [this] { calls_.append(QStringLiteral("DrawSpectrum")); };
            form_->showForm6 = [this] { calls_.append(QStringLiteral("ShowForm6")); };
        }
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
    void ComputeSpectrum(Form1& f, MessageBox::Answer answer = MessageBox::Answer::No) {
        MessageBox::setNextAnswer(answer);
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
        QCOMPARE(f.ClientArea->mapTo(&f, QPoint(0, 0)), QPoint(0, f.MenuBar->height()));
        QCOMPARE(f.size(), QSize(1174, 569 + f.MenuBar->height()));  // the whole design where the screen holds it
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
        for (QLabel* l : {f.Label1, f.Label2, f.Label3, f.Label4, f.Label5, f.Label9, f.Label13}) {
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

    // Help opens the guide in the program, at the part in the interface's language, and its link to
    // data.md is followed there.
    void guideAndAboutInTheProgram() {
        Form1& f = Start();
        f.GuideAction->trigger();
        QTextBrowser* guide = f.GuideWindow();
        QVERIFY(guide != nullptr);
        QTRY_VERIFY(guide->isVisible());
        QVERIFY(guide->toPlainText().contains(QStringLiteral("5 つの手順")));
        const int japanese = guide->verticalScrollBar()->value();
        guide->close();
        QTRY_VERIFY(f.GuideWindow() == nullptr);
        QVERIFY(mirelo::i18n::Apply(mirelo::i18n::Language::English));
        f.GuideAction->trigger();
        guide = f.GuideWindow();
        QTRY_VERIFY(guide != nullptr && guide->isVisible());
        QVERIFY2(guide->verticalScrollBar()->value() > japanese, "the English part is not shown first");
        guide->setSource(QUrl(QStringLiteral("data.md")));
        QVERIFY(guide->toPlainText().startsWith(QStringLiteral("Default coefficient tables: provenance")));
        QVERIFY(mirelo::i18n::Apply(mirelo::i18n::Language::Japanese));

    }

    void tabOrderFollowsTheDesign() {
        Form1& f = Start();
        const QList<QWidget*> order{f.Command1, f.Command2, f.Picture1, f.Text15, f.AreaUnitBox, f.Command5, f.Command9, f.Text1,
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
        form_->state().Spectrum[100] = 0.25;  // to see that nothing is computed
        Click(f.Command2);
        const auto shown = MessageBox::takeShown();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].kind, MessageBox::Kind::Warning);
        QCOMPARE(shown[0].text, QStringLiteral(" 未入力項目があります "));
        QCOMPARE(form_->state().TargetAngle, 12.0);
        QCOMPARE(form_->state().InherentFilter, 0.25);
        QCOMPARE(form_->state().FilterAl, 0.1);
        QCOMPARE(form_->state().FilterCu, 0.0);
        QCOMPARE(form_->state().Spectrum[100], 0.25);
        QVERIFY(calls_.isEmpty());
    }

    // A field is one whole number, optionally with the unit printed beside it; full-width digits
    // are the digits they are; an empty filter is no filter.
    void fieldsReadByTheReadingRule_data() {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("input");
        QTest::addColumn<double>("stored");  // in the store: cm for the filters, Gy·cm² for the area dose
        QTest::newRow("inherent 2.5mm") << "Text2" << "2.5mm" << 0.25;
        QTest::newRow("Al full-width") << "Text3" << "１．５" << 0.15;
        QTest::newRow("Al empty") << "Text3" << "" << 0.0;
        QTest::newRow("Cu 0.5 mm") << "Text4" << " 0.5 mm " << 0.05;
        QTest::newRow("angle 10度") << "Text1" << "10度" << 10.0;
        QTest::newRow("area dose 25 Gy·cm²") << "Text15" << "25 Gy·cm²" << 25.0;
        QTest::newRow("area dose 2.5E1") << "Text15" << "2.5E1" << 25.0;
    }
    void fieldsReadByTheReadingRule() {
        QFETCH(QString, field);
        QFETCH(QString, input);
        QFETCH(double, stored);
        Form1& f = Start();
        SetVoltage(f, QStringLiteral("80"));
        f.findChild<QLineEdit*>(field)->setText(input);
        ComputeSpectrum(f);
        const mirelo::Module1& s = form_->state();
        const double value = field == QLatin1String("Text1")   ? s.TargetAngle
                             : field == QLatin1String("Text2") ? s.InherentFilter
                             : field == QLatin1String("Text3") ? s.FilterAl
                             : field == QLatin1String("Text4") ? s.FilterCu
                                                               : -1;
        if (field == QLatin1String("Text15")) {
            Click(f.Command3);
            QCOMPARE(s.AreaDose, stored);
            QCOMPARE(f.List1->count(), 11);
        } else {
            QCOMPARE(value, stored);
        }
    }

    // The unit beside the area dose: the calculation, Label14 and List1 take Gy·cm², and the choice
    // is there again at the next start.
    void areaDoseUnitConvertsAndIsRemembered_data() {
        QTest::addColumn<QString>("unit");
        QTest::addColumn<QString>("input");
        QTest::addColumn<double>("gyCm2");
        QTest::newRow("Gy·cm²") << "Gy·cm²" << "12.5" << 12.5;
        QTest::newRow("dGy·cm²") << "dGy·cm²" << "125" << 12.5;
        QTest::newRow("cGy·cm²") << "cGy·cm²" << "1250" << 12.5;
        QTest::newRow("mGy·cm²") << "mGy·cm²" << "12500" << 12.5;
        QTest::newRow("µGy·m²") << "µGy·m²" << "1250 µGy·m²" << 12.5;
        QTest::newRow("Gy·m²") << "Gy·m²" << "0.00125" << 12.5;
    }
    void areaDoseUnitConvertsAndIsRemembered() {
        QFETCH(QString, unit);
        QFETCH(QString, input);
        QFETCH(double, gyCm2);
        Form1& f = Start();
        SetVoltage(f, QStringLiteral("80"));
        ComputeSpectrum(f);
        SetText(f.Text15, QString::number(gyCm2));
        Click(f.Command3);
        const QStringList inGy = Lines(f.List1);
        const QString photons = f.Label14->text();
        f.AreaUnitBox->setCurrentIndex(f.AreaUnitBox->findText(unit));
        QCOMPARE(f.AreaUnitBox->currentText(), unit);
        QCOMPARE(f.List1->count(), unit == QStringLiteral("Gy·cm²") ? 11 : 0);  // results of another unit go
        SetText(f.Text15, input);
        Click(f.Command3);
        QCOMPARE(form_->state().AreaDose, gyCm2);
        QCOMPARE(Lines(f.List1), inGy);
        QCOMPARE(f.Label14->text(), photons);
        QVERIFY(f.ShownRecord().has_value());
        QCOMPARE(QString::fromStdString(f.ShownRecord()->areaDoseEnteredUnit), unit);
        Form1 next;  // the next start offers the unit chosen last
        QCOMPARE(next.AreaUnitBox->currentText(), unit);
    }

    // Refused before anything is written, with the focus on the field to mend.
    void meaninglessInputsRefused_data() {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("message");
        const QString angle = QStringLiteral(" ターゲット角度を正しく入力して下さい ");
        const QString filter = QStringLiteral(" フィルタの厚さを正しく入力して下さい ");
        for (const char* a : {"0", "abc", "90", "-12", "180", "1e999"}) {
            QTest::addRow("angle %s", a) << "Text1" << a << angle;
        }
        QTest::newRow("inherent -0.5") << "Text2" << "-0.5" << filter;
        QTest::newRow("Al -1") << "Text3" << "-1" << filter;
        QTest::newRow("Al 1e999") << "Text3" << "1e999" << filter;
        QTest::newRow("Cu -0.1") << "Text4" << "-0.1" << filter;
        QTest::newRow("area dose -25") << "Text15" << "-25" << QStringLiteral(" 面積線量を正しく入力して下さい ");
        // Text that used to be read as its leading number, or as 0, without a word.
        QTest::newRow("Al 1,5") << "Text3" << "1,5" << filter;
        QTest::newRow("inherent 2,5") << "Text2" << "2,5" << filter;
        QTest::newRow("Cu abc") << "Text4" << "abc" << filter;
        QTest::newRow("Cu 0.1 cm") << "Text4" << "0.1 cm" << filter;
        QTest::newRow("angle 12.5.1") << "Text1" << "12.5.1" << angle;
        QTest::newRow("area dose l2.5") << "Text15" << "l2.5" << QStringLiteral(" 面積線量を正しく入力して下さい ");
        QTest::newRow("area dose 25 mGy·cm²") << "Text15" << "25 mGy·cm²" << QStringLiteral(" 面積線量を正しく入力して下さい ");
    }
    void meaninglessInputsRefused() {
        QFETCH(QString, field);
        QFETCH(QString, input);
        Form1& f = Start();
        SetVoltage(f, QStringLiteral("80"));
        ComputeSpectrum(f);
        SetText(f.Text15, QStringLiteral("1"));
        Click(f.Command3);
        const mirelo::Module1 before = form_->state();
        auto* edit = f.findChild<QLineEdit*>(field);
        SetText(edit, input);
        f.Command1->setFocus();
        Click(field == QLatin1String("Text15") ? f.Command3 : f.Command2);
        const auto shown = MessageBox::takeShown();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].kind, MessageBox::Kind::Warning);
        QTEST(shown[0].text, "message");
        QTRY_COMPARE(QApplication::focusWidget(), edit);
        const mirelo::Module1& after = form_->state();
        QCOMPARE(after.TargetAngle, before.TargetAngle);
        QCOMPARE(after.InherentFilter, before.InherentFilter);
        QCOMPARE(after.FilterAl, before.FilterAl);
        QCOMPARE(after.FilterCu, before.FilterCu);
        QCOMPARE(after.AreaDose, before.AreaDose);
        QCOMPARE(f.List1->count(), 0);
    }

    // Whatever is on screen belongs together: a changed input takes away what was computed from the
    // old one; the same text again, a moved focus or the same voltage again change nothing.
    void staleResultsGo_data() {
        QTest::addColumn<QString>("change");
        QTest::addColumn<bool>("spectrumGoes");
        QTest::addColumn<bool>("resultsGo");
        for (const char* field : {"Text1", "Text2", "Text3", "Text4"}) {
            QTest::newRow(field) << field << true << true;
        }
        QTest::newRow("voltage") << "voltage" << true << true;
        QTest::newRow("spread") << "spread" << true << true;
        QTest::newRow("area dose") << "Text15" << false << true;
        QTest::newRow("same texts, focus moved") << "same" << false << false;
        QTest::newRow("same voltage") << "same voltage" << false << false;
    }
    void staleResultsGo() {
        QFETCH(QString, change);
        QFETCH(bool, spectrumGoes);
        QFETCH(bool, resultsGo);
        Form1& f = Start(true);
        Click(f.Command5);
        Form4* d = f.TubeVoltageDialog();
        Click(d->Option2);  // 75 - 85, even
        Click(d->Command1);
        ComputeSpectrum(f, MessageBox::Answer::Yes);
        QVERIFY(f.SpectrumWindow()->isVisible());
        SetText(f.Text15, QStringLiteral("12.5"));
        Click(f.Command3);
        const QString photons = f.Label14->text();
        QCOMPARE(f.List1->count(), 11);

        if (change.startsWith(QLatin1String("Text"))) {
            f.findChild<QLineEdit*>(change)->setText(QStringLiteral("3"));
        } else if (change == QLatin1String("same")) {
            for (QLineEdit* e : {f.Text1, f.Text2, f.Text3, f.Text4, f.Text15}) {
                e->setText(e->text());
                e->setFocus();
                QTest::keyClick(e, Qt::Key_Tab);
            }
        } else {
            Click(f.Command5);
            if (change == QLatin1String("voltage")) {
                Click(d->Option1);
            } else if (change == QLatin1String("spread")) {
                Click(d->Option4);
            }
            Click(d->Command1);
        }
        QCOMPARE(form_->state().Spectrum == mirelo::BinArray{}, spectrumGoes);
        QCOMPARE(f.SpectrumWindow()->isVisible(), !spectrumGoes);
        QCOMPARE(f.List1->count(), resultsGo ? 0 : 11);
        QCOMPARE(f.Label14->text(), resultsGo ? QString() : photons);
        QVERIFY(MessageBox::takeShown().isEmpty());
        if (spectrumGoes) {  // nothing to compute from or show any more
            Click(f.Command3);
            Click(f.Command9);
            const auto shown = MessageBox::takeShown();
            QCOMPARE(shown.size(), 2);
            QCOMPARE(shown[0].text, QStringLiteral(" スペクトルデータがありません  "));
            QCOMPARE(shown[1].text, shown[0].text);
            QCOMPARE(f.List1->count(), 0);
        }
    }

    // The whole run without a mouse: Enter presses the focused button, in the dialog too.
    void keyboardOnlyRun() {
        Form1& f = Start();
        f.Command5->setFocus();
        QTest::keyClick(f.Command5, Qt::Key_Return);
        Form4* d = f.TubeVoltageDialog();
        QVERIFY(d != nullptr && d->isVisible());
        // Enter in a voltage field presses OK.
        d->Text1->setFocus();
        d->Text1->selectAll();
        QTest::keyClicks(d->Text1, QStringLiteral("90"));
        QTest::keyClick(d->Text1, Qt::Key_Return);
        QCOMPARE(f.Label7->text(), QStringLiteral("90"));
        QVERIFY(d->isHidden());
        QTest::keyClick(f.Command5, Qt::Key_Return);
        d->Text1->setText(QStringLiteral("80"));
        d->Command1->setFocus();
        QTest::keyClick(d->Command1, Qt::Key_Enter, Qt::KeypadModifier);
        QCOMPARE(f.Label7->text(), QStringLiteral("80"));
        QTRY_COMPARE(QApplication::focusWidget(), f.Command2);
        MessageBox::setNextAnswer(MessageBox::Answer::No);
        QTest::keyClick(f.Command2, Qt::Key_Return);
        QCOMPARE(MessageBox::takeShown().size(), 1);
        f.Text15->setFocus();
        QTest::keyClicks(f.Text15, QStringLiteral("12.5"));
        QTest::keyClick(f.Text15, Qt::Key_Return);
        QTRY_COMPARE(QApplication::focusWidget(), f.Command3);
        QTest::keyClick(f.Command3, Qt::Key_Return);
        QCOMPARE(f.List1->count(), 11);
        QTest::keyClick(f.Command9, Qt::Key_Return);
        QCOMPARE(calls_, QStringList{QStringLiteral("DrawSpectrum")});
        QTest::keyClick(f.Command4, Qt::Key_Return);
        QCOMPARE(f.List1->count(), 0);
    }

    // The dialog is a window of its own: activating the main window brings that to the front. The
    // spectrum window comes to the front whenever the spectrum is shown, also from behind.
    void windowsComeToTheFront() {
        Form1& f = Start(true);
        Click(f.Command5);
        Form4* d = f.TubeVoltageDialog();
        QTRY_VERIFY(d->isActiveWindow());
        QCOMPARE(d->windowType(), Qt::Window);
        QVERIFY(d->windowHandle()->transientParent() == nullptr);  // what keeps a window above another
        // A tool window all the same: the utility type gives it the small frame and keeps it out of
        // the task bar, without the transient link an X11 tool window gets.
        QVERIFY(d->testAttribute(Qt::WA_X11NetWmWindowTypeUtility));
        QVERIFY(!d->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
        f.activateWindow();
        QTRY_VERIFY(f.isActiveWindow());
        QVERIFY(d->isVisible());
        Click(d->Command1);

        ComputeSpectrum(f, MessageBox::Answer::Yes);
        QTRY_VERIFY(f.SpectrumWindow()->isActiveWindow());
        for (QPushButton* show : {f.Command9, f.Command2}) {
            f.activateWindow();
            QTRY_VERIFY(f.isActiveWindow());
            MessageBox::setNextAnswer(MessageBox::Answer::Yes);
            Click(show);
            QTRY_VERIFY(f.SpectrumWindow()->isActiveWindow());
        }
        MessageBox::takeShown();
    }

    // The spectrum window never shows, or saves, a spectrum other than the current one: a discarded
    // spectrum takes the window away, and a refused plot leaves it blank with nothing to save.
    void spectrumWindowFollowsTheSpectrum() {
        Form1& f = Start(true);
        SetVoltage(f, QStringLiteral("80"));
        ComputeSpectrum(f, MessageBox::Answer::Yes);
        Form6* w = f.SpectrumWindow();
        QVERIFY(w->isVisible() && w->Command2->isEnabled());
        SetVoltage(f, QStringLiteral("40"));
        ComputeSpectrum(f);
        QVERIFY(!w->isVisible());
        QVERIFY(!w->Command2->isEnabled());
        Click(f.Command9);
        QVERIFY(w->isVisible() && w->Command2->isEnabled());

        SetText(f.Text3, QStringLiteral("1e9"));  // absorbs everything
        MessageBox::setNextAnswer(MessageBox::Answer::Yes);
        Click(f.Command2);
        const auto shown = MessageBox::takeShown();
        QCOMPARE(shown.size(), 2);
        QCOMPARE(shown[1].text, QStringLiteral(" スペクトルデータがありません  "));
        QVERIFY(w->isVisible());
        QVERIFY(!w->Command2->isEnabled());
        QImage blank(w->Picture3->surface().image().size(), QImage::Format_RGB32);
        blank.fill(Qt::white);
        QCOMPARE(w->Picture3->surface().image(), blank);
    }

    // Under a dark desktop theme every caption stays readable: WCAG's 4.5:1, or 3:1 for large text
    // (18 pt and up). A label under a copy of itself is that copy's shadow, and disabled controls
    // are exempt.
    void readableUnderADarkTheme() {
        const QPalette before = QApplication::palette();
        QApplication::setPalette(DarkPalette());
        Form1& f = Start(true);
        Click(f.Command5);
        Click(f.TubeVoltageDialog()->Option2);
        Click(f.TubeVoltageDialog()->Command1);
        ComputeSpectrum(f, MessageBox::Answer::Yes);
        SetText(f.Text15, QStringLiteral("12.5"));
        Click(f.Command3);
        Click(f.Command5);
        f.ShowHvlFit();
        QStringList failures;
        for (QWidget* window : QList<QWidget*>{&f, f.TubeVoltageDialog(), f.SpectrumWindow(), f.HvlFit()}) {
            QVERIFY(QTest::qWaitForWindowExposed(window));
            for (QWidget* w : window->findChildren<QWidget*>()) {
                const auto* label = qobject_cast<QLabel*>(w);
                const bool shadow = label != nullptr && std::any_of(label->parentWidget()->children().begin(),
                    label->parentWidget()->children().end(), [label](QObject* o) {
                        auto* other = qobject_cast<QLabel*>(o);
                        return other != nullptr && other != label && other->text() == label->text() &&
                               other->geometry().intersects(label->geometry()) &&
                               label->parentWidget()->children().indexOf(o) > label->parentWidget()->children().indexOf(label);
                    });
                const auto* edit = qobject_cast<QLineEdit*>(w);
                const bool texted = (label && !label->text().isEmpty()) || (edit && !edit->text().isEmpty()) ||
                                    qobject_cast<QAbstractButton*>(w) || qobject_cast<QGroupBox*>(w) ||
                                    qobject_cast<QListWidget*>(w);
                if (!texted || shadow || !w->isEnabled() || !w->isVisibleTo(window)) {
                    continue;
                }
                const double ratio = TextContrast(window, w);
                if (ratio < (w->font().pointSizeF() >= 18 ? 3.0 : 4.5)) {
                    failures.append(QStringLiteral("%1.%2: %3").arg(window->objectName(), w->objectName()).arg(ratio, 0, 'f', 2));
                }
            }
        }
        QApplication::setPalette(before);
        MessageBox::takeShown();
        QVERIFY2(failures.isEmpty(), qPrintable(failures.join(QStringLiteral(", "))));
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
        QCOMPARE(f.Label7->text(), QStringLiteral("75 - 85 kV (均等)"));
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
        const auto& spectrum = form_->state().Spectrum;
        QVERIFY(std::abs(std::accumulate(spectrum.begin() + 2, spectrum.begin() + 171, 0.0) - 1.0) < 1e-9);
        QCOMPARE(form_->state().KvHigh, 85.0);

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
        QCOMPARE(form_->state().AreaDose, 0.0);
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
        auto& s = form_->state();
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

        // Pressed again on the same area dose: the same results.
        Click(f.Command3);
        QCOMPARE(Lines(f.List1), first);
        QCOMPARE(f.Label14->text(), photons);

        // Empty field: refused; the results of the old text went when it changed.
        SetText(f.Text15, QString());
        Click(f.Command3);
        auto shown = MessageBox::takeShown();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].kind, MessageBox::Kind::Warning);
        QCOMPARE(shown[0].text, QStringLiteral(" 面積線量が未入力です "));
        QCOMPARE(f.List1->count(), 0);
        QVERIFY(f.Label14->text().isEmpty());
        QCOMPARE(form_->state().AreaDose, 25.3);

        // Infinite area dose: refused before anything changes.
        SetText(f.Text15, QStringLiteral("1e999"));
        Click(f.Command3);
        shown = MessageBox::takeShown();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].kind, MessageBox::Kind::Warning);
        QCOMPARE(shown[0].text, QStringLiteral(" 面積線量を正しく入力して下さい "));
        QCOMPARE(form_->state().AreaDose, 25.3);

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
        QCOMPARE(form_->state().KvLow, 90.0);

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
