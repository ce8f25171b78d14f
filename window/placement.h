#pragma once

#include <QMargins>
#include <QPoint>
#include <QRect>
#include <QSize>

class QWidget;

// Where a window's frame goes: centred on the screen's available area; where
// it does not fit, its title bar and left edge stay on it, so that it can
// still be moved and closed with the mouse.
QPoint centredFramePosition(const QRect& available, const QMargins& frame, QSize window);

// Shows the window, its frame included, placed so. Windows knows the frame
// before the window shows; an X window manager adds its own as it maps the
// window, which is placed again when it is first exposed in it.
void showCentred(QWidget* window);
