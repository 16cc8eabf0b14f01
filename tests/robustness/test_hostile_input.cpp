// Whatever is typed or whatever a table holds, the program answers with a clear message or a sound
// result: no crash, no hang, no NaN or infinity anywhere a user can see it or in the store.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>
#include <filesystem>
#include <memory>

#include "ui/main_window/main_window.h"
#include "ui/platform/message_box.h"
#include "ui/state/shared_state.h"
#include "common/numeric_reading.h"
#include "ui/spectrum_window/form6.h"
#include "ui/tube_voltage/tube_voltage_dialog.h"

using namespace Qt::Literals::StringLiterals;
using mirelo::Form1;
using mirelo::MessageBox;

namespace {

const std::filesystem::path kData = MIRELO_DATA_DIR;

// The outcome a row of the table expects.
const QString kComputed = QStringLiteral("computed");
const QString kNoData = QStringLiteral(" スペクトルデータがありません  ");
const QString kBadAngle = QStringLiteral(" ターゲット角度を正しく入力して下さい ");
const QString kBadFilter = QStringLiteral(" フィルタの厚さを正しく入力して下さい ");
const QString kBadVoltage = QStringLiteral(" 管電圧を正しく入力して下さい ");
const QString kBadAreaDose = QStringLiteral(" 面積線量を正しく入力して下さい ");
const QString kNoAreaDose = QStringLiteral(" 面積線量が未入力です ");
const QString kQuestion = QStringLiteral("  Ｘ線スペクトルを表示しますか？ 　");

const QString kLong = QString(5000, QLatin1Char('7'));           // reads as infinity
const QString kLongDecimal = QStringLiteral("0.") + QString(5000, QLatin1Char('1'));  // reads as 0.111...

bool LooksNonFinite(const QString& text) {
    const QString t = text.toLower();
    return t.contains(QLatin1String("nan")) || t.contains(QLatin1String("inf"));
}

}  // namespace

class TestHostileInput : public QObject {
    Q_OBJECT

    std::unique_ptr<Form1> form_;

    Form1& Start(const std::filesystem::path& tables = kData) {
        form_ = std::make_unique<Form1>();
        form_->endProgram = [] {};
        QString error;
        if (!form_->Form_Load({tables}, error)) {
            qFatal("%s", qPrintable(error));
        }
        form_->show();
        return *form_;
    }

    static void Click(QAbstractButton* b) { QTest::mouseClick(b, Qt::LeftButton); }

    // Sets a fixed voltage or a range through the real dialog; returns the message shown, if any.
    QString SetVoltage(const QString& low, const QString& high = QString()) {
        Click(form_->Command5);
        mirelo::Form4* d = form_->TubeVoltageDialog();
        if (high.isNull()) {
            Click(d->Option1);
            d->Text1->setText(low);
        } else {
            Click(d->Option2);
            d->Text2->setText(low);
            d->Text3->setText(high);
        }
        MessageBox::takeShown();
        Click(d->Command1);
        const auto shown = MessageBox::takeShown();
        return shown.isEmpty() ? kComputed : shown.front().text;
    }

    // Runs the spectrum command, answering Yes; the outcome is the last message other than the
    // question, or "computed" when the spectrum was plotted.
    QString ComputeSpectrum() {
        MessageBox::takeShown();
        MessageBox::setNextAnswer(MessageBox::Answer::Yes);
        Click(form_->Command2);
        QString outcome = kComputed;
        for (const auto& m : MessageBox::takeShown()) {
            if (m.text != kQuestion) {
                outcome = m.text;
            }
        }
        return outcome;
    }

    QString ComputeDose(const QString& areaDose) {
        form_->Text15->setText(areaDose);
        MessageBox::takeShown();
        Click(form_->Command3);
        const auto shown = MessageBox::takeShown();
        return shown.isEmpty() ? kComputed : shown.front().text;
    }

    // Nothing a user can see, and nothing in the store, is NaN or infinite.
    void CheckSound() {
        const mirelo::Module1& s = form_->state();
        for (int i = 0; i <= mirelo::kBins; ++i) {
            QVERIFY2(std::isfinite(s.Spectrum[i]) && s.Spectrum[i] >= 0, qPrintable(QString::number(i)));
        }
        QVERIFY(std::isfinite(s.KvLow) && std::isfinite(s.KvHigh));
        QList<QWidget*> windows{form_.get()};
        if (form_->SpectrumWindow() != nullptr) {
            windows.append(form_->SpectrumWindow());
        }
        for (QWidget* w : windows) {
            for (QLabel* l : w->findChildren<QLabel*>()) {
                QVERIFY2(!LooksNonFinite(l->text()), qPrintable(l->objectName() + QStringLiteral(": ") + l->text()));
            }
        }
        for (int i = 0; i < form_->List1->count(); ++i) {
            QVERIFY2(!LooksNonFinite(form_->List1->item(i)->text()), qPrintable(form_->List1->item(i)->text()));
        }
    }

    static void AddTextRows(const char* field, const QList<QPair<QString, QString>>& inputsAndOutcomes) {
        for (const auto& [input, outcome] : inputsAndOutcomes) {
            const QString tag = QString::fromLatin1(field) + QStringLiteral(" = ") +
                                (input.size() > 20 ? input.left(8) + QStringLiteral("...") : input);
            QTest::newRow(qPrintable(tag)) << QString::fromLatin1(field) << input << outcome;
        }
    }

private slots:
    void init() { MessageBox::setScripted(true); }
    void cleanup() {
        form_.reset();  // its spectrum window goes with it
        MessageBox::setScripted(false);
    }

    // Beam-condition fields: typed text, 80 kV, spectrum command with Yes.
    void beamFields_data() {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("outcome");
        AddTextRows("Text1", {{u""_qs, kBadAngle}, {u" "_qs, kBadAngle}, {u"abc"_qs, kBadAngle}, {u"１２"_qs, kComputed},
                              {u"1e999"_qs, kBadAngle}, {u"-1e999"_qs, kBadAngle}, {u"nan"_qs, kBadAngle}, {kLong, kBadAngle},
                              {kLongDecimal, kComputed}, {u"-12"_qs, kBadAngle}, {u"0"_qs, kBadAngle}, {u"89.9"_qs, kComputed},
                              {u"90"_qs, kBadAngle}, {u"180"_qs, kBadAngle}, {u"360"_qs, kBadAngle}});
        for (const char* filter : {"Text2", "Text3", "Text4"}) {
            AddTextRows(filter, {{u""_qs, kComputed}, {u" "_qs, kComputed}, {u"abc"_qs, kBadFilter}, {u"０．５"_qs, kComputed},
                                 {u"1e999"_qs, kBadFilter}, {u"-1e999"_qs, kBadFilter}, {u"nan"_qs, kBadFilter},
                                 {kLong, kBadFilter}, {kLongDecimal, kComputed}, {u"0"_qs, kComputed},
                                 {u"1000"_qs, kComputed}, {u"-1000"_qs, kBadFilter}, {u"-0.5"_qs, kBadFilter}});
        }
    }
    void beamFields() {
        QFETCH(QString, field);
        QFETCH(QString, input);
        QFETCH(QString, outcome);
        Form1& f = Start();
        QCOMPARE(SetVoltage(QStringLiteral("80")), kComputed);
        f.findChild<QLineEdit*>(field)->setText(input);
        QCOMPARE(ComputeSpectrum(), outcome);
        CheckSound();
        if (outcome == kComputed) {
            QVERIFY(form_->SpectrumWindow() != nullptr && form_->SpectrumWindow()->isVisible());
            QCOMPARE(ComputeDose(QStringLiteral("10")), kComputed);
            QCOMPARE(f.List1->count(), 11);
            CheckSound();
        }
    }

    // The area dose, on the 80 kV spectrum of the default beam.
    void areaDose_data() {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("outcome");
        AddTextRows("Text15", {{u""_qs, kNoAreaDose}, {u" "_qs, kComputed}, {u"abc"_qs, kBadAreaDose}, {u"１２．５"_qs, kComputed},
                               {u"1e999"_qs, kBadAreaDose}, {u"-1e999"_qs, kBadAreaDose}, {u"nan"_qs, kBadAreaDose},
                               {kLong, kBadAreaDose}, {kLongDecimal, kComputed}, {u"-5"_qs, kBadAreaDose},
                               {u"0"_qs, kComputed}, {u"1e305"_qs, kBadAreaDose}});
    }
    // The earlier results go as soon as the text changes; a refused area dose shows none.
    void areaDose() {
        QFETCH(QString, input);
        QFETCH(QString, outcome);
        Form1& f = Start();
        QCOMPARE(SetVoltage(QStringLiteral("80")), kComputed);
        QCOMPARE(ComputeSpectrum(), kComputed);
        QCOMPARE(ComputeDose(QStringLiteral("1")), kComputed);
        QCOMPARE(ComputeDose(input), outcome);
        CheckSound();
        QCOMPARE(f.List1->count(), outcome == kComputed ? 11 : 0);
        QCOMPARE(f.Label14->text().isEmpty(), outcome != kComputed);
    }

    // Spectra with few photons or only hard ones are plotted like any other.
    void lowAndHardSpectraArePlotted_data() {
        QTest::addColumn<QString>("kv");
        QTest::addColumn<QString>("copperMm");
        QTest::newRow("25 kV") << u"25"_qs << u"0"_qs;
        QTest::newRow("29.5 kV") << u"29.5"_qs << u"0"_qs;
        QTest::newRow("150 kV behind 3 mm Cu") << u"150"_qs << u"3"_qs;
    }
    void lowAndHardSpectraArePlotted() {
        QFETCH(QString, kv);
        QFETCH(QString, copperMm);
        Form1& f = Start();
        QCOMPARE(SetVoltage(kv), kComputed);
        f.Text4->setText(copperMm);
        QCOMPARE(ComputeSpectrum(), kComputed);
        QVERIFY(f.SpectrumWindow()->isVisible() && f.SpectrumWindow()->Command2->isEnabled());
        QCOMPARE(ComputeDose(QStringLiteral("10")), kComputed);
        CheckSound();
    }

    // The tube-voltage dialog's fields, fixed and as a range; then the spectrum command.
    void tubeVoltage_data() {
        QTest::addColumn<bool>("range");
        QTest::addColumn<QString>("low");
        QTest::addColumn<QString>("high");
        QTest::addColumn<QString>("dialog");
        QTest::addColumn<QString>("spectrum");
        const QString fixed = u"(fixed)"_qs;  // no upper field: a fixed voltage
        const QList<std::tuple<const char*, QString, QString, QString, QString>> rows{
            {"fixed empty", u""_qs, fixed, kBadVoltage, QString()},
            {"fixed blank", u" "_qs, fixed, kComputed, kNoData},
            {"fixed letters", u"abc"_qs, fixed, kBadVoltage, QString()},
            {"fixed full-width", u"７０．５"_qs, fixed, kComputed, kComputed},
            {"fixed 1e999", u"1e999"_qs, fixed, kBadVoltage, QString()},
            {"fixed -1e999", u"-1e999"_qs, fixed, kBadVoltage, QString()},
            {"fixed nan", u"nan"_qs, fixed, kBadVoltage, QString()},
            {"fixed long", kLong, fixed, kBadVoltage, QString()},
            {"fixed negative", u"-5"_qs, fixed, kBadVoltage, QString()},
            {"fixed 0", u"0"_qs, fixed, kComputed, kNoData},
            {"fixed 0.4", u"0.4"_qs, fixed, kComputed, kNoData},
            {"fixed 70", u"70"_qs, fixed, kComputed, kComputed},
            {"fixed 70.5", u"70.5"_qs, fixed, kComputed, kComputed},
            {"fixed 150", u"150"_qs, fixed, kComputed, kComputed},
            {"fixed 150.5", u"150.5"_qs, fixed, kBadVoltage, QString()},
            {"range empty low", u""_qs, u"85"_qs, kComputed, kComputed},
            {"range both empty", u""_qs, u""_qs, kBadVoltage, QString()},
            {"range letters", u"abc"_qs, u"xyz"_qs, kBadVoltage, QString()},
            {"range 1e999 high", u"75"_qs, u"1e999"_qs, kBadVoltage, QString()},
            {"range -1e999 low", u"-1e999"_qs, u"85"_qs, kBadVoltage, QString()},
            {"range long high", u"75"_qs, kLong, kBadVoltage, QString()},
            {"range negative low", u"-5"_qs, u"85"_qs, kBadVoltage, QString()},
            {"range 75.3 - 80", u"75.3"_qs, u"80"_qs, kComputed, kComputed},
            {"range 75 - 80.3", u"75"_qs, u"80.3"_qs, kComputed, kComputed},
            {"range 0.5 - 150", u"0.5"_qs, u"150"_qs, kComputed, kComputed},
            {"range 149.7 - 150.2", u"149.7"_qs, u"150.2"_qs, kBadVoltage, QString()},
            {"range reversed", u"85"_qs, u"75"_qs, kBadVoltage, QString()},
        };
        for (const auto& [tag, low, high, dialog, spectrum] : rows) {
            QTest::newRow(tag) << (high != fixed) << low << high << dialog << spectrum;
        }
    }
    void tubeVoltage() {
        QFETCH(bool, range);
        QFETCH(QString, low);
        QFETCH(QString, high);
        QFETCH(QString, dialog);
        QFETCH(QString, spectrum);
        Form1& f = Start();
        QCOMPARE(SetVoltage(low, range ? high : QString()), dialog);
        if (dialog != kComputed) {
            QVERIFY(f.Label7->text().isEmpty());  // nothing written
            QCOMPARE(form_->state().KvHigh, 0.0);
            return;
        }
        QVERIFY(form_->state().KvLow >= 0 && form_->state().KvHigh <= 150);
        QCOMPARE(ComputeSpectrum(), spectrum);
        CheckSound();
        const QString dose = ComputeDose(QStringLiteral("10"));
        QCOMPARE(dose, spectrum == kComputed ? kComputed : kNoData);
        CheckSound();
    }

    // Coefficient files: what start-up says, and that accepted tables give sound results.
    void tableFiles_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("error");
        QFile att(QString::fromStdString((kData / "Att_coeff2021.dat").string()));
        QVERIFY(att.open(QIODevice::ReadOnly));
        const QByteArray good = att.readAll();
        QByteArray nanValue = good;
        nanValue.replace(nanValue.indexOf(','), 1, ",nan,");
        QByteArray infValue = good;
        infValue.replace(infValue.indexOf(','), 1, ",inf,");
        QByteArray hugeValue = good;
        hugeValue.replace(hugeValue.indexOf(','), 1, ",1e999,");
        QByteArray finiteHuge = good;
        finiteHuge.replace(",", " ");  // blanks as separators
        const qsizetype tungsten = finiteHuge.indexOf(' ') + 1;  // and a huge tungsten value
        finiteHuge.replace(tungsten, finiteHuge.indexOf(' ', tungsten) - tungsten, "1e300");
        finiteHuge = QByteArray(" ") + finiteHuge;
        const QString f = QStringLiteral("Att_coeff2021.dat");
        QTest::newRow("missing") << f << QByteArray() << QStringLiteral("Att_coeff2021.dat: file not found");
        QTest::newRow("empty") << f << QByteArray("") << QStringLiteral("Att_coeff2021.dat: 0 of 2100 values");
        QTest::newRow("short") << f << good.left(good.lastIndexOf('\n', good.size() - 2) + 1)
                               << QStringLiteral("Att_coeff2021.dat: 2093 of 2100 values");
        QTest::newRow("nan") << f << nanValue << QStringLiteral("Att_coeff2021.dat: value 2 (line 1) is not a number: \"nan\"");
        QTest::newRow("inf") << f << infValue << QStringLiteral("Att_coeff2021.dat: value 2 (line 1) is not a number: \"inf\"");
        QTest::newRow("1e999") << f << hugeValue << QStringLiteral("Att_coeff2021.dat: value 2 (line 1) is too large: \"1e999\"");
        QTest::newRow("byte-order mark") << f << QByteArray("\xEF\xBB\xBF") + good << QString();
        QTest::newRow("blanks and 1e300") << f << finiteHuge << QString();
        QByteArray decimalComma = good;  // "5.5" on line 11 written "5,5": every later value shifts
        decimalComma.replace(decimalComma.indexOf("\n5.5,") + 1, 3, "5,5");
        QTest::newRow("decimal comma") << f << decimalComma
                                       << QStringLiteral("Att_coeff2021.dat: line 11: energy 5 where 5.5 was expected");
        // Values no physics gives: refused with the file, the line and what was expected.
        QByteArray negative = good;  // the aluminium coefficient of 1 keV, on line 2
        negative.replace(negative.indexOf("3.198895e+03"), 12, "-3.198895e+03");
        QTest::newRow("negative coefficient") << f << negative
            << QStringLiteral("Att_coeff2021.dat: value 10 (line 2) is -3198.895, where an attenuation coefficient of 0 or more was expected");
        QFile eff(QString::fromStdString((kData / "effEA.dat").string()));
        QVERIFY(eff.open(QIODevice::ReadOnly));
        const QByteArray goodEff = eff.readAll();
        QByteArray above = goodEff;
        above.replace(above.indexOf(",1.000000e+00"), 13, ",1.2");
        QTest::newRow("fraction above 1") << QStringLiteral("effEA.dat") << above
            << QStringLiteral("effEA.dat: value 2 (line 1) is 1.2, where an absorbed-energy fraction from 0 to 1 was expected");
        QByteArray below = goodEff;
        below.replace(below.indexOf(",9.998800e-01"), 13, ",-0.01");
        QTest::newRow("fraction below 0") << QStringLiteral("effEA.dat") << below
            << QStringLiteral("effEA.dat: value 14 (line 2) is -0.01, where an absorbed-energy fraction from 0 to 1 was expected");
    }
    void tableFiles() {
        QFETCH(QString, file);
        QFETCH(QByteArray, content);
        QFETCH(QString, error);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        for (const char* other : {"Att_coeff2021.dat", "effEA.dat"}) {
            if (file != QLatin1String(other)) {
                std::filesystem::copy_file(kData / other, dir.filePath(QLatin1String(other)).toStdString());
            }
        }
        if (!content.isNull()) {
            QFile out(dir.filePath(file));
            QVERIFY(out.open(QIODevice::WriteOnly));
            out.write(content);
        }
        Form1 probe;
        probe.endProgram = [] {};
        QString why;
        const bool loaded = probe.Form_Load({dir.path().toStdString()}, why);
        if (!error.isEmpty()) {
            QVERIFY(!loaded);
            QVERIFY2(why.startsWith(error), qPrintable(why));
            QCOMPARE(probe.state().tables.w[1], 0.0);  // no partly filled table
            return;
        }
        QVERIFY2(loaded, qPrintable(why));
        Start(dir.path().toStdString());
        QCOMPARE(SetVoltage(QStringLiteral("80")), kComputed);
        ComputeSpectrum();
        CheckSound();
        ComputeDose(QStringLiteral("10"));
        CheckSound();
    }
};

QTEST_MAIN(TestHostileInput)
#include "test_hostile_input.moc"
