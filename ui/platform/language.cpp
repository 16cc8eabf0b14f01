#include "ui/platform/language.h"

#include <QAbstractButton>
#include <QPushButton>
#include <algorithm>
#include <cmath>
#include <QApplication>
#include <QEvent>
#include <QFontMetricsF>
#include <QGroupBox>
#include <QLabel>
#include <QLibraryInfo>
#include <QSettings>
#include <QTranslator>
#include <QVariant>
#include <QWidget>

namespace mirelo::i18n {
namespace {

constexpr char kSourcePrefix[] = "_mirelo_source_";
constexpr char kDesignFont[] = "_mirelo_design_font";
const QString kSettingsKey = QStringLiteral("interface/language");

struct State {
    Language current = Language::Japanese;
    QTranslator* program = nullptr;  // mirelo_en
    QTranslator* qtJapanese = nullptr;  // qtbase_ja, the buttons Qt draws itself
};
State& state() {
    static State s;
    return s;
}

// Keeps every widget with remembered texts in the current language: a LanguageChange reaches each
// widget, and its actions (which receive none) are retranslated with it.
class Retranslator : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::LanguageChange && watched->isWidgetType()) {
            RetranslateOne(watched);
            for (QObject* child : watched->children()) {
                if (!child->isWidgetType()) {
                    RetranslateOne(child);
                }
            }
            FitCaption(static_cast<QWidget*>(watched));
        }
        return false;
    }
    static void RetranslateOne(QObject* object) {
        for (const QByteArray& name : object->dynamicPropertyNames()) {
            if (!name.startsWith(kSourcePrefix)) {
                continue;
            }
            const QStringList source = object->property(name.constData()).toStringList();
            if (source.size() != 2) {
                continue;
            }
            const QByteArray context = source[0].toUtf8();
            const QByteArray text = source[1].toUtf8();
            object->setProperty(name.mid(static_cast<qsizetype>(sizeof kSourcePrefix) - 1).constData(),
                                QCoreApplication::translate(context.constData(), text.constData()));
        }
    }
};

void EnsureRetranslator() {
    static Retranslator* filter = nullptr;
    if (filter == nullptr && QCoreApplication::instance() != nullptr) {
        filter = new Retranslator(QCoreApplication::instance());
        QCoreApplication::instance()->installEventFilter(filter);
    }
}

bool IsTranslated(const QObject* object) {
    const QStringList source = object->property(QByteArray(kSourcePrefix).append("text").constData()).toStringList();
    return source.size() == 2 && object->property("text").toString() != source[1];
}

}  // namespace

void Tr(QObject* object, const char* property, const char* context, const char* source) {
    EnsureRetranslator();
    object->setProperty(QByteArray(kSourcePrefix).append(property).constData(),
                        QStringList{QString::fromUtf8(context), QString::fromUtf8(source)});
    object->setProperty(property, QCoreApplication::translate(context, source));
    if (object->isWidgetType() && qstrcmp(property, "text") == 0) {
        FitCaption(static_cast<QWidget*>(object));
    }
}

void Retranslate(QObject* root) {
    Retranslator::RetranslateOne(root);
    for (QObject* child : root->children()) {
        Retranslate(child);
    }
    if (root->isWidgetType()) {
        FitCaption(static_cast<QWidget*>(root));
    }
}

void FitCaption(QWidget* control) {
    const QVariant design = control->property(kDesignFont);
    if (!IsTranslated(control)) {
        if (design.isValid()) {
            control->setFont(design.value<QFont>());
        }
        return;
    }
    if (!design.isValid()) {
        control->setProperty(kDesignFont, control->font());
    }
    QFont font = design.isValid() ? design.value<QFont>() : control->font();
    const QString text = control->property("text").toString();
    // The room the control gives its caption: the whole width of a label, less the frame and the
    // margins of a button.
    double room = control->width();
    if (const auto* label = qobject_cast<QLabel*>(control)) {
        if (label->wordWrap()) {
            control->setFont(font);
            return;
        }
        room = label->contentsRect().width() - 2;
    } else if (qobject_cast<QAbstractButton*>(control) != nullptr) {
        room = control->width() - (qobject_cast<QPushButton*>(control) != nullptr ? 12 : 26);
    } else {
        return;
    }
    // A control tall enough for several lines (an option that wraps its caption) gives that many.
    const double lines = std::max(1.0, std::floor(control->height() / (QFontMetricsF(font).lineSpacing() * 1.2)));
    while (font.pointSizeF() > 6 && QFontMetricsF(font).horizontalAdvance(text) > room * lines) {
        font.setPointSizeF(font.pointSizeF() - 0.25);
    }
    control->setFont(font);
}

Language Current() { return state().current; }

bool Apply(Language language) {
    EnsureRetranslator();
    State& s = state();
    bool ok = true;
    if (s.program != nullptr) {
        QCoreApplication::removeTranslator(s.program);
        delete s.program;
        s.program = nullptr;
    }
    if (s.qtJapanese != nullptr) {
        QCoreApplication::removeTranslator(s.qtJapanese);
        delete s.qtJapanese;
        s.qtJapanese = nullptr;
    }
    if (language == Language::English) {
        auto* t = new QTranslator(QCoreApplication::instance());
        if (t->load(QStringLiteral(":/i18n/mirelo_en.qm"))) {
            QCoreApplication::installTranslator(t);
            s.program = t;
        } else {
            delete t;
            ok = false;
            language = Language::Japanese;
        }
    }
    if (language == Language::Japanese) {
        // The message boxes' Yes, No and OK in Japanese too, when the system has Qt's translation.
        auto* t = new QTranslator(QCoreApplication::instance());
        if (t->load(QStringLiteral("qtbase_ja"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
            QCoreApplication::installTranslator(t);
            s.qtJapanese = t;
        } else {
            delete t;
        }
    }
    s.current = language;
    // Qt posts the windows' LanguageChange; deliver it now, so that every window reads in the new
    // language as soon as this returns.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LanguageChange);
    return ok;
}

Language Saved() {
    return QSettings().value(kSettingsKey).toString() == Code(Language::English) ? Language::English : Language::Japanese;
}

void Save(Language language) { QSettings().setValue(kSettingsKey, Code(language)); }

QString Code(Language language) { return language == Language::English ? QStringLiteral("en") : QStringLiteral("ja"); }

}  // namespace mirelo::i18n
