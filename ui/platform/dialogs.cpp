#include "ui/platform/dialogs.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QPrintDialog>
#include <QPrinter>
#include <QSaveFile>

namespace mirelo {
namespace {
struct Script {
    bool scripted = false;
    bool nonInteractive = false;
    QList<QString> names;
    QList<Dialogs::Asked> asked;
};
Script& script() {
    static Script s;
    return s;
}
QString nextName() { return script().names.isEmpty() ? QString() : script().names.takeFirst(); }
}  // namespace

void Dialogs::setScripted(bool scripted) {
    script().scripted = scripted;
    script().names.clear();
    script().asked.clear();
}
void Dialogs::queueFileName(const QString& path) { script().names.append(path); }
QList<Dialogs::Asked> Dialogs::takeAsked() {
    QList<Asked> out;
    out.swap(script().asked);
    return out;
}
void Dialogs::setNonInteractive(bool nonInteractive) { script().nonInteractive = nonInteractive; }

QString Dialogs::saveFileName(QWidget* parent, const QString& caption, const QString& suggested, const QString& filter) {
    if (script().scripted) {
        script().asked.append({QStringLiteral("save"), suggested});
        return nextName();
    }
    if (script().nonInteractive) {
        return {};
    }
    return QFileDialog::getSaveFileName(parent, caption, suggested, filter);
}

QStringList Dialogs::openFileNames(QWidget* parent, const QString& caption, const QString& filter) {
    if (script().scripted) {
        script().asked.append({QStringLiteral("open files"), caption});
        const QString names = nextName();
        return names.isEmpty() ? QStringList() : names.split(QLatin1Char('\n'));
    }
    if (script().nonInteractive) {
        return {};
    }
    return QFileDialog::getOpenFileNames(parent, caption, QString(), filter);
}

QString Dialogs::existingFolder(QWidget* parent, const QString& caption) {
    if (script().scripted) {
        script().asked.append({QStringLiteral("folder"), caption});
        return nextName();
    }
    if (script().nonInteractive) {
        return {};
    }
    return QFileDialog::getExistingDirectory(parent, caption);
}

bool Dialogs::print(QWidget* parent, QPrinter& printer) {
    if (script().scripted) {
        script().asked.append({QStringLiteral("print"), printer.docName()});
        const QString name = nextName();
        if (name.isEmpty()) {
            return false;
        }
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(name);
        return true;
    }
    if (script().nonInteractive) {
        return false;
    }
    QPrintDialog dialog(&printer, parent);
    return dialog.exec() == QDialog::Accepted;
}

bool Dialogs::openUrl(const QUrl& url) {
    if (script().scripted) {
        script().asked.append({QStringLiteral("open"), url.toString()});
        return true;
    }
    return QDesktopServices::openUrl(url);
}

bool WriteFileAtomically(const QString& path, const QByteArray& data, QString& reason) {
    QSaveFile file(path);
    // Unbuffered, so that every write reaches the file engine here and a short write (disk full,
    // file-size limit) is seen: a buffered QSaveFile in Qt 6.4 commits a file cut short at the
    // first partial write without reporting it.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        reason = file.errorString();
        return false;
    }
    const char* p = data.constData();
    qint64 left = data.size();
    while (left > 0) {
        const qint64 written = file.write(p, left);
        if (written <= 0) {
            reason = file.errorString();
            file.cancelWriting();
            return false;
        }
        p += written;
        left -= written;
    }
    if (!file.commit()) {
        reason = file.errorString();
        return false;
    }
    return true;
}

}  // namespace mirelo
