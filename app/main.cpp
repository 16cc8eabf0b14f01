#include <QApplication>
#include <QGuiApplication>
#include <cstdio>

#include "app/main_window.h"
#include "app/platform/message_box.h"
#include "app/startup.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Mirelo"));
    QApplication::setApplicationDisplayName(QStringLiteral("Mirelo"));
    QApplication::setApplicationVersion(QStringLiteral(MIRELO_VERSION_TEXT));

    // Without a screen nobody can answer a box; report it on standard error instead of waiting.
    const QString platform = QGuiApplication::platformName();
    const bool headless = platform == QLatin1String("offscreen") || platform == QLatin1String("minimal");
    mirelo::MessageBox::setNonInteractive(headless);

    auto* form = new mirelo::Form1;
    form->setAttribute(Qt::WA_DeleteOnClose);
    QString error;
    if (!form->Form_Load(mirelo::DataFolders(QCoreApplication::applicationDirPath().toStdString()), error)) {
        std::fprintf(stderr, "Mirelo: %s\n", error.toUtf8().constData());
        if (!headless) {
            mirelo::MessageBox::critical(nullptr, error);
        }
        delete form;
        return 1;
    }
    form->show();
    return QApplication::exec();
}
