// Renders the dose-reports window on the generated test reports (dose_reports.png), the same under
// a dark theme (dose_reports_dark.png) and in English (dose_reports_en.png), and the main window
// after an event was sent to it (main_window_event.png), into the given folder. Not a test.
// Usage: QT_QPA_PLATFORM=offscreen render_dose_reports <output folder>
#include <QApplication>
#include <QDir>
#include <QTest>
#include <cstdio>
#include <filesystem>

#include "../main_window/dark_palette.h"
#include "../rdsr/corpus.h"
#include "ui/dose_reports/dose_reports_window.h"
#include "ui/main_window/main_window.h"
#include "ui/platform/language.h"
#include "ui/platform/message_box.h"

using namespace mirelo;

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: render_dose_reports <output folder>\n");
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    const auto folder = std::filesystem::temp_directory_path() / "mirelo-render-dose-reports";
    std::filesystem::remove_all(folder);
    rdsrtest::WriteCorpus(folder / "reports");
    MessageBox::setScripted(true);
    Form1 form;
    form.drawSpectrum = [] {};
    form.showForm6 = [] {};
    QString error;
    if (!form.Form_Load({std::filesystem::path(MIRELO_SOURCE_DATA_DIR)}, error)) {
        std::fprintf(stderr, "%s\n", error.toUtf8().constData());
        return 1;
    }
    form.show();
    form.ShowDoseReports();
    auto* w = qobject_cast<DoseReportsWindow*>(form.DoseReports());
    if (w == nullptr || !QTest::qWaitForWindowExposed(w)) return 1;
    w->Open({QString::fromStdString((folder / "reports").string())});
    for (int i = 0; i < 600 && w->Reading(); ++i) QTest::qWait(50);
    w->studiesTable->selectRow(0);
    w->eventsTable->selectRow(0);
    w->eventsTable->setFocus();
    QTest::qWait(50);
    bool ok = w->grab().save(out.filePath(QStringLiteral("dose_reports.png")));

    QApplication::setPalette(DarkPalette());
    QTest::qWait(50);
    ok = w->grab().save(out.filePath(QStringLiteral("dose_reports_dark.png"))) && ok;
    QApplication::setPalette(QApplication::style()->standardPalette());

    MessageBox::setNextAnswer(MessageBox::Answer::No);
    w->SendSelectedEvent();
    QTest::qWait(50);
    ok = form.grab().save(out.filePath(QStringLiteral("main_window_event.png"))) && ok;

    if (i18n::Apply(i18n::Language::English)) {
        QTest::qWait(50);
        ok = w->grab().save(out.filePath(QStringLiteral("dose_reports_en.png"))) && ok;
        i18n::Apply(i18n::Language::Japanese);
    }
    for (const auto& m : MessageBox::takeShown()) std::fprintf(stderr, "box: %s\n", m.text.toUtf8().constData());
    std::printf("%s: %d studies, %d events of the first, List1 %d lines\n", ok ? "written" : "FAILED",
                w->studiesProxy->rowCount(), w->eventsProxy->rowCount(), static_cast<int>(form.List1->count()));
    std::filesystem::remove_all(folder);
    return ok ? 0 : 1;
}
