#include "app/process.h"

#include "data_folders/data_folders.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QFile>
#include <csignal>
#include <string>
#include <system_error>

namespace mirelo {

void IgnoreFileSizeLimitSignal() {
#ifdef SIGXFSZ  // POSIX only
    std::signal(SIGXFSZ, SIG_IGN);
#endif
}

std::filesystem::path ExecutableFolder() {
    // The system's own answer first (the command-line tool asks the same); Qt's where it has none.
    if (auto folder = RunningExecutableFolder(); !folder.empty()) {
        return folder;
    }
#if defined(Q_OS_WIN)
    return {QCoreApplication::applicationDirPath().toStdWString()};
#else
    const QByteArray bytes = QFile::encodeName(QCoreApplication::applicationDirPath());
    return {std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()))};
#endif
}

}  // namespace mirelo
