// A registry store: the keys and values behind the Reg* functions, knobreg
// and seeding. Two stores implement it: the embedded machine's SQLite hive
// (hive/sqlite_hive.h) and a Wine prefix's registry files
// (wineprefix/prefix_store.h).
//
// Names are UTF-8 here, keep the case they were created with and are matched
// without regard to case (Unicode simple case folding). Value data is raw
// bytes exactly as written; what differs between stores is the text of text
// values (REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ): code-page bytes in the hive,
// UTF-16LE in a prefix (see textData()). HKEY_CLASSES_ROOT is a view of
// HKEY_LOCAL_MACHINE\Software\Classes.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "winerror.h"
#include "winreg/regtypes.h"

namespace history {
struct Entry;
}

namespace regstore {

enum class Root { LocalMachine, CurrentUser, ClassesRoot };
using KeyId = std::int64_t;

struct Value {
    std::string name;  // UTF-8, as created
    DWORD type = REG_NONE;
    std::string data;  // raw bytes
};

struct Subkey {
    KeyId id = 0;
    std::string name;  // UTF-8, as created
};

// A failure of a store, with the Windows error code that stands for it.
class Error : public std::runtime_error {
  public:
    Error(LONG code, const std::string& what) : std::runtime_error(what), code_(code) {}
    LONG code() const { return code_; }

  private:
    LONG code_;
};

// A change refused for a reason the user should read as it stands (such as
// a Wine server running in a prefix).
class Refused : public Error {
  public:
    using Error::Error;
};

// A change refused because the file that would hold it may not be written
// (its mode, a read-only mount): the settings it holds are shown, not
// changed.
class NotWritable : public Refused {
  public:
    NotWritable(const std::string& what) : Refused(ERROR_ACCESS_DENIED, what) {}
};

// A transaction that could be made durable for some of its roots only: a
// store of several files, one of which took its place before another
// failed. The changes under the roots in saved() were kept.
class PartlyCommitted : public Error {
  public:
    PartlyCommitted(const Error& e, std::vector<Root> saved)
        : Error(e.code(), e.what()), saved_(std::move(saved)) {}
    const std::vector<Root>& saved() const { return saved_; }

  private:
    std::vector<Root> saved_;
};

// A root key: its predefined handle's 32-bit value and its names. The one
// table of them; everything that spells a root's name or handle reads it.
struct RootKey {
    Root root;
    std::uint32_t handle;
    const char* shortName;  // HKCR
    const char* longName;   // HKEY_CLASSES_ROOT
};
inline constexpr RootKey kRootKeys[] = {
    {Root::ClassesRoot, 0x80000000u, "HKCR", "HKEY_CLASSES_ROOT"},
    {Root::CurrentUser, 0x80000001u, "HKCU", "HKEY_CURRENT_USER"},
    {Root::LocalMachine, 0x80000002u, "HKLM", "HKEY_LOCAL_MACHINE"},
};
// Where HKEY_CLASSES_ROOT lies below HKEY_LOCAL_MACHINE, in every store.
inline constexpr std::string_view kClassesPath = "Software\\Classes";

constexpr const RootKey& rootKey(Root root) {
    for (const RootKey& k : kRootKeys) {
        if (k.root == root) return k;
    }
    return kRootKeys[2];
}
// The root that a predefined key's 32-bit handle value names; any value
// that is none of them names HKEY_LOCAL_MACHINE.
Root rootOf(std::uint32_t predefined);
// The root a name stands for: its long or short name, in any case.
std::optional<Root> rootNamed(std::string_view name);

// How a store holds the data of text values.
enum class TextData {
    CodePage,  // code page 1252 bytes, as the A functions pass them
    Utf16,     // UTF-16LE, as Windows NT and Wine keep them
};

// A sentence about a registry file for the user: "The registry file FILE
// WHAT." or, with a reason, "The registry file FILE WHAT: REASON."
std::string fileMessage(const std::filesystem::path& file, std::string_view what,
                        std::string_view reason = {});

// The Windows error code that stands for a failing call's errno.
LONG codeForErrno(int error);

// Splits a key path at backslashes; empty components (doubled or trailing
// separators) are dropped.
std::vector<std::string_view> splitKeyPath(std::string_view path);

// A key named by its root and its path below it.
struct KeyPath {
    Root root = Root::CurrentUser;
    std::string path;
};
// A key's full name (HKEY_CURRENT_USER\Software) as its root and path;
// HKEY_CLASSES_ROOT's keys are below HKEY_LOCAL_MACHINE\Software\Classes.
KeyPath keyPathOf(std::string_view fullName);

// Every change to a store goes through these functions of the store
// interface: they note what each change replaced for the store's history
// (winreg/history.h) while the store keeps one, and make a change outside
// a transaction one transaction of its own, so that it is made with its
// entry or not at all. The stores implement what the changes do.
class Store {
  public:
    Store();
    virtual ~Store();
    Store(const Store&) = delete;
    Store& operator=(const Store&) = delete;

    // Where the store lives, for messages: a file or a prefix's folder.
    virtual std::string where() const = 0;
    // Whether keys may be opened for writing. A store that may be opened so
    // can still refuse a change for a reason of the moment (Error).
    virtual bool writable() const = 0;
    virtual TextData textData() const = 0;
    // Why changes under a root cannot be written, as a sentence naming the
    // file; empty when they can (or, as far as the store knows, may).
    virtual std::string writeProblem(Root) const { return {}; }

    // The key at the top of a root's tree; nullopt for HKEY_CLASSES_ROOT
    // while HKEY_LOCAL_MACHINE\Software\Classes does not exist.
    std::optional<KeyId> root(Root root);
    virtual std::optional<KeyId> findKey(KeyId from, std::string_view path) = 0;
    std::optional<KeyId> findKey(Root root, std::string_view path);
    virtual bool keyExists(KeyId key) = 0;
    virtual std::optional<Value> value(KeyId key, std::string_view name) = 0;
    // Subkeys and values in the order of their folded names.
    virtual std::vector<Subkey> subkeys(KeyId key) = 0;
    virtual std::vector<Value> values(KeyId key) = 0;
    // The full name of a key, such as HKEY_CURRENT_USER\Software.
    virtual std::string keyName(KeyId key) = 0;

    // Changes. Outside a transaction each one is durable before it returns.
    // setValue throws Error(ERROR_KEY_DELETED) when the key is gone.
    void setValue(KeyId key, std::string_view name, DWORD type, std::string_view data);
    bool deleteValue(KeyId key, std::string_view name);
    // Creates the key and any missing keys above it; returns the existing key
    // when there is one.
    KeyId createKey(KeyId from, std::string_view path);
    KeyId createKey(Root root, std::string_view path);
    // Deletes a key with everything below it. Root keys cannot be deleted.
    bool deleteKey(KeyId key);

    // Makes what the store shows of `keys` (with `below`, and of every key
    // under each) what the registry holds now where it is kept elsewhere
    // than the store's files (a Wine running in a prefix keeps it in
    // memory). Returns what the user should know when it could not, as
    // sentences; empty when it could, or had nothing to do.
    virtual std::string bringUpToDate(const std::vector<KeyPath>&, bool /*below*/) { return {}; }

    // All-or-nothing groups of changes (imports, seeding).
    void begin();
    void commit();
    void rollback();

    // The history of the changes made to the store from now on: each
    // transaction that changed something is kept as an entry with what it
    // replaced, made durable with the change. A store that has nowhere to
    // keep one keeps none.
    void keepHistory() { recording_ = canKeepHistory(); }
    // The entries kept, the newest first (at most history::kKept).
    virtual std::vector<history::Entry> history();

  protected:
    // What the changes do, in the store.
    virtual void putValue(KeyId key, std::string_view name, DWORD type, std::string_view data) = 0;
    virtual bool removeValue(KeyId key, std::string_view name) = 0;
    virtual KeyId makeKey(KeyId from, std::string_view path) = 0;
    virtual bool removeKey(KeyId key) = 0;
    virtual void beginChanges() = 0;
    // Makes the transaction durable with `entry`, when there is one to keep:
    // both, or (throwing) neither.
    virtual void commitChanges(history::Entry* entry) = 0;
    virtual void rollbackChanges() = 0;
    virtual bool canKeepHistory() const { return false; }
    // Called before what a change replaces is noted for the history: the
    // keys it is about to change (with `below`, and every key under them),
    // so that a store that keeps the registry elsewhere (a running Wine)
    // can make what it shows of them current first.
    virtual void aboutToChange(const std::vector<KeyPath>&, bool /*below*/) {}

  protected:
    // The top of HKEY_LOCAL_MACHINE's or HKEY_CURRENT_USER's tree;
    // HKEY_CLASSES_ROOT is a view into the first, the same in every store.
    virtual KeyId top(Root root) = 0;

  private:
    class Changing;
    // The key's root and path, for the history.
    KeyPath pathOf(KeyId key);

    bool recording_ = false;
    bool inTransaction_ = false;
    std::unique_ptr<history::Entry> entry_;  // what the open transaction replaced
};

}  // namespace regstore
