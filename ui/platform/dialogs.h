#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

class QPrinter;
class QWidget;

namespace mirelo {

// The file chooser, the print dialog and the opening of documents, behind one seam like the
// message boxes: tests script the answers and read what was asked, and a program without a screen
// a person could answer on takes "cancel" rather than wait for a click that cannot come.
class Dialogs {
public:
    // The file the user chose to save to, or empty when cancelled. `filter` as QFileDialog takes it.
    static QString saveFileName(QWidget* parent, const QString& caption, const QString& suggested, const QString& filter);
    // Files to open (empty when cancelled), and a folder to open (empty when cancelled).
    static QStringList openFileNames(QWidget* parent, const QString& caption, const QString& filter);
    static QString existingFolder(QWidget* parent, const QString& caption);
    // Lets the user choose and set up a printer; false when cancelled.
    static bool print(QWidget* parent, QPrinter& printer);
    // Opens a document or web page with the desktop's program for it; false when none could.
    static bool openUrl(const QUrl& url);

    // Test hooks. While scripted, nothing is shown: saveFileName takes the next queued name (empty,
    // that is cancel, when none is queued); print accepts and writes a PDF to the next queued name
    // (cancels when none is queued); openUrl succeeds; openFileNames and existingFolder take the next
    // queued name likewise (a queued name of several lines gives several files). Every call is recorded.
    struct Asked {
        QString what;  // "save", "print", "open", "open files" or "folder"
        QString detail;  // the suggested file name, or the URL
    };
    static void setScripted(bool scripted);
    static void queueFileName(const QString& path);
    static QList<Asked> takeAsked();
    static void setNonInteractive(bool nonInteractive);
};

// Writes `data` to `path` through a temporary file in the same folder, so that a failed save leaves
// any earlier file as it was. On failure `reason` holds the system's explanation.
bool WriteFileAtomically(const QString& path, const QByteArray& data, QString& reason);

}  // namespace mirelo
