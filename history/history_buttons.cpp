// HistoryWindow's buttons and keys.
#include <QKeyEvent>
#include <algorithm>
#include <string_view>
#include <vector>

#include "controls/msgbox.h"
#include "history/HistoryWindow.h"
#include "machine/machine.h"
#include "winreg/current_store.h"
#include "winreg/history.h"

namespace {

// How history::undo ends a refusal over a later change: with knobreg's way
// to force it, which the window words as a command of its own.
constexpr std::string_view kForceHint = "; /f takes the change back all the same";

// A word for the shell: as it is when nothing in it is special there,
// otherwise in single quotes.
std::string shellWord(const std::string& word) {
    const bool plain = !word.empty() && std::all_of(word.begin(), word.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               std::string_view("/._-+,:@%").find(c) != std::string_view::npos;
    });
    if (plain) return word;
    std::string out = "'";
    for (char c : word) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

}  // namespace

std::string HistoryWindow::refusal(const std::string& why, std::size_t number) {
    if (!why.ends_with(kForceHint)) return why.ends_with('.') ? why : why + ".";
    const machine::Machine& on = machine::current();
    const std::string knobreg = on.isWinePrefix()
                                    ? "knobreg --wine-prefix " + shellWord(on.prefix().string())
                                    : std::string("knobreg");
    const std::string change = "change " + std::to_string(number);
    return why.substr(0, why.size() - kForceHint.size()) + ", so Undo leaves " + change +
           " as it is.\n\nIt can only be taken back all the same, over the later change, with "
           "the command\n\n" +
           knobreg + " undo " + std::to_string(number) + " /f";
}

void HistoryWindow::undoSelected() {
    const QTreeWidgetItem* item = changeList->currentItem();
    regstore::Store* store = regstore::current();
    if (!item || !store) return;
    const qint64 id = item->data(0, kIdRole).toLongLong();
    std::size_t number = 0;
    try {
        // Changes made since the list was read move the selected one down:
        // it is found again by its id.
        const std::vector<history::Entry> entries = store->history();
        const auto at = std::find_if(entries.begin(), entries.end(),
                                     [id](const history::Entry& e) { return e.id == id; });
        if (at == entries.end()) {
            MsgBox(QStringLiteral("That change is no longer kept, and cannot be taken back."),
                   msgbox::kExclamation);
            refresh();
            return;
        }
        number = static_cast<std::size_t>(at - entries.begin()) + 1;
        const history::Origin origin("the History window");
        history::undo(*store, number, /*force*/ false);
    } catch (const regstore::Error& e) {
        MsgBox(QString::fromStdString(refusal(e.what(), number)), msgbox::kExclamation);
        return;
    }
    refresh();
}

void HistoryWindow::closeWindow() {
    Unload();
}

// Escape closes the window. Enter does nothing in the list: a change is
// taken back with Undo only.
void HistoryWindow::keyPressEvent(QKeyEvent* event) {
    const bool plain = (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
    if (plain && event->key() == Qt::Key_Escape) {
        closeWindow();
    } else {
        Form::keyPressEvent(event);
    }
}
