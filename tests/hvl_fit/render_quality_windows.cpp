// Renders the HVL fitting window after a fit of three measurements, from the shipped tables, to hvl_fit.png in the given
// folder. Not a test.
// Usage: QT_QPA_PLATFORM=offscreen render_quality_windows <output folder>
#include <QApplication>
#include <QDir>
#include <QTest>
#include <cstdio>
#include <utility>

#include "ui/main_window/main_window.h"
#include "ui/platform/message_box.h"

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
    // The default beam at a fixed 80 kV (the dialog's default); a measured HVL of 3.50 mm Al, fitted.
    QTest::mouseClick(form.Command5, Qt::LeftButton);
    QTest::mouseClick(form.TubeVoltageDialog()->Command1, Qt::LeftButton);
    form.fitHvlAction->trigger();
    mirelo::HvlFitWindow* fit = form.HvlFit();
    if (fit == nullptr || !QTest::qWaitForWindowExposed(fit)) {
        return 1;
    }
    // Three measurements of the tube, through the main window's 1.0 mm Al.
    for (const auto& [kv, hvl] : {std::pair{"60", "2.70"}, {"80", "3.50"}, {"120", "5.10"}}) {
        fit->kvField->clear();
        QTest::keyClicks(fit->kvField, QString::fromLatin1(kv));
        fit->hvlField->clear();
        QTest::keyClicks(fit->hvlField, QString::fromLatin1(hvl));
        QTest::mouseClick(fit->addPointButton, Qt::LeftButton);
    }
    QTest::mouseClick(fit->fitButton, Qt::LeftButton);
    QTest::qWait(50);
    for (const auto& m : mirelo::MessageBox::takeShown()) {
        std::fprintf(stderr, "box: %s\n", m.text.toUtf8().constData());
    }
    const bool ok = fit->grab().save(out.filePath(QStringLiteral("hvl_fit.png")));
    std::printf("%s: inherent %s mm, HVL2 %s mm Al, mean %s keV\n", ok ? "written" : "FAILED",
                fit->inherentResult->text().toUtf8().constData(), fit->hvl2Result->text().toUtf8().constData(),
                fit->meanResult->text().toUtf8().constData());
    return ok ? 0 : 1;
}
