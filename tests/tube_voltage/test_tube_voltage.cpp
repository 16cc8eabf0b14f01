#include <QApplication>
#include <QPointer>
#include <QSignalSpy>
#include <QTest>
#include <memory>

#include "ui/platform/message_box.h"
#include "ui/state/shared_state.h"
#include "ui/tube_voltage/tube_voltage_dialog.h"

using mirelo::Form4;
using mirelo::MessageBox;

namespace {

// Stands in for the main window: records what the dialog writes into it.
struct RecordingPort : mirelo::TubeVoltagePort {
    QStringList captions;
    int focusRequests = 0;
    void SetTubeVoltageCaption(const QString& caption) override { captions.append(caption); }
    void FocusSpectrumCommand() override { ++focusRequests; }
    void TubeVoltageChanged() override {}  // the main window's tests follow what it does
};

// A setting no dialog would write, to see that a refusal writes nothing.
void SeedSetting(mirelo::Module1& s) {
    s.KvLow = -7;
    s.KvHigh = -7;
    s.KvMode = 9;
}

}  // namespace

class TestTubeVoltage : public QObject {
    Q_OBJECT

    RecordingPort port_;
    mirelo::Module1 state_;
    std::unique_ptr<Form4> form_;

    Form4& Open() {
        form_ = std::make_unique<Form4>(port_, state_);
        form_->show();
        if (!QTest::qWaitForWindowExposed(form_.get())) {
            qFatal("dialog not exposed");
        }
        return *form_;
    }
    void Click(QAbstractButton* b) { QTest::mouseClick(b, Qt::LeftButton); }
    void SetText(QLineEdit* field, const QString& text) {
        field->clear();
        if (text.toLatin1() == text.toUtf8()) {
            QTest::keyClicks(field, text);
        } else {
            field->setText(text);  // an input method's text; QTest types ASCII only
        }
    }

private slots:
    void init() {
        MessageBox::setScripted(true);
        port_ = RecordingPort{};
        state_ = mirelo::Module1{};
        SeedSetting(state_);
    }
    void cleanup() { form_.reset(); }

    void designState() {
        Form4& f = Open();
        QCOMPARE(f.windowTitle(), QStringLiteral("  管電圧の設定"));
        QVERIFY(!f.windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
        QVERIFY(!f.windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
        QCOMPARE(f.size(), QSize(637, 437));  // 9555 x 6555 twips
        QCOMPARE(f.minimumSize(), f.maximumSize());
        QVERIFY(f.Option1->isChecked());
        QVERIFY(!f.Option2->isChecked());
        QCOMPARE(f.Text1->text(), QStringLiteral("80"));
        QVERIFY(f.Text1->isEnabled());
        QCOMPARE(f.Text2->text(), QStringLiteral("75"));
        QCOMPARE(f.Text3->text(), QStringLiteral("85"));
        QVERIFY(!f.Text2->isEnabled());
        QVERIFY(!f.Text3->isEnabled());
        QVERIFY(f.Option3->isChecked());
        QVERIFY(!f.Option3->isEnabled());
        QVERIFY(!f.Option4->isChecked());
        QVERIFY(!f.Option4->isEnabled());
        QCOMPARE(f.Option1->text(), QStringLiteral("固 定"));
        QCOMPARE(f.Option2->text(), QStringLiteral("変 動"));
        QCOMPARE(f.Frame2->title(), QStringLiteral(" 各管電圧の電流・時間積の変動状況 "));
        QCOMPARE(f.Option4->text(), QStringLiteral("中央値を中心にして正規分布状に変動"));
        QCOMPARE(f.Command1->palette().color(QPalette::Button), QColor(255, 255, 192));
        // Positions relative to their frames, in twips / 15.
        QCOMPARE(f.Frame1->geometry(), QRect(40, 64, 553, 297));
        QCOMPARE(f.Text2->geometry(), QRect(144, 88, 89, 37));
        QCOMPARE(f.Frame2->parentWidget(), f.Frame1);
        QCOMPARE(f.Picture1->parentWidget(), f.Frame2);
        QCOMPARE(f.Command1->geometry(), QRect(256, 376, 113, 41));
        QCOMPARE(f.findChild<QLineEdit*>(QStringLiteral("Text3")), f.Text3);
        QCOMPARE(f.findChild<QRadioButton*>(QStringLiteral("Option4")), f.Option4);
    }

    // The two option pairs are separate groups: choosing the distribution leaves "変 動" selected.
    void twoIndependentGroups() {
        Form4& f = Open();
        Click(f.Option2);
        Click(f.Option4);
        QVERIFY(f.Option2->isChecked());
        QVERIFY(f.Option4->isChecked());
        QVERIFY(!f.Option3->isChecked());
        QVERIFY(!f.Option1->isChecked());
    }

    // Clicking the option that is already selected keeps it selected, in both groups.
    void selectedOptionStaysSelected() {
        Form4& f = Open();
        Click(f.Option1);
        QVERIFY(f.Option1->isChecked());
        QVERIFY(!f.Option2->isChecked());
        Click(f.Option2);
        Click(f.Option3);
        QVERIFY(f.Option3->isChecked());
        QVERIFY(!f.Option4->isChecked());
        Click(f.Option2);
        QVERIFY(f.Option2->isChecked());
        QVERIFY(!f.Option1->isChecked());
    }

    void enablingRules() {
        Form4& f = Open();
        Click(f.Option2);
        QVERIFY(!f.Text1->isEnabled());
        QVERIFY(f.Text2->isEnabled() && f.Text3->isEnabled());
        QVERIFY(f.Option3->isEnabled() && f.Option4->isEnabled());
        Click(f.Option4);
        SetText(f.Text2, QStringLiteral("60"));
        Click(f.Option1);
        QVERIFY(f.Text1->isEnabled());
        QVERIFY(!f.Text2->isEnabled() && !f.Text3->isEnabled());
        QVERIFY(!f.Option3->isEnabled() && !f.Option4->isEnabled());
        QVERIFY(f.Option4->isChecked());                  // the choice stays while disabled
        QCOMPARE(f.Text2->text(), QStringLiteral("60"));  // texts untouched
        // Back to "変 動": always starts again from the even spread.
        Click(f.Option2);
        QVERIFY(f.Option3->isChecked());
        QVERIFY(!f.Option4->isChecked());
    }

    void okAtOnceSetsEighty() {
        Form4& f = Open();
        Click(f.Command1);
        QCOMPARE(state_.KvLow, 80.0);
        QCOMPARE(state_.KvHigh, 80.0);
        QCOMPARE(state_.KvMode, 1);
        QCOMPARE(port_.captions, QStringList{QStringLiteral("80")});
        QCOMPARE(port_.focusRequests, 1);
        QVERIFY(f.isHidden());
        QVERIFY(MessageBox::takeShown().isEmpty());
    }

    void accepted_data() {
        QTest::addColumn<bool>("range");
        QTest::addColumn<bool>("normal");
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("second");
        QTest::addColumn<double>("low");
        QTest::addColumn<double>("high");
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("caption");
        QTest::newRow("range, even") << true << false << "75" << "85" << 75.0 << 85.0 << 1 << "75 - 85 kV (均等)";
        QTest::newRow("range, normal") << true << true << "75" << "85" << 75.0 << 85.0 << 2 << "75 - 85 kV (正規分布)";
        QTest::newRow("empty lower field") << true << false << "" << "85" << 0.0 << 85.0 << 1 << "0 - 85 kV (均等)";
        QTest::newRow("range up to the grid's end") << true << false << "149.5" << "150" << 149.5 << 150.0 << 1
                                                    << "149.5 - 150 kV (均等)";
        QTest::newRow("fixed blank") << false << false << " " << "" << 0.0 << 0.0 << 1 << "0";
        QTest::newRow("fixed full-width") << false << false << "８０ｋＶ" << "" << 80.0 << 80.0 << 1 << "80";
        QTest::newRow("fixed 80.5") << false << false << "80.5" << "" << 80.5 << 80.5 << 1 << "80.5";
        QTest::newRow("fixed 150") << false << false << "150" << "" << 150.0 << 150.0 << 1 << "150";
        QTest::newRow("fixed with unit") << false << false << "7 0kV" << "" << 70.0 << 70.0 << 1 << "70";
    }
    void accepted() {
        QFETCH(bool, range);
        QFETCH(bool, normal);
        QFETCH(QString, first);
        QFETCH(QString, second);
        Form4& f = Open();
        if (range) {
            Click(f.Option2);
            if (normal) {
                Click(f.Option4);
            }
            SetText(f.Text2, first);
            SetText(f.Text3, second);
        } else {
            SetText(f.Text1, first);
        }
        Click(f.Command1);
        QVERIFY(MessageBox::takeShown().isEmpty());
        QTEST(state_.KvLow, "low");
        QTEST(state_.KvHigh, "high");
        QTEST(state_.KvMode, "mode");
        QFETCH(QString, caption);
        QCOMPARE(port_.captions, QStringList{caption});
        QVERIFY(f.isHidden());
        QCOMPARE(port_.focusRequests, 1);
    }

    void refused_data() {
        QTest::addColumn<bool>("range");
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("second");
        QTest::newRow("fixed empty") << false << "" << "";
        QTest::newRow("range equal") << true << "80" << "80";
        QTest::newRow("range reversed") << true << "85" << "75";
        QTest::newRow("range both empty") << true << "" << "";
        QTest::newRow("fixed below 0") << false << "-1" << "";
        QTest::newRow("fixed above 150") << false << "150.5" << "";
        QTest::newRow("fixed infinite") << false << "1e999" << "";
        QTest::newRow("range below 0") << true << "-60" << "85";
        QTest::newRow("range above 150") << true << "100" << "151";
        QTest::newRow("range infinite") << true << "75" << "1e400";
        // Text that used to be read as its leading number, or as 0.
        QTest::newRow("fixed letters") << false << "abc" << "";
        QTest::newRow("fixed decimal comma") << false << "80,5" << "";
        QTest::newRow("fixed another unit") << false << "80 V" << "";
        QTest::newRow("range decimal comma") << true << "75" << "85,5";
        QTest::newRow("range letter l for 1") << true << "l00" << "120";
    }
    void refused() {
        QFETCH(bool, range);
        QFETCH(QString, first);
        QFETCH(QString, second);
        Form4& f = Open();
        if (range) {
            Click(f.Option2);
            SetText(f.Text2, first);
            SetText(f.Text3, second);
        } else {
            SetText(f.Text1, first);
        }
        Click(f.Command1);
        const auto shown = MessageBox::takeShown();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].kind, MessageBox::Kind::Warning);
        QCOMPARE(shown[0].text, QStringLiteral(" 管電圧を正しく入力して下さい "));
        QCOMPARE(state_.KvLow, -7.0);
        QCOMPARE(state_.KvHigh, -7.0);
        QCOMPARE(state_.KvMode, 9);
        QVERIFY(port_.captions.isEmpty());
        QCOMPARE(port_.focusRequests, 0);
        QVERIFY(f.isVisible());
    }

    // Hidden by OK, the dialog keeps what the user left in it.
    void hidingKeepsContents() {
        Form4& f = Open();
        Click(f.Option2);
        Click(f.Option4);
        SetText(f.Text3, QStringLiteral("95"));
        Click(f.Command1);
        QVERIFY(f.isHidden());
        f.show();
        QVERIFY(f.Option2->isChecked());
        QVERIFY(f.Option4->isChecked());
        QCOMPARE(f.Text3->text(), QStringLiteral("95"));
        QVERIFY(f.Text3->isEnabled());
        QCOMPARE(state_.KvMode, 2);
    }

    // Closed by its title bar, the dialog writes nothing and goes away.
    void closingDiscards() {
        Form4& f = Open();
        SetText(f.Text1, QStringLiteral("66"));
        QPointer<Form4> watch(&f);
        std::ignore = form_.release();  // the dialog deletes itself now
        QVERIFY(watch->close());
        QTRY_VERIFY(watch.isNull());
        QCOMPARE(state_.KvLow, -7.0);
        QVERIFY(port_.captions.isEmpty());
        QCOMPARE(port_.focusRequests, 0);
    }

    // Tab visits the enabled controls in the design's order, the picture last, and each pair of
    // options once, at its selected option; a focused picture shows a focus frame.
    void tabOrder_data() {
        QTest::addColumn<bool>("range");
        QTest::addColumn<QStringList>("order");
        const auto names = [](const char* list) { return QString::fromLatin1(list).split(QLatin1Char(' ')); };
        QTest::newRow("fixed") << false << names("Option1 Text1 Command1 Picture1 Option1");
        QTest::newRow("range") << true << names("Option2 Text2 Text3 Command1 Option3 Picture1 Option2");
    }
    void tabOrder() {
        QFETCH(bool, range);
        QFETCH(QStringList, order);
        Form4& f = Open();
        QVERIFY(QTest::qWaitForWindowActive(&f));
        if (range) {
            Click(f.Option2);
        }
        const QImage unfocused = f.Picture1->grab().toImage();
        (range ? f.Option2 : f.Option1)->setFocus();
        QStringList visited{QApplication::focusWidget()->objectName()};
        while (visited.size() < order.size()) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            visited.append(QApplication::focusWidget()->objectName());
            if (QApplication::focusWidget() == f.Picture1) {
                QVERIFY(f.Picture1->grab().toImage() != unfocused);
            }
        }
        QCOMPARE(visited, order);
        QTest::keyClick(QApplication::focusWidget(), range ? Qt::Key_Up : Qt::Key_Down);  // the arrows choose within a pair
        QCOMPARE(QApplication::focusWidget(), range ? f.Option1 : f.Option2);
        QVERIFY(QApplication::focusWidget()->property("checked").toBool());
    }

    // Esc is the title bar's close: nothing written, the dialog gone, from any control.
    void escapeCancels_data() {
        QTest::addColumn<QString>("control");
        QTest::newRow("field") << "Text1";
        QTest::newRow("option") << "Option1";
        QTest::newRow("OK") << "Command1";
    }
    void escapeCancels() {
        QFETCH(QString, control);
        Form4& f = Open();
        SetText(f.Text1, QStringLiteral("66"));
        QPointer<Form4> watch(&f);
        std::ignore = form_.release();
        QTest::keyClick(f.findChild<QWidget*>(control), Qt::Key_Escape);
        QTRY_VERIFY(watch.isNull());
        QCOMPARE(state_.KvLow, -7.0);
        QVERIFY(port_.captions.isEmpty());
    }

    void accessibleNames() {
        Form4& f = Open();
        QCOMPARE(f.Text1->accessibleName(), QStringLiteral("固定の管電圧 (kV)"));
        QVERIFY(!f.Text2->accessibleName().isEmpty());
        QVERIFY(f.Text2->accessibleName() != f.Text3->accessibleName());
    }
};

QTEST_MAIN(TestTubeVoltage)
#include "test_tube_voltage.moc"
