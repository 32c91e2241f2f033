// The two buttons that act at once: the toolbar background chosen with the
// file dialog (written only by Apply or OK), and the Hearts cheat, written
// straight away.
#include "controls/msgbox.h"
#include "controls/picture.h"
#include "registry/catalogue_io.h"
#include "window/Form1.h"
#include "window/unsaved_settings.h"
#include "winreg/history.h"

void Form1::Command6_Click() {
    CommonDialog1.setFilter(QStringLiteral("Compatable Backgrounds|*.bmp"));
    const QString earlier = CommonDialog1.FileName();
    CommonDialog1.ShowOpen();
    // A cancel keeps the file chosen before, which is shown and marked again.
    if (CommonDialog1.FileName() == QString()) return;
    QImage picture;
    try {
        picture = LoadPicture(CommonDialog1.FileName());
    } catch (const PictureError& error) {
        // Nothing changes: not the picture, its mark or the check box, nor
        // the file that Apply saves, which stays the one that is shown.
        CommonDialog1.setFileName(earlier);
        MsgBox(QStringLiteral("The background could not be shown.\n\n") +
                   QString::fromStdString(error.what()),
               msgbox::kExclamation);
        return;
    }
    Image6->setPicture(picture);
    Image6->setTag(QStringLiteral("dirty"));
    Check6->setValue(1);
}

void Form1::Command7_Click() {
    const history::Origin origin("the Hearts button");
    unsaved_settings::forget();
    catalogue::set(catalogue::HeartsZB, QStringLiteral("86"));
    unsaved_settings::tell({catalogue::HeartsZB.label});
}
