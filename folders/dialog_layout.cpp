// Dialog's controls; positions and sizes in twips.
#include "controls/twips.h"
#include "folders/Dialog.h"
#include "pictures/pictures.h"

Dialog::Dialog(QWidget* owner)
    : Form(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                      Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                      Qt::MSWindowsFixedSizeDialogHint) {
    setWindowTitle(QStringLiteral("Dialog Caption"));
    setWindowIcon(pictures::windowIcon());
    setShowInTaskbar(false);
    // The client area's top-left corner at its stored place on the screen.
    setGeometry(twips::rect(2760, 3750, 4065, 3480));
    setClientSize(4065, 3480);

    Label1 =
        new Label(QStringLiteral("Please select the Folder you want to put the file in."), this);
    Label1->setGeometry(twips::rect(120, 120, 2535, 375));
    Dir1 = new DirListBox(this);
    Dir1->setGeometry(twips::rect(120, 600, 2535, 2790));
    setTabIndex(Dir1, 2);
    // Named by the label above it, which says what to pick.
    Label1->setBuddy(Dir1);
    Dir1->setAccessibleName(Label1->Caption());
    OKButton = new CommandButton(QStringLiteral("OK"), this);
    OKButton->setGeometry(twips::rect(2760, 600, 1215, 375));
    setTabIndex(OKButton, 0);
    CancelButton = new CommandButton(QStringLiteral("Cancel"), this);
    CancelButton->setGeometry(twips::rect(2760, 1080, 1215, 375));
    setTabIndex(CancelButton, 1);
    applyTabIndexes();
    connect(OKButton, &CommandButton::Click, this, &Dialog::OKButton_Click);
    connect(CancelButton, &CommandButton::Click, this, &Dialog::CancelButton_Click);
}
