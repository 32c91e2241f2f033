#include "controls/label.h"

#include <QMouseEvent>
#include <QPainter>

#include "controls/accessibility.h"
#include "controls/colors.h"
#include "controls/mouse.h"

Label::Label(const QString& caption, QWidget* parent, Kind kind) : QLabel(parent) {
    if (kind == Link) accessibility::describeAs(this, accessibility::Role::Link);
    setTextFormat(Qt::PlainText);
    setWordWrap(true);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setFocusPolicy(Qt::NoFocus);
    setAutoFillBackground(true);
    setMouseTracking(true);
    setAttribute(Qt::WA_NoMousePropagation);
    setText(caption);
}

std::uint32_t Label::ForeColor() const {
    return colors::toBGR(palette().color(QPalette::WindowText));
}

void Label::setForeColor(std::uint32_t bgr) {
    QPalette p = palette();
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        p.setColor(group, QPalette::WindowText, colors::fromBGR(bgr));
    }
    setPalette(p);
}

std::uint32_t Label::BackColor() const {
    return colors::toBGR(palette().color(QPalette::Window));
}

void Label::setBackColor(std::uint32_t bgr) {
    QPalette p = palette();
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        p.setColor(group, QPalette::Window, colors::fromBGR(bgr));
    }
    setPalette(p);
}

void Label::setFontUnderline(bool on) {
    QFont f = font();
    f.setUnderline(on);
    setFont(f);
}

void Label::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRect area = contentsRect();
    QFont f = font();
    int flags = Qt::AlignLeft | Qt::AlignTop;
    if (area.height() < 2 * QFontMetrics(f).lineSpacing()) {
        flags |= Qt::TextSingleLine;
        // A font without a stretch of its own draws as at 100 and is tried
        // as it is: setting 100 would make it a second font to resolve.
        const bool plain = f.stretch() == QFont::AnyStretch || f.stretch() == 100;
        for (int stretch = 100; stretch > 60; --stretch) {
            if (stretch != 100 || !plain) f.setStretch(stretch);
            if (QFontMetrics(f).horizontalAdvance(text()) <= area.width()) break;
        }
    } else {
        flags |= Qt::TextWordWrap;
    }
    painter.setFont(f);
    painter.setPen(palette().color(foregroundRole()));
    painter.drawText(area, flags, text());
}

void Label::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) pressed_ = true;
    QLabel::mousePressEvent(event);
}

void Label::mouseReleaseEvent(QMouseEvent* event) {
    bool click = pressed_ && event->button() == Qt::LeftButton &&
                 rect().contains(event->position().toPoint());
    pressed_ = false;
    QLabel::mouseReleaseEvent(event);
    if (click) emit Click();
}

void Label::mouseMoveEvent(QMouseEvent* event) {
    QLabel::mouseMoveEvent(event);
    event->accept();
    mouse::Move m = mouse::move(event);
    emit MouseMove(m.button, m.shift, m.x, m.y);
}
