// The program's own pictures, rasterised when it is built and compiled into
// it: the window icon, the four special-folder pictures, the shortcut arrow
// and the hand pointer.
#pragma once

#include <QCursor>
#include <QIcon>
#include <QImage>
#include <QString>

namespace pictures {

// The monitor with tools, at 16 x 16, 32 x 32 and 64 x 64 pixels.
QIcon windowIcon();

// The hand with the pointing finger; hot spot at the finger tip (5, 0).
QCursor handCursor();

// One of "controlpanel", "dialup", "recyclebin", "network", "shortcut"
// drawn at 32 x 32 pixels (64 x 64 at a device pixel ratio of 2 when a
// screen has a scale factor above 1).
QImage icon(const QString& name);

}  // namespace pictures
