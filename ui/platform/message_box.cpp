#include "ui/platform/message_box.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>
#include <QMessageBox>
#include <QPushButton>
#include <cstdio>

namespace mirelo {
namespace {
struct Script {
    bool scripted = false;
    bool nonInteractive = false;
    QList<MessageBox::Answer> answers;
    QList<MessageBox::Shown> shown;
};
Script& script() {
    static Script s;
    return s;
}

const QString kTitle = QStringLiteral("Mirelo");
}  // namespace

void MessageBox::setScripted(bool scripted) {
    script().scripted = scripted;
    script().answers.clear();
    script().shown.clear();
}
void MessageBox::setNextAnswer(Answer answer) { script().answers.append(answer); }
QList<MessageBox::Shown> MessageBox::takeShown() {
    QList<Shown> out;
    out.swap(script().shown);
    return out;
}
void MessageBox::setNonInteractive(bool nonInteractive) { script().nonInteractive = nonInteractive; }

void MessageBox::warning(QWidget* parent, const QString& text) { show(parent, Kind::Warning, text); }
bool MessageBox::question(QWidget* parent, const QString& text) { return show(parent, Kind::Question, text) == Answer::Yes; }
void MessageBox::information(QWidget* parent, const QString& text) { show(parent, Kind::Information, text); }
void MessageBox::critical(QWidget* parent, const QString& text) { show(parent, Kind::Critical, text); }

MessageBox::Answer MessageBox::show(QWidget* parent, Kind kind, const QString& text) {
    const Answer defaultAnswer = kind == Kind::Question ? Answer::Yes : Answer::Ok;
    Script& s = script();
    if (s.scripted) {
        s.shown.append({kind, text});
        return s.answers.isEmpty() ? defaultAnswer : s.answers.takeFirst();
    }
    if (s.nonInteractive) {
        std::fprintf(stderr, "Mirelo: %s\n", text.toUtf8().constData());
        return defaultAnswer;
    }
    QMessageBox box(parent);
    box.setWindowTitle(kTitle);
    box.setText(text);
    switch (kind) {
    case Kind::Warning:
        box.setIcon(QMessageBox::Warning);
        box.setStandardButtons(QMessageBox::Ok);
        break;
    case Kind::Question:
        box.setIcon(QMessageBox::NoIcon);
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
        break;
    case Kind::Information:
        box.setIcon(QMessageBox::NoIcon);
        box.setStandardButtons(QMessageBox::Ok);
        break;
    case Kind::Critical:
        box.setIcon(QMessageBox::Critical);
        box.setStandardButtons(QMessageBox::Ok);
        break;
    }
    const int result = box.exec();
    if (kind == Kind::Question) {
        return result == QMessageBox::Yes ? Answer::Yes : Answer::No;
    }
    return Answer::Ok;
}

bool InstallJapaneseButtonTexts() {
    static QTranslator* translator = nullptr;
    if (translator != nullptr) {
        return true;
    }
    auto* candidate = new QTranslator(QCoreApplication::instance());
    if (!candidate->load(QStringLiteral("qtbase_ja"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete candidate;
        return false;
    }
    QCoreApplication::installTranslator(candidate);
    translator = candidate;
    return true;
}

namespace {
int& pendingEventsCount() {
    static int count = 0;
    return count;
}
}  // namespace

void ProcessPendingEvents() {
    ++pendingEventsCount();
    QCoreApplication::processEvents();
}

int PendingEventsProcessed() { return pendingEventsCount(); }

}  // namespace mirelo
