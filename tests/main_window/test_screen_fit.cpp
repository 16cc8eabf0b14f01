// Every window on a screen smaller than its design, or at a high scale: started once per screen and
// scale factor (tests/main_window/CMakeLists.txt), it opens the main window, the tube-voltage dialog,
// the spectrum window and the HVL window and checks that each frame lies wholly on the screen and
// that what a window cannot show at once can be scrolled to.
#include <QAbstractScrollArea>
#include <QApplication>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>
#include <cstdio>

#include "ui/main_window/main_window.h"
#include "ui/platform/message_box.h"
#include "ui/state/shared_state.h"

namespace {

int failures = 0;

void Check(bool ok, const char* what, const QWidget* w) {
    if (!ok) {
        ++failures;
        const QRect f = w->frameGeometry();
        const QRect a = w->screen()->availableGeometry();
        std::fprintf(stderr, "FAIL %s: %s frame %d,%d %dx%d on %d,%d %dx%d\n", qPrintable(w->objectName()), what, f.x(),
                     f.y(), f.width(), f.height(), a.x(), a.y(), a.width(), a.height());
    }
}

// The frame is on the screen, and a page larger than the window scrolls far enough to show all of it.
void CheckWindow(QWidget* w) {
    if (w == nullptr || !QTest::qWaitForWindowExposed(w)) {
        ++failures;
        std::fprintf(stderr, "FAIL a window did not open\n");
        return;
    }
    Check(w->screen()->availableGeometry().contains(w->frameGeometry()), "off the screen", w);
    for (QScrollArea* scroll : w->findChildren<QScrollArea*>()) {
        const QWidget* page = scroll->widget();
        const QSize view = scroll->viewport()->size();
        Check(scroll->horizontalScrollBar()->maximum() >= page->width() - view.width(), "page not reachable across", w);
        Check(scroll->verticalScrollBar()->maximum() >= page->height() - view.height(), "page not reachable down", w);
    }
    std::printf("%s: frame %dx%d at %d,%d\n", qPrintable(w->objectName()), w->frameGeometry().width(),
                w->frameGeometry().height(), w->frameGeometry().x(), w->frameGeometry().y());
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    mirelo::MessageBox::setScripted(true);
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    std::printf("screen %dx%d (logical), scale %s\n", screen.width(), screen.height(), qgetenv("QT_SCALE_FACTOR").constData());
    mirelo::Form1 form;
    QString error;
    if (!form.Form_Load({std::filesystem::path(MIRELO_TEST_DATA_DIR) / "synthetic"}, error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 2;
    }
    form.show();
    CheckWindow(&form);
    form.Command5->click();
    CheckWindow(form.TubeVoltageDialog());
    form.TubeVoltageDialog()->Command1->click();
    mirelo::MessageBox::setNextAnswer(mirelo::MessageBox::Answer::Yes);
    form.Command2->click();
    CheckWindow(form.SpectrumWindow());
    form.ShowHvlFit();
    CheckWindow(form.HvlFit());
    return failures == 0 ? 0 : 1;
}
