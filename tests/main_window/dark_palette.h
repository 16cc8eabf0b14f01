#pragma once

#include <QPalette>

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
    p.setColor(QPalette::Highlight, QColor(42, 130, 218));
    p.setColor(QPalette::HighlightedText, Qt::black);
    return p;
}
