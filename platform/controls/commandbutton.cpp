#include "controls/commandbutton.h"

#include <QKeyEvent>

CommandButton::CommandButton(const QString& caption, QWidget* parent)
    : QPushButton(caption, parent) {
    setAutoDefault(false);
    setDefault(false);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_NoMousePropagation);
    connect(this, &QPushButton::clicked, this, &CommandButton::Click);
}

// A focused push button acts as its window's default button while it has
// the focus: Enter presses it at once, as Qt's auto-default buttons do in a
// QDialog. Other windows would pass the key on to the window, unused.
void CommandButton::keyPressEvent(QKeyEvent* event) {
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        click();
        return;
    }
    QPushButton::keyPressEvent(event);
}
