// PrefixChooser's buttons and keys.
#include <QKeyEvent>

#include "chooser/PrefixChooser.h"
#include "controls/commondialog.h"
#include "controls/msgbox.h"

void PrefixChooser::openCurrentRow() {
    const int index = prefixList->indexOfTopLevelItem(prefixList->currentItem());
    if (index < 0 || static_cast<size_t>(index) >= found_.size()) return;
    const prefixes::Prefix& p = found_[static_cast<size_t>(index)];
    open({p.path, p.name});
}

void PrefixChooser::cancel() {
    Unload();
}

void PrefixChooser::openOtherFolder() {
    const std::optional<QString> folder =
        CommonDialog::BrowseForFolder(QStringLiteral("Wine prefix folder"));
    if (!folder || folder->isEmpty()) return;
    // Named by its folder, as a folder given on the command line is.
    std::string why;
    const std::optional<wineprefix::Identity> prefix =
        wineprefix::identify(folder->toStdString(), {}, why);
    if (!prefix) {
        MsgBox(QString::fromStdString(why), msgbox::kExclamation);
        return;
    }
    open(*prefix);
}

void PrefixChooser::open(const wineprefix::Identity& prefix) {
    open_(prefix);
    opened_ = prefix;
    Unload();
}

// The list passes on the keys it does not use: Enter opens its current row,
// Escape cancels. A focused button takes Enter itself.
void PrefixChooser::keyPressEvent(QKeyEvent* event) {
    const bool plain = (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
    if (plain && event->key() == Qt::Key_Escape) {
        cancel();
    } else if (plain && (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)) {
        openCurrentRow();
    } else {
        Form::keyPressEvent(event);
    }
}
