#pragma once

// The parts the dose-reports and register windows are built from, so that both look and behave alike:
// controls with their object names, cream command buttons, read-only sortable tables, captions
// that keep the window's font after a change of language, and the A4 page of their PDF.
#include <QBoxLayout>
#include <QBuffer>
#include <QHeaderView>
#include <QLabel>
#include <QLayout>
#include <QPainter>
#include <QPdfWriter>
#include <QPushButton>
#include <QTableView>
#include <QTimer>

#include <functional>

#include "ui/platform/language.h"
#include "ui/platform/look.h"

namespace mirelo::parts {

template <typename T>
T* Named(QWidget* parent, const char* name) {
    auto* w = new T(parent);
    w->setObjectName(QLatin1String(name));
    return w;
}

inline QPushButton* Button(QWidget* parent, const char* name, const char* context, const char* caption) {
    auto* b = Named<QPushButton>(parent, name);
    i18n::TrText(b, context, caption);
    look::FixColours(b, QPalette::Button, look::kButtonFace, QPalette::ButtonText, Qt::black);
    b->setAutoDefault(true);  // Enter presses the focused button
    return b;
}

// A field in a row with its caption before it: the caption's mnemonic focuses the field, and screen
// readers name the field by the caption.
inline void AddCaptioned(QBoxLayout* row, QWidget* window, const char* context, const char* caption, QWidget* field) {
    auto* label = new QLabel(window);
    i18n::TrText(label, context, caption);
    label->setBuddy(field);
    row->addWidget(label);
    row->addWidget(field);
    i18n::Tr(field, "accessibleName", context, caption);
}

// A table that is read, not edited: whole rows are chosen, a heading sorts, and Tab leaves it while
// the arrows move in it.
inline QTableView* ReadOnlyTable(QWidget* parent, const char* name, const char* context, const char* accessible) {
    auto* t = Named<QTableView>(parent, name);
    t->setSelectionBehavior(QAbstractItemView::SelectRows);
    t->setSelectionMode(QAbstractItemView::SingleSelection);
    t->setEditTriggers(QAbstractItemView::NoEditTriggers);
    t->setSortingEnabled(true);
    t->sortByColumn(-1, Qt::AscendingOrder);  // the order given until a heading is clicked
    t->setWordWrap(false);
    t->setTabKeyNavigation(false);
    t->verticalHeader()->setDefaultSectionSize(t->fontMetrics().height() + 6);
    i18n::Tr(t, "accessibleName", context, accessible);
    return t;
}

// A change of language fits each caption to the room a fixed design gives it; these windows are laid
// out and make room, so once every caption is retranslated each takes the window's font again.
inline void KeepCaptionFonts(QWidget* window) {
    QTimer::singleShot(0, window, [window] {
        for (QWidget* w : window->findChildren<QWidget*>()) {
            if (qobject_cast<QPushButton*>(w) != nullptr || qobject_cast<QLabel*>(w) != nullptr) {
                w->setFont(QFont());
                w->updateGeometry();
            }
        }
        if (QLayout* layout = window->layout()) {
            layout->invalidate();
            layout->activate();
        }
    });
}

// A PDF on A4 landscape pages (12 mm margins, 300 dpi) in the windows' face at 8 pt: `draw` paints
// on `page` and starts further pages on the writer where it needs them.
inline QByteArray A4LandscapePdf(const std::function<void(QPdfWriter& pdf, QPainter& p, const QRect& page)>& draw) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    {
        QPdfWriter pdf(&buffer);
        pdf.setPageSize(QPageSize(QPageSize::A4));
        pdf.setPageOrientation(QPageLayout::Landscape);
        pdf.setPageMargins(QMarginsF(12, 12, 12, 12), QPageLayout::Millimeter);
        pdf.setResolution(300);
        pdf.setTitle(QStringLiteral("Mirelo"));
        QPainter p(&pdf);
        p.setFont(look::Meiryo(8));
        draw(pdf, p, QRect(0, 0, pdf.width(), pdf.height()));
    }
    return bytes;
}

}  // namespace mirelo::parts
