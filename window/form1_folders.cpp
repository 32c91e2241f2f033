// The "Create as file" buttons of page "System Folders": each tells a fresh
// folder picker which special folder is wanted and shows it modally.
#include "folders/Dialog.h"
#include "window/Form1.h"

namespace {

void pickFolderFor(const QString& tag) {
    // A new dialog each time, with no owner: it remembers nothing of the last.
    Dialog dialog;
    dialog.Load();
    dialog.setTag(tag);
    dialog.ShowModal();
}

}  // namespace

void Form1::Command2_Click() {
    pickFolderFor(QStringLiteral("control"));
}

void Form1::Command3_Click() {
    pickFolderFor(QStringLiteral("dial"));
}

void Form1::Command4_Click() {
    pickFolderFor(QStringLiteral("rec"));
}

void Form1::Command5_Click() {
    pickFolderFor(QStringLiteral("net"));
}
