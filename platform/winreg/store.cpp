#include "winreg/store.h"

#include <cerrno>
#include <ctime>

#include "text/ascii.h"
#include "winreg/history.h"

namespace regstore {

std::string fileMessage(const std::filesystem::path& file, std::string_view what,
                        std::string_view reason) {
    std::string text = "The registry file " + file.string() + " " + std::string(what);
    if (!reason.empty()) text += ": " + std::string(reason);
    return text + ".";
}

std::vector<std::string_view> splitKeyPath(std::string_view path) {
    std::vector<std::string_view> parts;
    while (!path.empty()) {
        size_t cut = path.find('\\');
        std::string_view part = path.substr(0, cut);
        if (!part.empty()) parts.push_back(part);
        if (cut == std::string_view::npos) break;
        path.remove_prefix(cut + 1);
    }
    return parts;
}

LONG codeForErrno(int error) {
    switch (error) {
        case ENOSPC:
        case EDQUOT:
            return ERROR_DISK_FULL;
        case EROFS:
        case EACCES:
        case EPERM:
            return ERROR_ACCESS_DENIED;
        case ENOMEM:
            return ERROR_OUTOFMEMORY;
        default:
            return ERROR_REGISTRY_IO_FAILED;
    }
}

KeyPath keyPathOf(std::string_view fullName) {
    const size_t cut = fullName.find('\\');
    const std::optional<Root> root = rootNamed(fullName.substr(0, cut));
    const std::string rest(cut == std::string_view::npos ? std::string_view()
                                                         : fullName.substr(cut + 1));
    if (root != Root::ClassesRoot) return {root.value_or(Root::LocalMachine), rest};
    return {Root::LocalMachine, std::string(kClassesPath) + (rest.empty() ? "" : "\\" + rest)};
}

Root rootOf(std::uint32_t predefined) {
    for (const RootKey& k : kRootKeys) {
        if (k.handle == predefined) return k.root;
    }
    return Root::LocalMachine;
}

std::optional<Root> rootNamed(std::string_view name) {
    for (const RootKey& k : kRootKeys) {
        if (ascii::equalNoCase(name, k.longName) || ascii::equalNoCase(name, k.shortName))
            return k.root;
    }
    return std::nullopt;
}

std::optional<KeyId> Store::root(Root r) {
    if (r == Root::ClassesRoot) return findKey(top(Root::LocalMachine), kClassesPath);
    return top(r);
}

std::optional<KeyId> Store::findKey(Root r, std::string_view path) {
    std::optional<KeyId> top = root(r);
    return top ? findKey(*top, path) : std::nullopt;
}

// A change made outside a transaction while the store keeps its history is
// a transaction of its own, so that it is kept with its entry or not at all.
class Store::Changing {
  public:
    explicit Changing(Store& store) : store_(store) {
        if (store_.recording_ && !store_.inTransaction_) {
            store_.begin();
            own_ = true;
        }
    }
    ~Changing() {
        if (own_ && !done_) {
            try {
                store_.rollback();
            } catch (...) {
            }
        }
    }
    Changing(const Changing&) = delete;
    Changing& operator=(const Changing&) = delete;

    bool recording() const { return store_.entry_ != nullptr; }
    void note(history::Step step) {
        if (store_.entry_) store_.entry_->steps.push_back(std::move(step));
    }
    void done() {
        if (!own_) return;
        store_.commit();
        done_ = true;
    }

  private:
    Store& store_;
    bool own_ = false;
    bool done_ = false;
};

Store::Store() = default;
Store::~Store() = default;

std::vector<history::Entry> Store::history() {
    return {};
}

KeyPath Store::pathOf(KeyId key) {
    return keyPathOf(keyName(key));
}

void Store::setValue(KeyId key, std::string_view name, DWORD type, std::string_view data) {
    Changing change(*this);
    std::optional<Value> before;
    if (change.recording()) {
        aboutToChange({pathOf(key)}, false);
        before = value(key, name);
    }
    putValue(key, name, type, data);
    if (change.recording() && !(before && before->type == type && before->data == data)) {
        history::Step step;
        step.key = pathOf(key);
        // A value written under another case keeps the spelling it has.
        step.name = before ? before->name : std::string(name);
        step.before = before;
        step.after = Value{step.name, type, std::string(data)};
        change.note(std::move(step));
    }
    change.done();
}

bool Store::deleteValue(KeyId key, std::string_view name) {
    Changing change(*this);
    std::optional<Value> before;
    if (change.recording()) {
        aboutToChange({pathOf(key)}, false);
        before = value(key, name);
    }
    const bool removed = removeValue(key, name);
    if (change.recording() && removed && before) {
        history::Step step;
        step.key = pathOf(key);
        step.name = before->name;
        step.before = before;
        change.note(std::move(step));
    }
    change.done();
    return removed;
}

KeyId Store::createKey(KeyId from, std::string_view path) {
    Changing change(*this);
    // How many keys at the end of the path are not there yet.
    size_t missing = 0;
    if (change.recording()) {
        // Each key of the path, for a store to tell which are there.
        std::vector<KeyPath> chain;
        KeyPath at = pathOf(from);
        for (std::string_view part : splitKeyPath(path)) {
            at.path += (at.path.empty() ? "" : "\\") + std::string(part);
            chain.push_back(at);
        }
        aboutToChange(chain, false);
    }
    if (change.recording()) {
        std::optional<KeyId> at = from;
        for (std::string_view part : splitKeyPath(path)) {
            if (at) at = findKey(*at, part);
            if (!at) ++missing;
        }
    }
    const KeyId key = makeKey(from, path);
    if (missing > 0) {
        // Each key made, from the highest down, by the names it has now.
        const KeyPath made = pathOf(key);
        const std::vector<std::string_view> parts = splitKeyPath(made.path);
        for (size_t n = parts.size() - std::min(missing, parts.size()); n < parts.size(); ++n) {
            history::Step step;
            step.key.root = made.root;
            for (size_t i = 0; i <= n; ++i) {
                if (i) step.key.path += '\\';
                step.key.path += parts[i];
            }
            step.isKey = true;
            step.keyAfter = true;
            change.note(std::move(step));
        }
    }
    change.done();
    return key;
}

bool Store::deleteKey(KeyId key) {
    Changing change(*this);
    history::Step step;
    if (change.recording()) aboutToChange({pathOf(key)}, true);
    if (change.recording() && keyExists(key)) {
        step.key = pathOf(key);
        step.isKey = true;
        step.keyBefore = history::contentOf(*this, step.key);
    }
    const bool removed = removeKey(key);
    if (removed && step.keyBefore) change.note(std::move(step));
    change.done();
    return removed;
}

void Store::begin() {
    beginChanges();
    inTransaction_ = true;
    entry_ = recording_ ? std::make_unique<history::Entry>() : nullptr;
}

void Store::commit() {
    std::unique_ptr<history::Entry> entry = std::move(entry_);
    inTransaction_ = false;
    if (entry && !entry->steps.empty()) {
        entry->time = static_cast<std::int64_t>(std::time(nullptr));
        entry->origin = history::Origin::current();
        commitChanges(entry.get());
    } else {
        commitChanges(nullptr);
    }
}

void Store::rollback() {
    entry_.reset();
    inTransaction_ = false;
    rollbackChanges();
}

KeyId Store::createKey(Root r, std::string_view path) {
    Changing change(*this);
    const KeyId key = r == Root::ClassesRoot
                          ? createKey(createKey(*root(Root::LocalMachine), kClassesPath), path)
                          : createKey(*root(r), path);
    change.done();
    return key;
}

}  // namespace regstore
