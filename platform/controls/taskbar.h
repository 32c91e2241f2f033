// Keeping a window off the desktop's taskbar.
#pragma once

class QWidget;

namespace taskbar {

// Asks the window manager not to list the top-level window on the taskbar.
// Called when the window is about to be shown; does nothing where there is
// no X11 display (offscreen, Wayland).
void leaveOff(QWidget* window);

}  // namespace taskbar
