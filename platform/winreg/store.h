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
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "winerror.h"
#include "winreg/regtypes.h"

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

class Store {
  public:
    virtual ~Store() = default;

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
    virtual void setValue(KeyId key, std::string_view name, DWORD type, std::string_view data) = 0;
    virtual bool deleteValue(KeyId key, std::string_view name) = 0;
    // Creates the key and any missing keys above it; returns the existing key
    // when there is one.
    virtual KeyId createKey(KeyId from, std::string_view path) = 0;
    KeyId createKey(Root root, std::string_view path);
    // Deletes a key with everything below it. Root keys cannot be deleted.
    virtual bool deleteKey(KeyId key) = 0;

    // Makes what the store shows of the key at `path` below `root`, and of
    // every key under it, what the registry holds now where it is kept
    // elsewhere than the store's files (a Wine running in a prefix keeps it
    // in memory). Returns what the user should know when it could not, as
    // sentences; empty when it could, or had nothing to do.
    virtual std::string bringUpToDate(Root, std::string_view) { return {}; }

    // All-or-nothing groups of changes (imports, seeding).
    virtual void begin() = 0;
    virtual void commit() = 0;
    virtual void rollback() = 0;

  protected:
    // The top of HKEY_LOCAL_MACHINE's or HKEY_CURRENT_USER's tree;
    // HKEY_CLASSES_ROOT is a view into the first, the same in every store.
    virtual KeyId top(Root root) = 0;
};

}  // namespace regstore
