// A command button. Its caption's ampersand marks the access key; it is
// nobody's default or cancel button unless made so. Space and Enter press it
// while it has the focus.
#pragma once

#include <QPushButton>

class CommandButton : public QPushButton {
    Q_OBJECT

  public:
    explicit CommandButton(const QString& caption, QWidget* parent = nullptr);

    QString Caption() const { return text(); }
    void setCaption(const QString& caption) { setText(caption); }

  signals:
    void Click();

  protected:
    void keyPressEvent(QKeyEvent* event) override;
};
