// A Wine prefix's registry as a store: HKEY_LOCAL_MACHINE is the prefix's
// system.reg, HKEY_CURRENT_USER its user.reg (see wine_format.h for their
// format), HKEY_CLASSES_ROOT a view of HKEY_LOCAL_MACHINE\Software\Classes.
// Text values are UTF-16LE, as Wine keeps them.
//
// Both files are read whole when the store opens; values are decoded when a
// key's values are first asked for. Each change rewrites its file: the keys
// it does not touch keep their bytes, the key it touches gets a fresh
// timestamp, and the file is replaced atomically and durably (a file that is
// a symbolic link is replaced at its target). Writers of the same prefix
// take turns on an advisory lock on the file and read it again when another
// has changed it, so none loses another's change. A file that cannot be
// read is never written: its root has no keys and the store refuses every
// change, and its root fails to open. The files are read on a thread of
// their own, started by open() and waited for by the first use of the
// store, so that a program can go on meanwhile. Wine's native view is used
// as it stands: no Wow6432Node redirection, no following of link keys.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "wineprefix/live_wine.h"
#include "winreg/store.h"

namespace regstore {

class PrefixStore final : public Store {
  public:
    // Reads the prefix's two files. A file that cannot be read or parsed is
    // reported by damage() and leaves the store read-only.
    //
    // `live` is the prefix's Wine, asked at each change and each
    // transaction whether a server runs: when none does, the files are
    // written; when one does and its Wine can be used, the change or the
    // whole transaction is imported through it in one Wine process, and
    // memory shows it at once; when its Wine cannot be used, the change is
    // Refused with the reason. The files are never written behind a running
    // server. The values of `liveKeys` are read from the running Wine when
    // the store opens and whenever another server has started since, as
    // its server saves them to the files only now and then.
    //
    // The history of its changes goes to `history` (historydb::Journal),
    // each entry written durably before the files are replaced or the
    // change is imported, and marked made once it is; without one, none is
    // kept.
    static std::unique_ptr<PrefixStore> open(const std::filesystem::path& prefix,
                                             std::shared_ptr<LiveWine> live = {},
                                             std::vector<KeyPath> liveKeys = {},
                                             const std::filesystem::path& history = {});

    ~PrefixStore() override;
    PrefixStore(const PrefixStore&) = delete;
    PrefixStore& operator=(const PrefixStore&) = delete;

    // What is wrong with the files, naming each file and line; empty when
    // both are sound.
    std::string damage() const;
    // Why changes to the files cannot be written, naming each file the user
    // may not replace; empty when both can be.
    std::string writeProblem() const;
    std::string writeProblem(Root root) const override;
    // Why the values could not be read from the running Wine (the files'
    // were shown); empty when they were, or when none runs.
    std::string liveNote() const;

    std::string where() const override;
    bool writable() const override;
    TextData textData() const override { return TextData::Utf16; }

    using Store::createKey;
    using Store::findKey;
    using Store::root;
    std::optional<KeyId> findKey(KeyId from, std::string_view path) override;
    bool keyExists(KeyId key) override;
    std::optional<Value> value(KeyId key, std::string_view name) override;
    std::vector<Subkey> subkeys(KeyId key) override;
    std::vector<Value> values(KeyId key) override;
    std::string keyName(KeyId key) override;

    // Through the running Wine, when one runs whose Wine can be used.
    std::string bringUpToDate(const std::vector<KeyPath>& keys, bool below) override;

    // The entries whose changes are made; one kept for a change that a
    // crash or a failure left unknown for a minute is settled first: kept
    // with the steps the registry holds, or dropped.
    std::vector<history::Entry> history() override;

    struct Impl;

  protected:
    KeyId top(Root root) override;
    void putValue(KeyId key, std::string_view name, DWORD type, std::string_view data) override;
    bool removeValue(KeyId key, std::string_view name) override;
    KeyId makeKey(KeyId from, std::string_view path) override;
    bool removeKey(KeyId key) override;
    // A transaction holds both files' locks; its commit writes each changed
    // file once.
    void beginChanges() override;
    void commitChanges(history::Entry* entry) override;
    void rollbackChanges() override;
    bool canKeepHistory() const override;
    // Through the running Wine, the keys read from it before their first
    // change in the transaction.
    void aboutToChange(const std::vector<KeyPath>& keys, bool below) override;

  private:
    explicit PrefixStore(std::unique_ptr<Impl> impl);
    // The insides, once the files have been read.
    Impl& loaded() const;
    std::unique_ptr<Impl> impl_;
};

}  // namespace regstore
