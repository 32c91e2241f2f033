// A mouse move as the windows' handlers take it: the buttons held (1 left,
// 2 right, 4 middle), the shift state (1 Shift, 2 Ctrl, 4 Alt) and the
// position in twips from the control's top-left corner.
#pragma once

class QMouseEvent;

namespace mouse {

struct Move {
    int button = 0;
    int shift = 0;
    float x = 0;
    float y = 0;
};

Move move(const QMouseEvent* event);

}  // namespace mouse
