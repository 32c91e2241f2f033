#include "controls/frame.h"

Frame::Frame(const QString& caption, QWidget* parent) : QGroupBox(caption, parent) {
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_NoMousePropagation);
    setAutoFillBackground(true);
}
