#include "controls/textbox.h"

#include <QKeyEvent>
#include <QVariant>
#include <limits>

TextBox::TextBox(QWidget* parent) : QLineEdit(parent) {
    setAttribute(Qt::WA_NoMousePropagation);
    // No limit of length: Qt's line edit would cut a text at 32,767
    // characters, and an Apply would then write the cut text back.
    setMaxLength(std::numeric_limits<int>::max());
}

void TextBox::setPasswordChar(const QString& mask) {
    // The style reads the character from this property.
    setProperty("PasswordChar", mask.left(1));
    if (mask.isEmpty()) {
        setEchoMode(QLineEdit::Normal);
        setInputMethodHints(Qt::ImhNone);
    } else {
        // Qt's password mode already refuses copy, cut and drag.
        setEchoMode(QLineEdit::Password);
        setInputMethodHints(Qt::ImhHiddenText | Qt::ImhNoPredictiveText | Qt::ImhSensitiveData);
    }
    update();
}

QString TextBox::PasswordChar() const {
    return property("PasswordChar").toString();
}

void TextBox::keyPressEvent(QKeyEvent* event) {
    // A masked box ignores copy and cut altogether: Qt's line edit would not
    // copy, but its cut would still delete the selection.
    if (echoMode() != QLineEdit::Normal &&
        (event->matches(QKeySequence::Copy) || event->matches(QKeySequence::Cut))) {
        event->accept();
        return;
    }
    QLineEdit::keyPressEvent(event);
}
