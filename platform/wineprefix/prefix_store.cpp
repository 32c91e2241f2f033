#include "wineprefix/prefix_store.h"

#include <algorithm>
#include <system_error>
#include <vector>

#include "text/casefold.h"
#include "wineprefix/prefix_identity.h"
#include "wineprefix/prefix_store_impl.h"

namespace regstore {
namespace {

namespace fs = std::filesystem;

constexpr KeyId kLocalMachine = kLocalMachineKey;
constexpr KeyId kCurrentUser = kCurrentUserKey;

std::string unreadable(const LockedFile& disk, const std::string& why) {
    return fileMessage(disk.path(), "cannot be read", why);
}

// The two roots, each of its file.
Keys rootKeys() {
    Keys keys;
    keys.addRoot(rootKey(Root::LocalMachine).longName, kLocalMachineFile);
    keys.addRoot(rootKey(Root::CurrentUser).longName, kCurrentUserFile);
    return keys;
}

}  // namespace

PrefixStore::Impl::File::File(Keys& keys, const fs::path& path, KeyId root)
    : disk(path), text(keys, root, [this](const wine_format::ParseError& e) {
          if (damage.empty()) damage = unreadable(disk, e.what());
      }) {}

PrefixStore::Impl::Impl(fs::path prefix, std::shared_ptr<LiveWine> live,
                        std::vector<KeyPath> liveKeys)
    : prefix(std::move(prefix)),
      live(std::move(live)),
      liveKeys(std::move(liveKeys)),
      keys(rootKeys()),
      localMachine(keys, this->prefix / wineprefix::kSystemFile, kLocalMachine),
      currentUser(keys, this->prefix / wineprefix::kUserFile, kCurrentUser) {}

// Reads both files, a file that cannot be read noted as damaged; then,
// while a server runs, the live keys' values from it.
void PrefixStore::Impl::loadBoth() {
    for (int f : {kLocalMachineFile, kCurrentUserFile}) {
        File& file = this->file(f);
        try {
            reload(f);
        } catch (const wine_format::ParseError& e) {
            file.damage = unreadable(file.disk, e.what());
        } catch (const std::system_error& e) {
            file.damage = unreadable(file.disk, e.code().message());
        } catch (const std::exception& e) {
            file.damage = unreadable(file.disk, e.what());
        }
    }
    if (!live || liveKeys.empty()) return;
    const LiveWine::Server s = live->server();
    if (s.state == LiveWine::State::Usable) readLive(s.id);
}

KeyLines& PrefixStore::Impl::present(KeyId id) {
    KeyLines* n = node(id);
    if (!n) throw Error(ERROR_KEY_DELETED, "The key has been deleted.");
    return *n;
}

// Reads the file as it is on disk now, through its lock when `locked`.
void PrefixStore::Impl::reload(int f, bool locked) {
    File& file = this->file(f);
    struct stat st {};
    std::string text = locked ? file.disk.readLocked(&st) : file.disk.read(&st);
    file.text.load(std::move(text));
    file.changed = false;
    file.overlaid = false;
    file.disk.setKnown(st);
}

// Takes the file's lock, reading the file again when another writer has
// changed it since, or when memory holds what a running Wine had.
void PrefixStore::Impl::lock(int f) {
    File& file = this->file(f);
    if (!file.disk.lock() && !file.overlaid) return;
    try {
        reload(f, true);
    } catch (const wine_format::ParseError& e) {
        unlock(f);
        file.damage = unreadable(file.disk, e.what());
        throw Refused(ERROR_ACCESS_DENIED, file.damage);
    } catch (const std::system_error& e) {
        unlock(f);
        throw Error(codeForErrno(e.code().value()), e.what());
    }
}

bool PrefixStore::Impl::mayChange() {
    for (const File* file : both()) {
        if (!file->damage.empty())
            throw Refused(ERROR_ACCESS_DENIED, "The Wine prefix " + prefix.string() +
                                                   " is used read-only. " + file->damage);
    }
    if (!live) return false;
    const LiveWine::Server s = live->server();
    if (s.state == LiveWine::State::None) return false;
    if (s.state == LiveWine::State::Unusable) throw Refused(ERROR_ACCESS_DENIED, s.reason);
    // A server started since the values were read: what it holds is newer.
    if (s.id != liveServer) readLive(s.id);
    return true;
}

std::string PrefixStore::Impl::startedMessage() const {
    return "Wine has started in " + prefix.string() +
           " while the change was being made; nothing was written. Try again.";
}

// Writes the file with the changes made to it.
void PrefixStore::Impl::write(int f) {
    File& file = this->file(f);
    Rewrite r = file.text.serialize();
    file.disk.replace(r.text);
    file.text.adopt(std::move(r));
    file.changed = false;
}

bool PrefixStore::Impl::change(int f, const std::function<bool()>& fn) {
    File& file = this->file(f);
    if (inTransaction) {
        if (liveMode) {
            const bool changed = fn();
            file.overlaid = file.overlaid || changed;
            return changed;
        }
        if (mayChange()) throw Refused(ERROR_ACCESS_DENIED, startedMessage());
        mayWrite(f);
        const bool changed = fn();
        file.changed = file.changed || changed;
        return changed;
    }
    if (mayChange()) {
        liveMode = true;
        pending.clear();
        try {
            const bool changed = fn();
            if (changed) {
                file.overlaid = true;
                importPending();
            }
            liveMode = false;
            return changed;
        } catch (...) {
            liveMode = false;
            pending.clear();
            refresh();
            throw;
        }
    }
    lock(f);
    try {
        // Under the lock: the file may just have been read again.
        if (mayChange()) throw Refused(ERROR_ACCESS_DENIED, startedMessage());
        mayWrite(f);
        const bool changed = fn();
        if (changed) write(f);
        unlock(f);
        return changed;
    } catch (...) {
        // Read from the path, not the locked file: a failure after the
        // rename leaves the new file there.
        try {
            reload(f);
        } catch (...) {
        }
        unlock(f);
        throw;
    }
}

void PrefixStore::Impl::endTransaction() {
    inTransaction = false;
    liveMode = false;
    pending.clear();
    fresh.clear();
    unlock(kLocalMachineFile);
    unlock(kCurrentUserFile);
}

PrefixStore::PrefixStore(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

// Everything but where(), writable(), writeProblem() and textData() needs the
// files read, which they are on a thread of their own from open() on.
PrefixStore::Impl& PrefixStore::loaded() const {
    impl_->ready();
    return *impl_;
}

PrefixStore::~PrefixStore() {
    Impl& impl = loaded();
    for (Impl::File* file : impl.both()) file->disk.unlock();
}

std::unique_ptr<PrefixStore> PrefixStore::open(const fs::path& prefix,
                                               std::shared_ptr<LiveWine> live,
                                               std::vector<KeyPath> liveKeys,
                                               const fs::path& history) {
    // HKEY_CLASSES_ROOT is read where it lies, below HKEY_LOCAL_MACHINE.
    for (KeyPath& k : liveKeys) {
        if (k.root != Root::ClassesRoot) continue;
        k.root = Root::LocalMachine;
        k.path = std::string(kClassesPath) + "\\" + k.path;
    }
    auto impl = std::make_unique<Impl>(prefix, std::move(live), std::move(liveKeys));
    // Each prefix's history goes by its real path.
    std::error_code ec;
    const fs::path real = fs::weakly_canonical(prefix, ec);
    if (!history.empty())
        impl->journal =
            std::make_unique<historydb::Journal>(history, (ec ? prefix : real).string());
    impl->loading = std::async(std::launch::async, [i = impl.get()] { i->loadBoth(); });
    return std::unique_ptr<PrefixStore>(new PrefixStore(std::move(impl)));
}

std::string PrefixStore::damage() const {
    Impl& impl = loaded();
    std::string out;
    for (const Impl::File* file : impl.both()) {
        if (file->damage.empty()) continue;
        if (!out.empty()) out += "\n";
        out += file->damage;
    }
    return out;
}

std::string PrefixStore::where() const {
    return impl_->prefix.string();
}

// Keys open with write rights even when a file cannot be written: its
// settings are shown, and each change to it is refused, naming the file.
bool PrefixStore::writable() const {
    return true;
}

std::string PrefixStore::writeProblem() const {
    std::string out;
    for (const Impl::File* file : impl_->both()) {
        std::string why = file->disk.writeProblem();
        if (why.empty()) continue;
        if (!out.empty()) out += ' ';
        out += why;
    }
    return out;
}

std::string PrefixStore::writeProblem(Root root) const {
    return (root == Root::CurrentUser ? impl_->currentUser : impl_->localMachine)
        .disk.writeProblem();
}

KeyId PrefixStore::top(Root r) {
    Impl& impl = loaded();
    // A root whose file cannot be read fails as such: its keys are not
    // merely missing, and changes to them are not merely skipped.
    const bool user = r == Root::CurrentUser;
    const Impl::File& file = user ? impl.currentUser : impl.localMachine;
    if (!file.damage.empty()) throw Error(ERROR_REGISTRY_IO_FAILED, file.damage);
    return user ? kCurrentUser : kLocalMachine;
}

std::optional<KeyId> PrefixStore::findKey(KeyId from, std::string_view path) {
    Impl& impl = loaded();
    if (!impl.node(from)) return std::nullopt;
    KeyId id = from;
    for (std::string_view part : splitKeyPath(path)) {
        std::optional<KeyId> c = impl.keys.tree.find(id, part);
        if (!c) return std::nullopt;
        id = *c;
    }
    return id;
}

bool PrefixStore::keyExists(KeyId key) {
    Impl& impl = loaded();
    return impl.node(key) != nullptr;
}

std::optional<Value> PrefixStore::value(KeyId key, std::string_view name) {
    Impl& impl = loaded();
    if (!impl.node(key)) return std::nullopt;
    const Val* v = impl.textOf(key).findValue(key, name);
    if (!v) return std::nullopt;
    return Value{v->name, v->type, v->data};
}

std::vector<Subkey> PrefixStore::subkeys(KeyId key) {
    Impl& impl = loaded();
    std::vector<Subkey> out;
    if (!impl.node(key)) return out;
    const KeyTree& tree = impl.keys.tree;
    for (KeyId c : tree.children(key)) out.push_back({c, std::string(tree.name(c))});
    std::sort(out.begin(), out.end(), [&](const Subkey& a, const Subkey& b) {
        return casefold::fold(a.name) < casefold::fold(b.name);
    });
    return out;
}

std::vector<Value> PrefixStore::values(KeyId key) {
    Impl& impl = loaded();
    std::vector<Value> out;
    if (!impl.node(key)) return out;
    std::vector<const Val*> sorted;
    for (const Val& v : impl.textOf(key).values(key)) sorted.push_back(&v);
    std::sort(sorted.begin(), sorted.end(),
              [](const Val* a, const Val* b) { return a->fold < b->fold; });
    for (const Val* v : sorted) out.push_back({v->name, v->type, v->data});
    return out;
}

std::string PrefixStore::keyName(KeyId key) {
    Impl& impl = loaded();
    return impl.keys.tree.fullName(key);
}

std::string PrefixStore::liveNote() const {
    Impl& impl = loaded();
    return impl.liveNote;
}

void PrefixStore::putValue(KeyId key, std::string_view name, DWORD type, std::string_view data) {
    Impl& impl = loaded();
    KeyLines& n = impl.present(key);
    if (key == kLocalMachine || key == kCurrentUser)
        throw Error(ERROR_ACCESS_DENIED, "A root key of a Wine prefix holds no values.");
    impl.change(n.file, [&] {
        KeyLines& k = impl.present(key);
        FileText& text = impl.textOf(key);
        if (Val* v = text.findValue(key, name)) {
            // The same again changes nothing, and the key keeps its time.
            if (v->type == type && v->data == data) return false;
            v->type = type;
            v->data = std::string(data);
            v->intact = false;
        } else {
            Val nv;
            nv.name = std::string(name);
            nv.fold = casefold::fold(name);
            nv.type = type;
            nv.data = std::string(data);
            k.values.push_back(std::move(nv));
        }
        text.markDirty(key);
        impl.recordValue(key, name, type, data);
        return true;
    });
}

bool PrefixStore::removeValue(KeyId key, std::string_view name) {
    Impl& impl = loaded();
    KeyLines& n = impl.present(key);
    return impl.change(n.file, [&] {
        KeyLines* k = impl.node(key);
        FileText& text = impl.textOf(key);
        if (!k || !text.findValue(key, name)) return false;
        std::string f = casefold::fold(name);
        std::erase_if(k->values, [&](const Val& v) { return v.fold == f; });
        text.markDirty(key);
        impl.recordDeletedValue(key, name);
        return true;
    });
}

KeyId PrefixStore::makeKey(KeyId from, std::string_view path) {
    Impl& impl = loaded();
    KeyLines& n = impl.present(from);
    KeyId id = from;
    impl.change(n.file, [&] {
        impl.present(from);
        id = from;
        bool created = false;
        for (std::string_view part : splitKeyPath(path)) {
            std::optional<KeyId> c = impl.keys.tree.find(id, part);
            if (!c) {
                c = impl.keys.make(id, part);
                created = true;
                // A key made again after it was deleted starts empty, as a
                // new one does; a section its file still has is rewritten.
                KeyLines& made = impl.keys.at(*c);
                made.values.clear();
                made.loaded = true;
                if (made.section >= 0) impl.textOf(*c).markDirty(*c);
            }
            id = *c;
        }
        // Only the new key needs a section: the keys above it are there by
        // being above it.
        if (created) {
            impl.textOf(id).markDirty(id);
            impl.recordKey(id, false);
        }
        return created;
    });
    return id;
}

bool PrefixStore::removeKey(KeyId key) {
    Impl& impl = loaded();
    if (key == kLocalMachine || key == kCurrentUser) return false;
    KeyLines* n = impl.node(key);
    if (!n) return false;
    return impl.change(n->file, [&] {
        if (!impl.node(key)) return false;
        impl.recordKey(key, true);
        KeyTree& tree = impl.keys.tree;
        tree.remove(key);
        // A parent that was there only by holding this key keeps existing.
        const KeyId parent = tree.parent(key);
        if (impl.keys.at(parent).section < 0 && tree.children(parent).empty())
            impl.textOf(parent).markDirty(parent);
        return true;
    });
}

}  // namespace regstore
