#include "controls/image.h"

#include <QPainter>

#include "controls/accessibility.h"

Image::Image(QWidget* parent) : QWidget(parent) {
    accessibility::describeAs(this, accessibility::Role::Graphic);
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_NoMousePropagation);
}

void Image::setPicture(const QImage& picture) {
    picture_ = picture;
    update();
}

void Image::setStretch(bool on) {
    stretch_ = on;
    update();
}

void Image::paintEvent(QPaintEvent*) {
    if (picture_.isNull()) return;
    QPainter painter(this);
    if (stretch_) {
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(rect(), picture_);
    } else {
        painter.drawImage(0, 0, picture_);
    }
}
