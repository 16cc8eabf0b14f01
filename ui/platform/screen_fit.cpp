#include "ui/platform/screen_fit.h"

#include <QEvent>
#include <QResizeEvent>
#include <QGuiApplication>
#include <QMargins>
#include <QScreen>
#include <QScrollArea>
#include <QStyle>
#include <QWidget>
#include <QWindow>
#include <algorithm>

namespace mirelo {
namespace {

constexpr const char* kDesigned = "mireloDesignedSize";  // the size FitOnScreen was given last

QScreen* ScreenOf(const QWidget* window) {
    QScreen* screen = window->screen();
    return screen != nullptr ? screen : QGuiApplication::primaryScreen();
}

// The frame around the client area: as the platform reports it, else (a window manager that has
// not framed the window yet) what one typically adds, a title bar and thin borders.
QMargins Frame(QWidget* window) {
    window->winId();  // the platform window, which knows its frame
    if (const QWindow* handle = window->windowHandle(); handle != nullptr && !handle->frameMargins().isNull()) {
        return handle->frameMargins();
    }
    if (QGuiApplication::platformName() == QLatin1String("offscreen") ||
        QGuiApplication::platformName() == QLatin1String("minimal")) {
        return {};
    }
    const int title = window->style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, window);
    return {4, title + 4, 4, 4};
}

// A page whose size follows its contents (a table that grows) takes its window along, as far as
// the screen allows.
class FollowPage : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Resize) {
            const auto* resize = static_cast<QResizeEvent*>(event);
            QWidget* window = static_cast<QWidget*>(watched)->window();
            const QVariant designed = window->property(kDesigned);
            if (window != watched && designed.isValid() && resize->oldSize().isValid()) {
                FitOnScreen(window, designed.toSize() + resize->size() - resize->oldSize());
            }
        }
        return false;
    }
};

}  // namespace

QScrollArea* ScrollingPage(QWidget* page) {
    auto* scroll = new QScrollArea;
    scroll->setObjectName(page->objectName() + QStringLiteral("Scroll"));
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(false);
    scroll->setFocusPolicy(Qt::NoFocus);  // the page's controls keep the tab order of the design
    scroll->setWidget(page);
    // The page shows the window's face, as it did without the scroll area.
    scroll->viewport()->setBackgroundRole(QPalette::Window);
    page->setAutoFillBackground(false);
    page->installEventFilter(new FollowPage(page));
    return scroll;
}

QSize RoomOnScreen(QWidget* window) {
    const QScreen* screen = ScreenOf(window);
    if (screen == nullptr) {
        return {QWIDGETSIZE_MAX, QWIDGETSIZE_MAX};
    }
    const QMargins frame = Frame(window);
    const QRect area = screen->availableGeometry();
    return {area.width() - frame.left() - frame.right(), area.height() - frame.top() - frame.bottom()};
}

void FitOnScreen(QWidget* window, QSize designed) {
    window->setProperty(kDesigned, designed);
    const QSize room = RoomOnScreen(window);
    window->setFixedSize(designed.boundedTo(room));
    const QScreen* screen = ScreenOf(window);
    if (screen == nullptr) {
        return;
    }
    const QMargins frame = Frame(window);
    const QRect area = screen->availableGeometry();
    QRect outer(QPoint(0, 0), window->size().grownBy(frame));
    outer.moveCenter(area.center());
    if (window->isVisible()) {
        outer.moveTopLeft(window->frameGeometry().topLeft());  // where the user put it, if it stays on the screen
    }
    // Centred where it fits; never beyond the top or the left edge, where the title bar and the menu are.
    outer.moveLeft(std::max(area.left(), std::min(outer.left(), area.right() + 1 - outer.width())));
    outer.moveTop(std::max(area.top(), std::min(outer.top(), area.bottom() + 1 - outer.height())));
    window->move(outer.topLeft());  // a top-level window's position is that of its frame
}

}  // namespace mirelo
