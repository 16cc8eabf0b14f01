#pragma once

#include <QString>
#include <QStringList>

class QWidget;

namespace mirelo {

// Every message box of the program goes through here. Boxes are modal and titled "Mirelo".
// Tests script the answers and read what was shown; a program without a screen a person could
// answer on (the offscreen platform) logs the box to standard error and takes the default button,
// so that nothing ever waits for a click that cannot come.
class MessageBox {
public:
    enum class Kind { Warning, Question, Information, Critical };
    enum class Answer { Ok, Yes, No };

    struct Shown {
        Kind kind;
        QString text;
    };

    static void warning(QWidget* parent, const QString& text);      // exclamation icon, OK
    static bool question(QWidget* parent, const QString& text);     // no icon, Yes/No, Yes default
    static void information(QWidget* parent, const QString& text);  // no icon, OK
    static void critical(QWidget* parent, const QString& text);     // error icon, OK

    // Test hooks. While scripted, no real box is shown: each call takes the next queued answer
    // (the default button when the queue is empty) and is recorded.
    static void setScripted(bool scripted);
    static void setNextAnswer(Answer answer);
    static QList<Shown> takeShown();
    static void setNonInteractive(bool nonInteractive);

private:
    static Answer show(QWidget* parent, Kind kind, const QString& text);
};

// The windows speak Japanese, so the buttons Qt draws itself (Yes, No, OK in message boxes) should
// too: installs Qt's own Japanese translation when the system has it. Returns whether it did.
bool InstallJapaneseButtonTexts();

// Lets the window repaint and handle queued input once, in the middle of a handler.
void ProcessPendingEvents();
// How many times ProcessPendingEvents has run in this process (tests check the handlers call it).
int PendingEventsProcessed();

}  // namespace mirelo
