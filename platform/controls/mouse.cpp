#include "controls/mouse.h"

#include <QMouseEvent>

#include "controls/twips.h"

namespace mouse {

Move move(const QMouseEvent* event) {
    Move m;
    Qt::MouseButtons buttons = event->buttons();
    if (buttons & Qt::LeftButton) m.button |= 1;
    if (buttons & Qt::RightButton) m.button |= 2;
    if (buttons & Qt::MiddleButton) m.button |= 4;
    Qt::KeyboardModifiers mods = event->modifiers();
    if (mods & Qt::ShiftModifier) m.shift |= 1;
    if (mods & Qt::ControlModifier) m.shift |= 2;
    if (mods & Qt::AltModifier) m.shift |= 4;
    m.x = static_cast<float>(event->position().x() * twips::kPerPixel);
    m.y = static_cast<float>(event->position().y() * twips::kPerPixel);
    return m;
}

}  // namespace mouse
