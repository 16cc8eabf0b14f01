#include <QApplication>
#include <QGuiApplication>
#include <cstdio>
#include <filesystem>
#include <memory>

#include "ui/main_window/main_window.h"
#include "ui/platform/dialogs.h"
#include "ui/platform/language.h"
#include "ui/platform/message_box.h"
#include "app/process.h"
#include "data_folders/data_folders.h"

int main(int argc, char* argv[]) {
    // "Data save" under a file-size limit must warn, not end the program with what is on screen.
    mirelo::IgnoreFileSizeLimitSignal();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Mirelo"));
    QApplication::setApplicationVersion(QStringLiteral(MIRELO_VERSION_TEXT));
#ifdef Q_OS_WIN
    // The native Windows style draws push buttons its own way and drops their cream face; Fusion
    // honours the widgets' palettes, as on Linux.
    QApplication::setStyle(QStringLiteral("Fusion"));
#endif
    QApplication::setOrganizationName(QStringLiteral("Mirelo"));
    // Japanese unless the user chose English in an earlier run, whatever the system's language.
    mirelo::i18n::Apply(mirelo::i18n::Saved());

    // Without a screen nobody can answer a box; report it on standard error instead of waiting.
    const QString platform = QGuiApplication::platformName();
    const bool headless = platform == QLatin1String("offscreen") || platform == QLatin1String("minimal");
    mirelo::MessageBox::setNonInteractive(headless);
    mirelo::Dialogs::setNonInteractive(headless);

    // The main window lives until the event loop returns: closing it or "終了" ends the loop.
    auto form = std::make_unique<mirelo::Form1>();
    QString error;
    auto folders = mirelo::DataFolders(mirelo::ExecutableFolder());
    for (auto& folder : folders) {
        folder.make_preferred();  // Windows' backslashes in the messages that name a folder
    }
    if (!form->Form_Load(folders, error)) {
        std::fprintf(stderr, "Mirelo: %s\n", error.toUtf8().constData());
        if (!headless) {
            mirelo::MessageBox::critical(nullptr, error);
        }
        return 1;
    }
    form->show();
    return QApplication::exec();
}
