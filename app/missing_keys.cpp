#include "app/missing_keys.h"

#include <QString>
#include <algorithm>

#include "controls/msgbox.h"
#include "dotreg/dotreg.h"
#include "machine/machine.h"
#include "registry/catalogue.h"
#include "text/casefold.h"
#include "winreg/current_store.h"
#include "winreg/history.h"

namespace missing_keys {
namespace {

struct Missing {
    regstore::Root root;
    std::string path;
    std::string name;  // in full, for the user
};

std::vector<Missing> missing(regstore::Store* store) {
    std::vector<Missing> out;
    for (const catalogue::Row& row : catalogue::kRows) {
        const regstore::Root root = regstore::rootOf(row.root);
        if (store && store->findKey(root, row.keyPath)) continue;
        std::string name = std::string(regstore::rootKey(root).longName) + "\\" + row.keyPath;
        const std::string fold = casefold::fold(name);
        if (std::any_of(out.begin(), out.end(),
                        [&](const Missing& m) { return casefold::fold(m.name) == fold; }))
            continue;
        out.push_back({root, row.keyPath, std::move(name)});
    }
    return out;
}

}  // namespace

std::vector<regstore::KeyPath> settingsKeys() {
    std::vector<regstore::KeyPath> out;
    for (Missing& k : missing(nullptr)) out.push_back({k.root, std::move(k.path)});
    return out;
}

void offer() {
    const machine::Machine& m = machine::current();
    regstore::Store* store = regstore::current();
    // Only a prefix that takes changes now: not while a Wine runs there that
    // cannot be used or a file cannot be read (the start-up message said so).
    if (!m.isWinePrefix() || !store || regstore::state() != regstore::State::Ok ||
        !regstore::problem().empty())
        return;
    std::vector<Missing> keys;
    try {
        keys = missing(store);
    } catch (const std::exception&) {
        return;  // a file that cannot be read: said at start, nothing to offer
    }
    if (keys.empty()) return;
    QString list;
    for (const Missing& k : keys) list += QString::fromStdString(k.name) + QLatin1Char('\n');
    const QString prompt =
        QStringLiteral(
            "The Wine prefix %1 lacks these registry keys, so the settings kept in "
            "them cannot be changed:\n\n%2\nCreate them now, empty?")
            .arg(QString::fromStdString(m.prefix().string()), list);
    if (MsgBox(prompt, msgbox::kYesNo | msgbox::kQuestion, QStringLiteral("Knobwise")) !=
        msgbox::kYes)
        return;
    const history::Origin origin("Yes to creating the missing keys");
    bool begun = false;
    try {
        store->begin();
        begun = true;
        for (const Missing& k : keys) store->createKey(k.root, k.path);
        begun = false;
        store->commit();
    } catch (const std::exception& e) {
        if (begun) store->rollback();
        MsgBox(QStringLiteral("The keys could not be created:\n\n") + QString::fromUtf8(e.what()),
               msgbox::kExclamation, QStringLiteral("Knobwise"));
    }
}

}  // namespace missing_keys
