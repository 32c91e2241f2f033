#include "controls/picturebox.h"

#include <QPainter>
#include <QResizeEvent>

#include "controls/accessibility.h"
#include "graphics/gdi.h"

PictureBox::PictureBox(QWidget* parent) : QFrame(parent) {
    accessibility::describeAs(this, accessibility::Role::Graphic);
    setFrameStyle(QFrame::WinPanel | QFrame::Sunken);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_NoMousePropagation);
    setAutoFillBackground(true);
    dc_ = gdi::createDC(&image_);
    fitImage();
}

PictureBox::~PictureBox() {
    gdi::deleteDC(dc_);
}

void PictureBox::setAutoSize(bool on) {
    autoSize_ = on;
}

void PictureBox::setAutoRedraw(bool on) {
    autoRedraw_ = on;
    update();
}

void PictureBox::setPicture(const QImage& picture) {
    if (autoSize_ && !picture.isNull()) {
        int border = frameWidth() * 2;
        resize(picture.width() + border, picture.height() + border);
    }
    fitImage();
    QPainter painter(&image_);
    painter.drawImage(0, 0, picture);
    painter.end();
    update();
}

HDC PictureBox::hDC() {
    fitImage();
    return dc_;
}

void PictureBox::Refresh() {
    if (isVisible()) repaint();
}

void PictureBox::paintEvent(QPaintEvent* event) {
    QFrame::paintEvent(event);
    if (!autoRedraw_) return;
    QPainter painter(this);
    painter.drawImage(contentsRect().topLeft(), image_);
}

void PictureBox::resizeEvent(QResizeEvent* event) {
    QFrame::resizeEvent(event);
    fitImage();
}

void PictureBox::fitImage() {
    QSize size = contentsRect().size().expandedTo(QSize(1, 1));
    if (image_.size() == size) return;
    // Keep what is drawn where it still fits, on the box's background.
    QImage grown(size, QImage::Format_ARGB32_Premultiplied);
    grown.fill(palette().color(QPalette::Button));
    if (!image_.isNull()) {
        QPainter painter(&grown);
        painter.drawImage(0, 0, image_);
    }
    image_ = grown;  // assignment keeps image_'s address, which dc_ names
}
