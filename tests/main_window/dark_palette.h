#pragma once

#include <QColor>
#include <QPalette>
#include <algorithm>
#include <cmath>

// A dark desktop theme as Qt applications get it (light text on dark faces), for the tests and the
// dark screenshot.
inline QPalette DarkPalette() {
    const QColor face(53, 53, 53), base(35, 35, 35), text(230, 230, 230), grey(128, 128, 128);
    QPalette p(face, face);  // derives the bevels from the face
    for (auto role : {QPalette::Window, QPalette::Button}) {
        p.setColor(role, face);
    }
    p.setColor(QPalette::Base, base);
    p.setColor(QPalette::AlternateBase, face);
    for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText, QPalette::BrightText}) {
        p.setColor(QPalette::Active, role, text);
        p.setColor(QPalette::Inactive, role, text);
        p.setColor(QPalette::Disabled, role, grey);
    }
    // A dark theme's hint text is light, meant for its dark fields.
    p.setColor(QPalette::PlaceholderText, QColor(160, 160, 160));
    p.setColor(QPalette::Highlight, QColor(42, 130, 218));
    p.setColor(QPalette::HighlightedText, Qt::black);
    return p;
}

// Contrast ratio of two colours, as WCAG 2 defines it.
inline double Contrast(const QColor& a, const QColor& b) {
    const auto luminance = [](const QColor& c) {
        const auto lin = [](int v) {
            const double s = v / 255.0;
            return s <= 0.03928 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
        };
        return 0.2126 * lin(c.red()) + 0.7152 * lin(c.green()) + 0.0722 * lin(c.blue());
    };
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}
