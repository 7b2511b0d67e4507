#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

class QWidget;

// Where a window of the given frame size goes beside its owner's frame: to the owner's right
// where the screen has room, else to its left, else at the screen's right edge (covering the
// owner's right part only), kept on the screen. Its top is the owner's top, moved up or down as far as needed to stay on the screen.
QPoint PlaceBeside(const QRect& owner, const QSize& size, const QRect& screen);

// Moves a top-level window to the centre of the available area of its screen.
void CentreOnScreen(QWidget& window);

// The window's size with the frame the window system adds around it. Before the window is
// first shown the frame is not known; the frame of `framed` (an already shown window) stands
// in for it.
QSize FrameSize(const QWidget& window, const QWidget& framed);
