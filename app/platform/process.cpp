#include "app/platform/process.h"

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
#if defined(Q_OS_WIN)
    return {QCoreApplication::applicationDirPath().toStdWString()};
#else
#if defined(Q_OS_LINUX)
    std::error_code error;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", error);
    if (!error && exe.is_absolute()) {
        return exe.parent_path();
    }
#endif
    const QByteArray bytes = QFile::encodeName(QCoreApplication::applicationDirPath());
    return {std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()))};
#endif
}

}  // namespace mirelo
