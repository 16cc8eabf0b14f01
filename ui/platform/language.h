#pragma once

#include <QString>

class QObject;
class QWidget;

// The interface language. The windows are written in Japanese, their source texts; English comes
// from the translation built from i18n/mirelo_en.ts. Captions are set through Tr(), which keeps the
// source, so that a change of language retranslates every open window in place.
namespace mirelo::i18n {

enum class Language { Japanese, English };

// Sets the Qt property `property` ("text", "toolTip", "windowTitle", "title", "accessibleName",
// "accessibleDescription") of `object` to the translation of `source` (UTF-8) in `context`, and
// remembers the source. Use with QT_TRANSLATE_NOOP(context, source) so that lupdate finds it.
void Tr(QObject* object, const char* property, const char* context, const char* source);
inline void TrText(QObject* object, const char* context, const char* source) { Tr(object, "text", context, source); }

// Sets every remembered text of `root` and of everything under it again, in the current language,
// then fits captions that do not fit their control (see FitCaption).
void Retranslate(QObject* root);

// A translated caption may be longer than the design allows for; it is then set in a smaller size
// of the control's designed font until it fits (at least 6 pt). Source texts keep the designed font.
void FitCaption(QWidget* control);

// The language in use now.
Language Current();
// Installs the translations of `language` (the program's own and Qt's button texts), so that every
// open window receives a LanguageChange and retranslates. Returns false when a translation could
// not be loaded (the interface then stays in Japanese).
bool Apply(Language language);

// The language chosen last, remembered between runs; Japanese on the first start, whatever the
// system's language.
Language Saved();
void Save(Language language);

// The code of a language in settings and file names: "ja", "en".
QString Code(Language language);

}  // namespace mirelo::i18n
