// A single-line text box. With a password character it shows that
// character for every character it holds and lets nothing be copied, cut or
// dragged out of it.
#pragma once

#include <QLineEdit>

class TextBox : public QLineEdit {
    Q_OBJECT

  public:
    explicit TextBox(QWidget* parent = nullptr);

    QString Text() const { return text(); }
    // setText is QLineEdit's own.

    // "" shows the text as it is; otherwise the first character stands in
    // for every character of the text.
    void setPasswordChar(const QString& mask);
    QString PasswordChar() const;

  protected:
    void keyPressEvent(QKeyEvent* event) override;
};
