// The program's own pictures, compiled into it: the window icon, the four
// special-folder pictures, the shortcut arrow and the hand pointer.
#pragma once

#include <QCursor>
#include <QIcon>
#include <QImage>
#include <QString>

namespace pictures {

// The monitor with tools, at 16 x 16 and 32 x 32 pixels.
QIcon windowIcon();

// The hand with the pointing finger; hot spot at the finger tip (5, 0).
QCursor handCursor();

// One of "controlpanel", "dialup", "recyclebin", "network", "shortcut"
// drawn at 32 x 32 pixels.
QImage icon(const QString& name);

}  // namespace pictures
