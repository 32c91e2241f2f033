// The prefix store's insides, shared by its files: prefix_store.cpp (the
// keys, values and transactions over the files) and prefix_store_live.cpp
// (the same through a running Wine).
#pragma once

#include <array>
#include <functional>
#include <future>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "dotreg/dotreg.h"
#include "historydb/historydb.h"
#include "wineprefix/live_wine.h"
#include "wineprefix/locked_file.h"
#include "wineprefix/prefix_store.h"
#include "wineprefix/wine_text.h"

namespace regstore {

inline constexpr KeyId kLocalMachineKey = 1;
inline constexpr KeyId kCurrentUserKey = 2;
// Which file a key is in (KeyLines::file).
inline constexpr int kLocalMachineFile = 0;  // system.reg
inline constexpr int kCurrentUserFile = 1;   // user.reg

struct PrefixStore::Impl {
    // One of the prefix's two files: on disk, and its text in memory.
    struct File {
        File(Keys& keys, const std::filesystem::path& path, KeyId root);
        LockedFile disk;
        FileText text;
        std::string damage;    // why it cannot be used; empty when sound
        bool changed = false;  // changes not written yet (in a transaction)
        // Memory holds values read from or written to a running Wine rather
        // than what the file says: it is read again before it is written.
        bool overlaid = false;
    };

    Impl(std::filesystem::path prefix, std::shared_ptr<LiveWine> live, std::vector<KeyPath> keys);

    std::filesystem::path prefix;
    std::shared_ptr<LiveWine> live;
    std::vector<KeyPath> liveKeys;  // below HKLM or HKCU
    Keys keys;
    File localMachine;  // system.reg
    File currentUser;   // user.reg
    bool inTransaction = false;
    // The transaction open, or the change being made, goes through the
    // running Wine: its changes are gathered in `pending` and imported as
    // one registry file when it ends.
    bool liveMode = false;
    struct LiveChange {
        enum Kind { SetValue, DeleteValue, CreateKey, DeleteKey };
        Kind kind = SetValue;
        KeyPath key;       // below HKLM or HKCU
        std::string name;  // of the value
        DWORD type = REG_NONE;
        std::string data;
    };
    std::vector<LiveChange> pending;
    // Where the history of changes goes; null when none is kept.
    std::unique_ptr<historydb::Journal> journal;
    std::string liveServer;  // the server whose values were last read
    std::string liveNote;    // why they could not be read; empty when they were
    // The files are read on a thread of their own while the program goes
    // on; everything but where(), writable() and textData() waits for it.
    std::future<void> loading;

    void ready() {
        if (loading.valid()) loading.get();
    }

    void loadBoth();
    // A file by its number (KeyLines::file).
    File& file(int which) { return which == kCurrentUserFile ? currentUser : localMachine; }
    const File& file(int which) const {
        return which == kCurrentUserFile ? currentUser : localMachine;
    }
    // Both, in the order they are written.
    std::array<File*, 2> both() { return {&localMachine, &currentUser}; }
    std::array<const File*, 2> both() const { return {&localMachine, &currentUser}; }

    // The key's lines when it is present.
    KeyLines* node(KeyId id) { return keys.tree.present(id) ? &keys.at(id) : nullptr; }
    KeyLines& present(KeyId id);
    FileText& textOf(KeyId id) { return file(keys.at(id).file).text; }

    void reload(int f, bool locked = false);
    void lock(int f);
    void unlock(int f) { file(f).disk.unlock(); }
    void write(int f);
    void endTransaction();

    // Refuses changes the prefix cannot take now: a file that cannot be
    // read, a server whose Wine cannot be used. True when a server runs
    // whose Wine can: the change goes through it.
    bool mayChange();
    // Refuses a change to a file that the user may not replace (written by
    // the store itself; a running Wine writes its files as it may).
    void mayWrite(int f) const {
        if (std::string why = file(f).disk.writeProblem(); !why.empty()) throw NotWritable(why);
    }
    // What a change found under way when a server has started meanwhile.
    std::string startedMessage() const;

    // Through the running Wine (prefix_store_live.cpp).
    // Reads the live keys' values from the server `id` into memory.
    void readLive(const std::string& id);
    // Reads `keys` (with `below`, and every key under them) through the
    // running Wine into memory, when one runs: why it could not, as a
    // sentence; empty when it could or none runs.
    std::string readThrough(const std::vector<KeyPath>& keys, bool below);
    // Puts what the running Wine said of `want` (and, with `below`, of every
    // key under it) in memory in place of what the files hold: a key Wine
    // lacks is gone from memory too.
    void overlay(const KeyPath& want, const dotreg::Parsed& parsed, bool below);
    // The key as a root and a path below it, for the running Wine.
    KeyPath pathOf(KeyId key) const;
    // Notes a change for the import when one goes through the running Wine.
    void recordValue(KeyId key, std::string_view name, DWORD type, std::string_view data);
    void recordDeletedValue(KeyId key, std::string_view name);
    void recordKey(KeyId key, bool deleted);
    // Imports what was gathered in one Wine process, and reads it back
    // through that Wine: throws Refused when Wine failed, or does not hold
    // what was written.
    void importPending();
    // Memory as the files and the running Wine hold it, after a change
    // that did not go through.
    void refresh();
    // The keys read from the running Wine in the transaction open, by
    // freshName(): what memory shows of them is what Wine held, and the
    // transaction's changes.
    std::set<std::string> fresh;
    static std::string freshName(const KeyPath& key);

    // The history's entry of a change made, or not made. A failure to say
    // so leaves it unknown, to be settled when the history is next read.
    void confirm(const history::Entry& entry);
    void forget(const history::Entry& entry);

    // Makes one change: outside a transaction under the file's lock, with
    // the file written before it returns, or through the running Wine.
    // `fn` makes it and tells whether it changed anything; on any failure
    // the file is read again, so that what is kept in memory is what the
    // disk holds.
    bool change(int f, const std::function<bool()>& fn);
};

}  // namespace regstore
