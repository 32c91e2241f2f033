// Dialog's buttons: OK makes the special folder the tag names inside the
// folder picked in Dir1; Cancel makes nothing.
#include "controls/filesystem.h"
#include "controls/msgbox.h"
#include "folders/Dialog.h"

void Dialog::OKButton_Click() {
    const QString tag = Tag();
    if (tag == QLatin1String("control")) {
        foldername = QStringLiteral("Control Panel.{21EC2020-3AEA-1069-A2DD-08002B30309D}");
    }
    if (tag == QLatin1String("dial")) {
        foldername = QStringLiteral("DUN.{992CFFA0-F557-101A-88EC-00DD010CCC48}");
    }
    if (tag == QLatin1String("rec")) {
        foldername = QStringLiteral("Recycle Bin.{645FF040-5081-101B-9F08-00AA002F954E}");
    }
    if (tag == QLatin1String("net")) {
        foldername = QStringLiteral("Network Neighborhood.{208D2C60-3AEA-1069-A2D7-08002B30309D}");
    }

    const QString folder = Dir1->Path();
    // A drive's root ends in a backslash already; no other path does.
    const QString target =
        folder.endsWith(u'\\') ? folder + foldername : folder + u'\\' + foldername;
    try {
        MkDir(target);
    } catch (const DirectoryError& error) {
        // The dialog stays open, so that another folder can be picked.
        MsgBox(QStringLiteral("The folder\n\n%1\n\ncould not be made. %2")
                   .arg(target, QString::fromStdString(error.what())),
               msgbox::kExclamation);
        return;
    }
    Unload();
}

void Dialog::CancelButton_Click() {
    Unload();
}
