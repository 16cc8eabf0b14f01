#pragma once

#include <QScrollArea>
#include <QSize>

class QWidget;

namespace mirelo {

// Windows are designed at fixed sizes that a small or highly scaled screen (1366 × 768 at 125 %
// is 1093 × 614) cannot hold. These keep every window wholly on the screen it opens on.

// Puts `page` (the designed client area, controls at fixed positions) into a scroll area, which the
// caller adds to the window's layout: scroll bars appear only when the window is smaller than the page.
QScrollArea* ScrollingPage(QWidget* page);

// The size a top-level window may take on the screen it opens on: the available area less the frame
// a window manager adds (as the platform reports it, else estimated).
QSize RoomOnScreen(QWidget* window);

// Gives a top-level window its designed size, or the room on the screen where that is less, and
// places it centred and wholly inside the available area.
void FitOnScreen(QWidget* window, QSize designed);

}  // namespace mirelo
