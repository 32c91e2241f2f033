// The folder picker: a directory list and OK and Cancel buttons, in a fixed
// dialog frame at its own place on the screen, without a taskbar entry.
#pragma once

#include "commandbutton.h"
#include "dirlistbox.h"
#include "form.h"
#include "label.h"

class Dialog : public Form {
    Q_OBJECT

  public:
    explicit Dialog(QWidget* owner = nullptr);

    Label* Label1;
    DirListBox* Dir1;
    CommandButton* OKButton;
    CommandButton* CancelButton;
};
