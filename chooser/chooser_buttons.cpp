// PrefixChooser's buttons and keys.
#include <QKeyEvent>

#include "chooser/PrefixChooser.h"
#include "controls/commondialog.h"
#include "controls/msgbox.h"

void PrefixChooser::OKButton_Click() {
    const int index = List1->indexOfTopLevelItem(List1->currentItem());
    if (index < 0 || static_cast<size_t>(index) >= found_.size()) return;
    open({found_[static_cast<size_t>(index)].path, found_[static_cast<size_t>(index)].name});
}

void PrefixChooser::CancelButton_Click() {
    Unload();
}

void PrefixChooser::OtherButton_Click() {
    const std::optional<QString> folder =
        CommonDialog::BrowseForFolder(QStringLiteral("Wine prefix folder"));
    if (!folder || folder->isEmpty()) return;
    // Named by its folder, as a folder given on the command line is.
    open({folder->toStdString(), {}});
}

void PrefixChooser::open(const Pick& pick) {
    if (const std::optional<std::string> why = open_(pick)) {
        MsgBox(QString::fromStdString(*why), msgbox::kExclamation);
        return;
    }
    opened_ = pick;
    Unload();
}

// The list passes on the keys it does not use: Enter opens its current row,
// Escape cancels. A focused button takes Enter itself.
void PrefixChooser::keyPressEvent(QKeyEvent* event) {
    const bool plain = (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
    if (plain && event->key() == Qt::Key_Escape) {
        CancelButton_Click();
    } else if (plain && (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)) {
        OKButton_Click();
    } else {
        Form::keyPressEvent(event);
    }
}
