// Renders the spectrum window with its beam-quality line and the HVL fitting window after a fit, from
// the shipped tables, to spectrum_window.png and hvl_fit.png in the given folder. Not a test.
// Usage: QT_QPA_PLATFORM=offscreen render_quality_windows <output folder>
#include <QApplication>
#include <QDir>
#include <QTest>
#include <cstdio>

#include "app/main_window.h"
#include "app/platform/message_box.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: render_quality_windows <output folder>\n");
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    mirelo::MessageBox::setScripted(true);
    mirelo::Form1 form;
    QString error;
    if (!form.Form_Load({std::filesystem::path(MIRELO_SOURCE_DATA_DIR)}, error)) {
        std::fprintf(stderr, "%s\n", error.toUtf8().constData());
        return 1;
    }
    form.show();
    // The default beam at a fixed 80 kV (the dialog's default), spectrum shown.
    QTest::mouseClick(form.Command5, Qt::LeftButton);
    QTest::mouseClick(form.TubeVoltageDialog()->Command1, Qt::LeftButton);
    mirelo::MessageBox::setNextAnswer(mirelo::MessageBox::Answer::Yes);
    QTest::mouseClick(form.Command2, Qt::LeftButton);
    mirelo::Form6* spectrum = form.SpectrumWindow();
    // A measured HVL of 3.50 mm Al at 80 kV, fitted.
    form.fitHvlAction->trigger();
    mirelo::HvlFitWindow* fit = form.HvlFit();
    if (spectrum == nullptr || fit == nullptr || !QTest::qWaitForWindowExposed(fit)) {
        return 1;
    }
    QTest::keyClicks(fit->hvlField, QStringLiteral("3.50"));
    QTest::mouseClick(fit->fitButton, Qt::LeftButton);
    QTest::qWait(50);
    for (const auto& m : mirelo::MessageBox::takeShown()) {
        std::fprintf(stderr, "box: %s\n", m.text.toUtf8().constData());
    }
    const bool ok = spectrum->grab().save(out.filePath(QStringLiteral("spectrum_window.png"))) &&
                    fit->grab().save(out.filePath(QStringLiteral("hvl_fit.png")));
    std::printf("%s: %s | inherent %s mm\n", ok ? "written" : "FAILED", spectrum->QualityLine->text().toUtf8().constData(),
                fit->inherentResult->text().toUtf8().constData());
    return ok ? 0 : 1;
}
