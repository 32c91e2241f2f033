#include "winreg/prefix_store.h"

#include <algorithm>
#include <future>
#include <system_error>
#include <vector>

#include "text/casefold.h"
#include "winreg/registry_file.h"
#include "winreg/winefile_rewrite.h"

namespace regstore {
namespace {

namespace fs = std::filesystem;

constexpr KeyId kLocalMachine = 1;
constexpr KeyId kCurrentUser = 2;

std::string unreadable(const RegistryFile& disk, const std::string& why) {
    return fileMessage(disk.path(), "cannot be read", why);
}

// The two roots, each of its file.
Keys rootKeys() {
    Keys keys;
    keys.addRoot(rootKey(Root::LocalMachine).longName, 0);
    keys.addRoot(rootKey(Root::CurrentUser).longName, 1);
    return keys;
}

}  // namespace

struct PrefixStore::Impl {
    // One of the prefix's two files: on disk, and its text in memory.
    struct File {
        File(Keys& keys, const fs::path& path, KeyId root)
            : disk(path), text(keys, root, [this](const winefile::ParseError& e) {
                  if (damage.empty()) damage = unreadable(disk, e.what());
              }) {}
        RegistryFile disk;
        FileText text;
        std::string damage;    // why it cannot be used; empty when sound
        bool changed = false;  // changes not written yet (in a transaction)
    };

    Impl(fs::path prefix, Guard guard)
        : prefix(std::move(prefix)),
          guard(std::move(guard)),
          files{{keys, this->prefix / "system.reg", kLocalMachine},
                {keys, this->prefix / "user.reg", kCurrentUser}} {}

    fs::path prefix;
    Guard guard;
    Keys keys = rootKeys();
    File files[2];
    bool inTransaction = false;
    // The files are read on a thread of their own while the program goes
    // on; everything but where(), writable() and textData() waits for it.
    std::future<void> loading;

    void ready() {
        if (loading.valid()) loading.get();
    }

    // Reads both files; a file that cannot be read is noted as damaged.
    void loadBoth() {
        for (int f = 0; f < 2; ++f) {
            File& file = files[f];
            try {
                reload(f);
            } catch (const winefile::ParseError& e) {
                file.damage = unreadable(file.disk, e.what());
            } catch (const std::system_error& e) {
                file.damage = unreadable(file.disk, e.code().message());
            } catch (const std::exception& e) {
                file.damage = unreadable(file.disk, e.what());
            }
        }
    }

    // The key's lines when it is present.
    KeyLines* node(KeyId id) { return keys.tree.present(id) ? &keys.at(id) : nullptr; }

    KeyLines& live(KeyId id) {
        KeyLines* n = node(id);
        if (!n) throw Error(ERROR_KEY_DELETED, "The key has been deleted.");
        return *n;
    }

    FileText& textOf(KeyId id) { return files[keys.at(id).file].text; }

    // Reads the file as it is on disk now, through its lock when `locked`.
    void reload(int f, bool locked = false) {
        File& file = files[f];
        struct stat st {};
        std::string text = locked ? file.disk.readLocked(&st) : file.disk.read(&st);
        file.text.load(std::move(text));
        file.changed = false;
        file.disk.setKnown(st);
    }

    // Takes the file's lock, reading the file again when another writer has
    // changed it since.
    void lock(int f) {
        File& file = files[f];
        if (!file.disk.lock()) return;
        try {
            reload(f, true);
        } catch (const winefile::ParseError& e) {
            unlock(f);
            file.damage = unreadable(file.disk, e.what());
            throw Refused(ERROR_ACCESS_DENIED, file.damage);
        } catch (const std::system_error& e) {
            unlock(f);
            throw Error(codeForErrno(e.code().value()), e.what());
        }
    }

    void unlock(int f) { files[f].disk.unlock(); }

    // Refuses changes the prefix cannot take now.
    void mayChange() {
        for (const File& file : files) {
            if (!file.damage.empty())
                throw Refused(ERROR_ACCESS_DENIED, "The Wine prefix " + prefix.string() +
                                                       " is used read-only. " + file.damage);
        }
        if (guard) {
            if (std::optional<std::string> why = guard()) throw Refused(ERROR_ACCESS_DENIED, *why);
        }
    }

    // Refuses a change to a file that the user may not replace.
    void mayWrite(int f) const {
        if (std::string why = files[f].disk.writeProblem(); !why.empty())
            throw Refused(ERROR_ACCESS_DENIED, why);
    }

    // Writes the file with the changes made to it.
    void write(int f) {
        File& file = files[f];
        Rewrite r = file.text.serialize();
        file.disk.replace(r.text);
        file.text.adopt(std::move(r));
        file.changed = false;
    }

    // Makes one change: outside a transaction under the file's lock, with
    // the file written before it returns. `change` tells whether it changed
    // anything; on any failure the file is read again, so that what is kept
    // in memory is what the disk holds.
    template <typename F>
    auto change(int f, F&& fn) {
        if (inTransaction) {
            mayChange();
            mayWrite(f);
            auto result = fn();
            files[f].changed = files[f].changed || bool(result);
            return result;
        }
        lock(f);
        try {
            mayChange();  // under the lock: the file may just have been read again
            mayWrite(f);
            auto result = fn();
            if (result) write(f);
            unlock(f);
            return result;
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

    void endTransaction() {
        inTransaction = false;
        unlock(0);
        unlock(1);
    }
};

PrefixStore::PrefixStore(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

PrefixStore::~PrefixStore() {
    impl_->ready();
    impl_->unlock(0);
    impl_->unlock(1);
}

std::unique_ptr<PrefixStore> PrefixStore::open(const fs::path& prefix, Guard guard) {
    auto impl = std::make_unique<Impl>(prefix, std::move(guard));
    impl->loading = std::async(std::launch::async, [i = impl.get()] { i->loadBoth(); });
    return std::unique_ptr<PrefixStore>(new PrefixStore(std::move(impl)));
}

std::string PrefixStore::damage() const {
    impl_->ready();
    std::string out;
    for (const Impl::File& file : impl_->files) {
        if (file.damage.empty()) continue;
        if (!out.empty()) out += "\n";
        out += file.damage;
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
    for (const Impl::File& file : impl_->files) {
        std::string why = file.disk.writeProblem();
        if (why.empty()) continue;
        if (!out.empty()) out += ' ';
        out += why;
    }
    return out;
}

KeyId PrefixStore::top(Root r) {
    impl_->ready();
    // A root whose file cannot be read fails as such: its keys are not
    // merely missing, and changes to them are not merely skipped.
    const bool user = r == Root::CurrentUser;
    const Impl::File& file = impl_->files[user ? 1 : 0];
    if (!file.damage.empty()) throw Error(ERROR_REGISTRY_IO_FAILED, file.damage);
    return user ? kCurrentUser : kLocalMachine;
}

std::optional<KeyId> PrefixStore::findKey(KeyId from, std::string_view path) {
    impl_->ready();
    if (!impl_->node(from)) return std::nullopt;
    KeyId id = from;
    for (std::string_view part : splitKeyPath(path)) {
        std::optional<KeyId> c = impl_->keys.tree.find(id, part);
        if (!c) return std::nullopt;
        id = *c;
    }
    return id;
}

bool PrefixStore::keyExists(KeyId key) {
    impl_->ready();
    return impl_->node(key) != nullptr;
}

std::optional<Value> PrefixStore::value(KeyId key, std::string_view name) {
    impl_->ready();
    if (!impl_->node(key)) return std::nullopt;
    const Val* v = impl_->textOf(key).findValue(key, name);
    if (!v) return std::nullopt;
    return Value{v->name, v->type, v->data};
}

std::vector<Subkey> PrefixStore::subkeys(KeyId key) {
    impl_->ready();
    std::vector<Subkey> out;
    if (!impl_->node(key)) return out;
    const KeyTree& tree = impl_->keys.tree;
    for (KeyId c : tree.children(key)) out.push_back({c, std::string(tree.name(c))});
    std::sort(out.begin(), out.end(), [&](const Subkey& a, const Subkey& b) {
        return casefold::fold(a.name) < casefold::fold(b.name);
    });
    return out;
}

std::vector<Value> PrefixStore::values(KeyId key) {
    impl_->ready();
    std::vector<Value> out;
    if (!impl_->node(key)) return out;
    std::vector<const Val*> sorted;
    for (const Val& v : impl_->textOf(key).values(key)) sorted.push_back(&v);
    std::sort(sorted.begin(), sorted.end(),
              [](const Val* a, const Val* b) { return a->fold < b->fold; });
    for (const Val* v : sorted) out.push_back({v->name, v->type, v->data});
    return out;
}

std::string PrefixStore::keyName(KeyId key) {
    impl_->ready();
    const KeyTree& tree = impl_->keys.tree;
    std::string name;
    for (KeyId id = key; id != 0; id = tree.parent(id)) {
        const std::string part(tree.name(id));
        name = name.empty() ? part : part + "\\" + name;
    }
    return name;
}

void PrefixStore::setValue(KeyId key, std::string_view name, DWORD type, std::string_view data) {
    impl_->ready();
    KeyLines& n = impl_->live(key);
    if (key == kLocalMachine || key == kCurrentUser)
        throw Error(ERROR_ACCESS_DENIED, "A root key of a Wine prefix holds no values.");
    impl_->change(n.file, [&] {
        KeyLines& k = impl_->live(key);
        FileText& text = impl_->textOf(key);
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
        return true;
    });
}

bool PrefixStore::deleteValue(KeyId key, std::string_view name) {
    impl_->ready();
    KeyLines& n = impl_->live(key);
    return impl_->change(n.file, [&] {
        KeyLines* k = impl_->node(key);
        FileText& text = impl_->textOf(key);
        if (!k || !text.findValue(key, name)) return false;
        std::string f = casefold::fold(name);
        std::erase_if(k->values, [&](const Val& v) { return v.fold == f; });
        text.markDirty(key);
        return true;
    });
}

KeyId PrefixStore::createKey(KeyId from, std::string_view path) {
    impl_->ready();
    KeyLines& n = impl_->live(from);
    KeyId id = from;
    impl_->change(n.file, [&] {
        impl_->live(from);
        id = from;
        bool created = false;
        for (std::string_view part : splitKeyPath(path)) {
            std::optional<KeyId> c = impl_->keys.tree.find(id, part);
            if (!c) {
                c = impl_->keys.make(id, part);
                created = true;
            }
            id = *c;
        }
        // Only the new key needs a section: the keys above it are there by
        // being above it.
        if (created) impl_->textOf(id).markDirty(id);
        return created;
    });
    return id;
}

bool PrefixStore::deleteKey(KeyId key) {
    impl_->ready();
    if (key == kLocalMachine || key == kCurrentUser) return false;
    KeyLines* n = impl_->node(key);
    if (!n) return false;
    return impl_->change(n->file, [&] {
        if (!impl_->node(key)) return false;
        KeyTree& tree = impl_->keys.tree;
        tree.remove(key);
        // A parent that was there only by holding this key keeps existing.
        const KeyId parent = tree.parent(key);
        if (impl_->keys.at(parent).section < 0 && tree.children(parent).empty())
            impl_->textOf(parent).markDirty(parent);
        return true;
    });
}

void PrefixStore::begin() {
    impl_->ready();
    impl_->mayChange();
    try {
        impl_->lock(0);
        impl_->lock(1);
        impl_->mayChange();  // either file may have been read again under its lock
    } catch (...) {
        impl_->endTransaction();
        throw;
    }
    impl_->inTransaction = true;
}

void PrefixStore::commit() {
    impl_->ready();
    // Both files are written and synced before either takes its place, so
    // that a full disk or a failing write leaves both as they were.
    std::vector<int> changed;
    std::vector<Rewrite> rewrites;
    std::vector<std::unique_ptr<atomic_file::Replacement>> replacements;
    try {
        for (int f = 0; f < 2; ++f) {
            Impl::File& file = impl_->files[f];
            if (!file.changed) continue;
            rewrites.push_back(file.text.serialize());
            replacements.push_back(file.disk.prepare(rewrites.back().text));
            changed.push_back(f);
        }
        // Each file in its place, then each folder synced once: the files
        // of a prefix share one, unless they are links to others.
        for (size_t k = 0; k < changed.size(); ++k) {
            Impl::File& file = impl_->files[changed[k]];
            try {
                file.disk.put(*replacements[k]);
            } catch (const Error& e) {
                if (k == 0) throw;
                // The files before it have taken their places.
                std::vector<Root> saved;
                for (size_t p = 0; p < k; ++p) {
                    impl_->files[changed[p]].disk.syncFolder();
                    saved.push_back(changed[p] == 0 ? Root::LocalMachine : Root::CurrentUser);
                }
                rollback();
                throw PartlyCommitted(e, std::move(saved));
            }
            file.text.adopt(std::move(rewrites[k]));
            file.changed = false;
        }
        std::vector<fs::path> synced;
        for (size_t k = 0; k < changed.size(); ++k) {
            const fs::path folder = atomic_file::folderOf(replacements[k]->target());
            if (std::find(synced.begin(), synced.end(), folder) != synced.end()) continue;
            impl_->files[changed[k]].disk.syncFolder();
            synced.push_back(folder);
        }
    } catch (const PartlyCommitted&) {
        throw;
    } catch (...) {
        rollback();
        throw;
    }
    impl_->endTransaction();
}

void PrefixStore::rollback() {
    impl_->ready();
    for (int f = 0; f < 2; ++f) {
        if (!impl_->files[f].changed) continue;
        try {
            impl_->reload(f);
        } catch (...) {
        }
    }
    impl_->endTransaction();
}

}  // namespace regstore
