#pragma once

#include <QColor>
#include <QFont>
#include <QPalette>
#include <QRect>
#include <QStringList>
#include <QWidget>

// The windows are laid out in twips, the unit of their design; 15 twips make one logical pixel, and
// Qt's high-DPI scaling maps logical pixels to the screen.
namespace mirelo::look {

inline constexpr int kTwipsPerPixel = 15;

constexpr int Px(int twips) { return (twips + kTwipsPerPixel / 2) / kTwipsPerPixel; }
inline QRect TwipsRect(int left, int top, int width, int height) { return {Px(left), Px(top), Px(width), Px(height)}; }

// A control with its designer name as objectName, placed in logical pixels.
template <typename T>
T* Make(QWidget* parent, const char* name, QRect geometry) {
    auto* w = new T(parent);
    w->setObjectName(QLatin1String(name));
    w->setGeometry(geometry);
    return w;
}

inline const QColor kButtonFace{255, 255, 192};   // light yellow
inline const QColor kCaptionBack{192, 255, 255};  // light cyan
inline const QColor kBlue{0, 0, 255};
inline const QColor kWindowFace{240, 240, 240};   // the windows' own face
inline const QColor kDisabledText{120, 120, 120};

// The design fixes faces and text colours (cream buttons, cyan captions, blue headings on the
// window face), so a face is never left to the desktop theme while its text is fixed, or the other
// way round: a dark theme would put black or blue text on a dark face. `textRole` keeps a grey for
// disabled controls, so that they still look disabled.
inline void FixColours(QWidget* w, QPalette::ColorRole faceRole, const QColor& face, QPalette::ColorRole textRole,
                       const QColor& text) {
    QPalette pal = w->palette();
    pal.setColor(faceRole, face);
    pal.setColor(QPalette::Active, textRole, text);
    pal.setColor(QPalette::Inactive, textRole, text);
    pal.setColor(QPalette::Disabled, textRole, kDisabledText);
    w->setPalette(pal);
}

// A window of the design: its face with black text, and white fields and lists with black text.
inline void FixWindowColours(QWidget* window) {
    FixColours(window, QPalette::Window, kWindowFace, QPalette::WindowText, Qt::black);
    FixColours(window, QPalette::Base, Qt::white, QPalette::Text, Qt::black);
    FixColours(window, QPalette::Button, kWindowFace, QPalette::ButtonText, Qt::black);
    QPalette pal = window->palette();
    pal.setColor(QPalette::Disabled, QPalette::Base, kWindowFace);  // a disabled field looks disabled
    // A field's hint (such as a date's YYYY-MM-DD) is grey on the white field; a dark theme's own hint
    // colour is meant for a dark field and vanishes on white.
    for (const auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        pal.setColor(group, QPalette::PlaceholderText, kDisabledText);
    }
    window->setPalette(pal);
}

// The design asks for Windows faces; each is asked for by name first, then for a face the set-up
// installs, so that Japanese text never shows as boxes.
inline QFont Font(const QStringList& families, double points, bool bold = false, bool italic = false) {
    QFont f;
    f.setFamilies(families);
    f.setPointSizeF(points);
    f.setBold(bold);
    f.setItalic(italic);
    return f;
}
inline QFont Meiryo(double points, bool bold = false) {
    return Font({QStringLiteral("Meiryo"), QStringLiteral("IPAexGothic"), QStringLiteral("Noto Sans CJK JP"),
                 QStringLiteral("IPAGothic")},
                points, bold);
}
inline QFont PGothic(double points) {
    return Font({QStringLiteral("MS PGothic"), QStringLiteral("IPAexGothic"), QStringLiteral("Noto Sans CJK JP"),
                 QStringLiteral("IPAPGothic")},
                points);
}
inline QFont TimesNewRoman(double points, bool italic = false) {
    return Font({QStringLiteral("Times New Roman"), QStringLiteral("Liberation Serif"), QStringLiteral("IPAexMincho")},
                points, false, italic);
}

}  // namespace mirelo::look
