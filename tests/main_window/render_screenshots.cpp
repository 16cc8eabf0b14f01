// Renders the main window after a full run, and the tube-voltage dialog, to PNG files; then the same
// in English, and the report of the run as a PDF (report.pdf, for pdftoppm); and last all three
// windows under a dark desktop theme, side by side on a dark desktop (dark_theme.png).
// Usage: render_screenshots <output folder>   (run with QT_QPA_PLATFORM=offscreen)
#include <QApplication>
#include <QDir>
#include <QPainter>
#include <QPixmap>
#include <QTest>
#include <algorithm>
#include <cstdio>

#include "ui/main_window/main_window.h"
#include "ui/platform/dialogs.h"
#include "ui/platform/language.h"
#include "ui/platform/message_box.h"
#include "dark_palette.h"
#include "ui/state/shared_state.h"

namespace {

// The same run under a dark theme, with the spectrum shown.
QImage DarkDesktop() {
    QApplication::setPalette(DarkPalette());
    mirelo::Form1 form;
    QString error;
    if (!form.Form_Load({std::filesystem::path(MIRELO_DATA_DIR)}, error)) {
        return {};
    }
    form.show();
    QTest::mouseClick(form.Command5, Qt::LeftButton);
    mirelo::Form4* dialog = form.TubeVoltageDialog();
    QTest::mouseClick(dialog->Option2, Qt::LeftButton);
    QTest::mouseClick(dialog->Option4, Qt::LeftButton);
    QTest::mouseClick(dialog->Command1, Qt::LeftButton);
    mirelo::MessageBox::setNextAnswer(mirelo::MessageBox::Answer::Yes);
    QTest::mouseClick(form.Command2, Qt::LeftButton);
    QTest::keyClicks(form.Text15, QStringLiteral("25.3"));
    QTest::mouseClick(form.Command3, Qt::LeftButton);
    QTest::mouseClick(form.Command5, Qt::LeftButton);
    if (!QTest::qWaitForWindowExposed(&form) || !QTest::qWaitForWindowExposed(dialog) ||
        form.SpectrumWindow() == nullptr || !QTest::qWaitForWindowExposed(form.SpectrumWindow())) {
        return {};
    }
    const QImage main = form.grab().toImage(), tube = dialog->grab().toImage(),
                 spectrum = form.SpectrumWindow()->grab().toImage();
    const int gap = 24;
    const int width = std::max(main.width(), spectrum.width() + gap + tube.width());
    QImage desktop(gap + width + gap, gap + main.height() + gap + spectrum.height() + gap, QImage::Format_RGB32);
    desktop.fill(QColor(32, 32, 32));
    QPainter p(&desktop);
    p.drawImage(gap, gap, main);
    p.drawImage(gap, 2 * gap + main.height(), spectrum);
    p.drawImage(2 * gap + spectrum.width(), 2 * gap + main.height(), tube);
    return desktop;
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: render_screenshots <output folder>\n");
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    mirelo::MessageBox::setScripted(true);

    mirelo::Form1 form;
    form.drawSpectrum = [] {};
    form.showForm6 = [] {};
    QString error;
    if (!form.Form_Load({std::filesystem::path(MIRELO_DATA_DIR)}, error)) {
        std::fprintf(stderr, "%s\n", error.toUtf8().constData());
        return 1;
    }
    form.show();
    if (!QTest::qWaitForWindowExposed(&form)) {
        return 1;
    }

    // A full run: a voltage range, the spectrum, an area dose, the dose.
    QTest::mouseClick(form.Command5, Qt::LeftButton);
    mirelo::Form4* dialog = form.TubeVoltageDialog();
    QTest::mouseClick(dialog->Option2, Qt::LeftButton);
    QTest::mouseClick(dialog->Option4, Qt::LeftButton);
    if (!QTest::qWaitForWindowExposed(dialog)) {
        return 1;
    }
    const QPixmap dialogShot = dialog->grab();

    QTest::mouseClick(dialog->Command1, Qt::LeftButton);
    mirelo::MessageBox::setNextAnswer(mirelo::MessageBox::Answer::No);
    QTest::mouseClick(form.Command2, Qt::LeftButton);
    QTest::keyClicks(form.Text15, QStringLiteral("25.3"));
    QTest::mouseClick(form.Command3, Qt::LeftButton);
    QTest::qWait(50);

    const auto shown = mirelo::MessageBox::takeShown();
    for (const auto& m : shown) {
        std::fprintf(stderr, "box: %s\n", m.text.toUtf8().constData());
    }
    bool ok = form.grab().save(out.filePath(QStringLiteral("main_window.png"))) &&
              dialogShot.save(out.filePath(QStringLiteral("tube_voltage.png")));

    // The same window and dialog in English, and the report of the run.
    mirelo::i18n::Apply(mirelo::i18n::Language::English);
    QTest::qWait(50);
    QTest::mouseClick(form.Command5, Qt::LeftButton);
    QTest::qWait(50);
    ok = ok && form.grab().save(out.filePath(QStringLiteral("main_window_en.png"))) &&
         form.TubeVoltageDialog()->grab().save(out.filePath(QStringLiteral("tube_voltage_en.png")));
    mirelo::Dialogs::setScripted(true);
    mirelo::Dialogs::queueFileName(out.filePath(QStringLiteral("report.pdf")));
    form.SaveReportPdf();
    mirelo::i18n::Apply(mirelo::i18n::Language::Japanese);
    ok = ok && DarkDesktop().save(out.filePath(QStringLiteral("dark_theme.png")));
    std::printf("%s: main window %s, dialog %s, List1 %d lines\n", ok ? "written" : "FAILED",
                form.Label7->text().toUtf8().constData(), form.Label14->text().toUtf8().constData(),
                static_cast<int>(form.List1->count()));
    return ok ? 0 : 1;
}
