#pragma once

#include <QColor>
#include <QFont>
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
