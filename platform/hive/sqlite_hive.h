// The embedded machine's registry hive: one SQLite file holding keys
// (parent, name) and values (key, name, type, bytes). Text values hold
// code-page bytes.
//
// The Reg* functions of winreg.h use the process's current store (see
// current_store.h); seeding, the knobreg tool and tests use this class
// directly, which can also create keys and delete them.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "winreg/current_store.h"
#include "winreg/store.h"

struct sqlite3;
struct sqlite3_stmt;
namespace historydb {
class Writer;
}

namespace regstore {

class SqliteHive final : public Store {
  public:
    // Opens an existing hive without changing it. A file the user cannot
    // write is opened read-only. A hive that cannot be written for the
    // moment (its disk is full or read-only) is opened for reading only,
    // which needs no free space, and refuses each change until it can be
    // written again (see problem()). Throws Error when the file is missing,
    // cannot be read, or is not a hive.
    static std::unique_ptr<SqliteHive> open(const std::filesystem::path& file);
    // Makes a new hive with its two trees (the file must not exist yet),
    // readable and writable by the owner only.
    static std::unique_ptr<SqliteHive> create(const std::filesystem::path& file);

    ~SqliteHive() override;
    SqliteHive(const SqliteHive&) = delete;
    SqliteHive& operator=(const SqliteHive&) = delete;

    const std::filesystem::path& file() const { return file_; }
    std::string where() const override { return file_.string(); }
    bool writable() const override { return writable_; }
    TextData textData() const override { return TextData::CodePage; }
    // Why changes are refused for the moment, as the user should read it at
    // start ("The disk holding ... is full. ..."); empty when they are not.
    std::string problem() const;

    using Store::createKey;
    using Store::findKey;
    using Store::root;
    std::optional<KeyId> findKey(KeyId from, std::string_view path) override;
    bool keyExists(KeyId key) override;
    std::optional<Value> value(KeyId key, std::string_view name) override;
    std::vector<Subkey> subkeys(KeyId key) override;
    std::vector<Value> values(KeyId key) override;
    std::string keyName(KeyId key) override;

    // The entries kept in the hive itself; none when it holds none yet.
    std::vector<history::Entry> history() override;

  protected:
    KeyId top(Root root) override;
    // Outside a transaction each change is committed durably before it
    // returns. A transaction's history entry is written in it, before it
    // commits.
    void putValue(KeyId key, std::string_view name, DWORD type, std::string_view data) override;
    bool removeValue(KeyId key, std::string_view name) override;
    KeyId makeKey(KeyId from, std::string_view path) override;
    bool removeKey(KeyId key) override;
    void beginChanges() override;
    void commitChanges(history::Entry* entry) override;
    void rollbackChanges() override;
    bool canKeepHistory() const override { return true; }

  private:
    // Why changes are refused for the moment.
    enum class Refusal {
        None,
        DiskFull,      // no space left (or the user's quota used up)
        ReadOnlyDisk,  // the file system is mounted read-only
        Failed,        // the write-capable open failed for another reason
    };

    SqliteHive(std::filesystem::path file, sqlite3* db, bool writable);
    // Called before each change: a hive opened for reading only tries to
    // become writable, and throws the refusal while it cannot.
    void mayChange();
    Error refusalError() const;
    void closeConnection();
    sqlite3_stmt* statement(int which);
    void exec(const char* sql);
    [[noreturn]] void throwSqliteError(int rc, const char* what);
    std::optional<KeyId> childKey(KeyId parent, std::string_view name);

    std::filesystem::path file_;
    sqlite3* db_ = nullptr;
    bool writable_ = false;
    Refusal refusal_ = Refusal::None;
    std::string refusalWhy_;  // SQLite's words for a Failed open
    std::vector<sqlite3_stmt*> statements_;
    std::unique_ptr<historydb::Writer> history_;    // made with the first entry kept
    std::unordered_map<KeyId, std::string> names_;  // keys' full names (keyName)
    std::int64_t namesVersion_ = -1;                // the data version they hold for
};

// Opens a hive file as the current store: read-only, missing or damaged
// as the file is, with what the user should be told about it.
Opened openHive(const std::filesystem::path& file);
// Selects a hive file as the current store (current_store.h).
void selectHive(const std::filesystem::path& hiveFile);

}  // namespace regstore
