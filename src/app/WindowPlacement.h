#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

class QWidget;

// Where a window of the given frame size goes beside its owner's frame, so that neither hides
// the other: to the owner's right where the screen has room, else to its left. Where neither
// side has room but the two fit side by side, the owner moves left just enough and the window
// goes to its right. On a screen too narrow for both, the window goes to the screen's right
// edge, over the owner's right part only (its left part, where the main window shows the
// sizes, stays visible). The window's top is the owner's, moved as needed to stay on screen.
struct BesidePlacement {
    QPoint window; // top-left of the window's frame
    QPoint owner;  // top-left of the owner's frame: where it is, unless it has to move
};
BesidePlacement PlaceBeside(const QRect& owner, const QSize& size, const QRect& screen);

// Moves a top-level window to the centre of the available area of its screen.
void CentreOnScreen(QWidget& window);

// The window's size with the frame the window system adds around it. Before the window is
// first shown the frame is not known; the frame of `framed` (an already shown window) stands
// in for it.
QSize FrameSize(const QWidget& window, const QWidget& framed);
