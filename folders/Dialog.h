// The folder picker: a directory list and OK and Cancel buttons, in a fixed
// dialog frame at its own place on the screen, without a taskbar entry.
#pragma once

#include "controls/commandbutton.h"
#include "controls/dirlistbox.h"
#include "controls/form.h"
#include "controls/label.h"

class Dialog : public Form {
    Q_OBJECT

  public:
    explicit Dialog(QWidget* owner = nullptr);

    Label* Label1;
    DirListBox* Dir1;
    CommandButton* OKButton;
    CommandButton* CancelButton;

    // OK makes the folder the tag asks for in the folder picked, then closes
    // the dialog; Cancel closes it and makes nothing.
    void OKButton_Click();
    void CancelButton_Click();

    // The name of the folder to make, chosen from the tag when OK is pressed.
    QString foldername;
};
