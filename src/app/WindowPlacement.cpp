#include "app/WindowPlacement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <algorithm>

BesidePlacement PlaceBeside(const QRect& owner, const QSize& size, const QRect& screen)
{
    const int screenRight = screen.x() + screen.width();
    const int roomRight = screenRight - (owner.x() + owner.width());
    const int roomLeft = owner.x() - screen.x();
    BesidePlacement placement{{}, owner.topLeft()};
    int x = 0;
    if (size.width() <= roomRight) {
        x = owner.x() + owner.width();
    } else if (size.width() <= roomLeft) {
        x = owner.x() - size.width();
    } else if (owner.width() + size.width() <= screen.width()) {
        x = screenRight - size.width();
        placement.owner.setX(x - owner.width());
    } else {
        x = screenRight - size.width();
    }
    x = std::max(screen.x(), x);
    int y = std::min(owner.y(), screen.y() + screen.height() - size.height());
    y = std::max(y, screen.y());
    placement.window = {x, y};
    return placement;
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
