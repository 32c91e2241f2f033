// The machine's registry hive: one SQLite file holding keys (parent, name) and
// values (key, name, type, bytes).
//
// Names are UTF-8 here, keep the case they were created with and are matched
// without regard to case (Unicode simple case folding). Value data is kept as
// raw bytes exactly as written. HKEY_CLASSES_ROOT is a view of
// HKEY_LOCAL_MACHINE\Software\Classes.
//
// The Reg* functions of winreg.h use the process's current hive (see
// current()); seeding, the knobreg tool and tests use this class directly,
// which can also create keys and delete them.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "winreg.h"

struct sqlite3;
struct sqlite3_stmt;

namespace hive {

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

// A failure of the hive, with the Windows error code that stands for it.
class Error : public std::runtime_error {
  public:
    Error(LONG code, const std::string& what) : std::runtime_error(what), code_(code) {}
    LONG code() const { return code_; }

  private:
    LONG code_;
};

// Splits a key path at backslashes; empty components (doubled or trailing
// separators) are dropped.
std::vector<std::string_view> splitKeyPath(std::string_view path);

class Hive {
  public:
    // Opens an existing hive without changing it. A file the user cannot
    // write is opened read-only. Throws Error when the file is missing,
    // cannot be read, or is not a hive.
    static std::unique_ptr<Hive> open(const std::filesystem::path& file);
    // Makes a new hive with its two trees (the file must not exist yet),
    // readable and writable by the owner only.
    static std::unique_ptr<Hive> create(const std::filesystem::path& file);

    ~Hive();
    Hive(const Hive&) = delete;
    Hive& operator=(const Hive&) = delete;

    const std::filesystem::path& file() const { return file_; }
    bool writable() const { return writable_; }

    // The key at the top of a root's tree; nullopt for HKEY_CLASSES_ROOT
    // while HKEY_LOCAL_MACHINE\Software\Classes does not exist.
    std::optional<KeyId> root(Root root);
    std::optional<KeyId> findKey(KeyId from, std::string_view path);
    std::optional<KeyId> findKey(Root root, std::string_view path);
    bool keyExists(KeyId key);
    std::optional<Value> value(KeyId key, std::string_view name);
    std::vector<Subkey> subkeys(KeyId key);
    std::vector<Value> values(KeyId key);
    // The full name of a key, such as HKEY_CURRENT_USER\Software.
    std::string keyName(KeyId key);

    // Changes. Outside a transaction each one is committed durably before it
    // returns. setValue throws Error(ERROR_KEY_DELETED) when the key is gone.
    void setValue(KeyId key, std::string_view name, DWORD type, std::string_view data);
    bool deleteValue(KeyId key, std::string_view name);
    // Creates the key and any missing keys above it; returns the existing key
    // when there is one.
    KeyId createKey(KeyId from, std::string_view path);
    KeyId createKey(Root root, std::string_view path);
    // Deletes a key with everything below it. Root keys cannot be deleted.
    bool deleteKey(KeyId key);

    // All-or-nothing groups of changes (imports, seeding).
    void begin();
    void commit();
    void rollback();

  private:
    Hive(std::filesystem::path file, sqlite3* db, bool writable);
    sqlite3_stmt* statement(int which);
    void exec(const char* sql);
    [[noreturn]] void fail(int rc, const char* what);
    std::optional<KeyId> childKey(KeyId parent, std::string_view name);

    std::filesystem::path file_;
    sqlite3* db_ = nullptr;
    bool writable_ = false;
    std::vector<sqlite3_stmt*> statements_;
};

// ---- The process's current hive, used by the Reg* functions ----

enum class State {
    Unopened,  // not used yet in this process
    Ok,
    ReadOnly,  // opens with write rights are refused
    Missing,   // no hive file: every open fails
    Damaged,   // the file cannot be read or is not a hive: every open fails
};

// Selects the hive file that the Reg* functions use from now on; closes the
// one in use and invalidates every open handle. Until a file is selected, the
// machine's hive is used.
void select(const std::filesystem::path& file);
// Opens the current hive if need be and tells its state.
State state();
// A sentence for the user when state() is Missing, Damaged or ReadOnly.
std::string problem();
// The current hive, or nullptr when it cannot be used.
Hive* current();

}  // namespace hive
