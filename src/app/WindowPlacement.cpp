#include "app/WindowPlacement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <algorithm>

QPoint PlaceBeside(const QRect& owner, const QSize& size, const QRect& screen)
{
    const int roomRight = screen.x() + screen.width() - (owner.x() + owner.width());
    const int roomLeft = owner.x() - screen.x();
    int x = 0;
    if (size.width() <= roomRight) {
        x = owner.x() + owner.width();
    } else if (size.width() <= roomLeft) {
        x = owner.x() - size.width();
    } else {
        // No room on either side: at the screen's right edge, over the owner's right part
        // only, so that its left part (where the main window shows the sizes) stays visible.
        x = screen.x() + screen.width() - size.width();
    }
    x = std::max(screen.x(), std::min(x, screen.x() + screen.width() - size.width()));
    int y = std::min(owner.y(), screen.y() + screen.height() - size.height());
    y = std::max(y, screen.y());
    return {x, y};
}

void CentreOnScreen(QWidget& window)
{
    const QScreen* screen = window.screen();
    if (screen == nullptr) {
        screen = QGuiApplication::primaryScreen();
    }
    if (screen == nullptr) {
        return;
    }
    QRect frame = window.frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    window.move(frame.topLeft());
}

QSize FrameSize(const QWidget& window, const QWidget& framed)
{
    if (window.isVisible()) {
        return window.frameGeometry().size();
    }
    return window.size() + (framed.frameGeometry().size() - framed.size());
}
