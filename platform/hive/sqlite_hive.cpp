#include "hive/sqlite_hive.h"

#include <sqlite3.h>

#include <array>

#include "historydb/historydb.h"
#include "text/casefold.h"
#include "winreg/history.h"

namespace regstore {
namespace {

constexpr KeyId kLocalMachine = 1;
constexpr KeyId kCurrentUser = 2;

enum Statement {
    kFindChild,
    kGetValue,
    kSetValue,
    kDeleteValue,
    kInsertKey,
    kListKeys,
    kListValues,
    kKeyExists,
    kKeyRow,
    kDataVersion,
    kBeginRead,
    kEndRead,
    kStatementCount
};

constexpr std::array<const char*, kStatementCount> kSql = {
    "SELECT id FROM keys WHERE parent = ?1 AND fold = ?2",
    "SELECT name, type, data FROM vals WHERE key = ?1 AND fold = ?2",
    "INSERT INTO vals (key, name, fold, type, data) SELECT ?1, ?2, ?3, ?4, ?5 "
    "WHERE EXISTS (SELECT 1 FROM keys WHERE id = ?1) "
    "ON CONFLICT (key, fold) DO UPDATE SET type = excluded.type, data = excluded.data",
    "DELETE FROM vals WHERE key = ?1 AND fold = ?2",
    "INSERT INTO keys (parent, name, fold) VALUES (?1, ?2, ?3)",
    "SELECT id, name FROM keys WHERE parent = ?1 ORDER BY fold",
    "SELECT name, type, data FROM vals WHERE key = ?1 ORDER BY fold",
    "SELECT 1 FROM keys WHERE id = ?1",
    "SELECT parent, name FROM keys WHERE id = ?1",
    "PRAGMA data_version",
    "BEGIN",
    "COMMIT",
};

// Runs a prepared statement to its end and resets it, whatever happens.
class Step {
  public:
    explicit Step(sqlite3_stmt* s) : s_(s) {}
    ~Step() {
        sqlite3_reset(s_);
        sqlite3_clear_bindings(s_);
    }
    Step(const Step&) = delete;
    Step& operator=(const Step&) = delete;
    Step& bind(int i, std::int64_t v) {
        sqlite3_bind_int64(s_, i, v);
        return *this;
    }
    Step& bind(int i, std::string_view text) {
        sqlite3_bind_text(s_, i, text.data(), static_cast<int>(text.size()), SQLITE_STATIC);
        return *this;
    }
    Step& blob(int i, std::string_view bytes) {
        // A zero-length blob must still be a blob, not NULL.
        sqlite3_bind_blob(s_, i, bytes.empty() ? "" : bytes.data(), static_cast<int>(bytes.size()),
                          SQLITE_STATIC);
        return *this;
    }
    // SQLITE_ROW or SQLITE_DONE; anything else is returned for the caller to fail on.
    int next() { return sqlite3_step(s_); }
    std::int64_t integer(int col) { return sqlite3_column_int64(s_, col); }
    std::string text(int col) {
        auto p = reinterpret_cast<const char*>(sqlite3_column_text(s_, col));
        return p ? std::string(p, static_cast<size_t>(sqlite3_column_bytes(s_, col)))
                 : std::string();
    }
    std::string bytes(int col) {
        auto p = static_cast<const char*>(sqlite3_column_blob(s_, col));
        return p ? std::string(p, static_cast<size_t>(sqlite3_column_bytes(s_, col)))
                 : std::string();
    }

  private:
    sqlite3_stmt* s_;
};

bool ok(int rc) {
    return rc == SQLITE_ROW || rc == SQLITE_DONE;
}

}  // namespace

// ---- SqliteHive ----
//
// Opening the file, the refusals of changes and SQLite's failures are in
// sqlite_hive_open.cpp.

SqliteHive::SqliteHive(std::filesystem::path file, sqlite3* db, bool writable)
    : file_(std::move(file)), db_(db), writable_(writable), statements_(kStatementCount, nullptr) {}

SqliteHive::~SqliteHive() {
    history_.reset();
    for (sqlite3_stmt* s : statements_) sqlite3_finalize(s);
    sqlite3_close(db_);
}

sqlite3_stmt* SqliteHive::statement(int which) {
    sqlite3_stmt*& s = statements_[static_cast<size_t>(which)];
    if (!s) {
        int rc = sqlite3_prepare_v3(db_, kSql[static_cast<size_t>(which)], -1,
                                    SQLITE_PREPARE_PERSISTENT, &s, nullptr);
        if (rc != SQLITE_OK) throwSqliteError(rc, "prepare");
    }
    return s;
}

void SqliteHive::exec(const char* sql) {
    int rc = sqlite3_exec(db_, sql, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) throwSqliteError(rc, sql);
}

KeyId SqliteHive::top(Root root) {
    return root == Root::CurrentUser ? kCurrentUser : kLocalMachine;
}

std::optional<KeyId> SqliteHive::childKey(KeyId parent, std::string_view name) {
    std::string folded = casefold::fold(name);
    Step step(statement(kFindChild));
    step.bind(1, parent).bind(2, folded);
    int rc = step.next();
    if (rc == SQLITE_ROW) return step.integer(0);
    if (rc != SQLITE_DONE) throwSqliteError(rc, "find key");
    return std::nullopt;
}

std::optional<KeyId> SqliteHive::findKey(KeyId from, std::string_view path) {
    std::vector<std::string_view> parts = splitKeyPath(path);
    // A walk of several steps reads in one transaction rather than one per
    // step: a read transaction costs more than a step through an index.
    bool together = parts.size() > 1 && sqlite3_get_autocommit(db_) != 0;
    if (together) {
        Step begin(statement(kBeginRead));
        if (int rc = begin.next(); rc != SQLITE_DONE) throwSqliteError(rc, "find key");
    }
    std::optional<KeyId> key = from;
    try {
        for (std::string_view part : parts) {
            key = childKey(*key, part);
            if (!key) break;
        }
    } catch (...) {
        if (together) rollbackChanges();
        throw;
    }
    if (together) {
        Step end(statement(kEndRead));
        if (int rc = end.next(); rc != SQLITE_DONE) {
            rollbackChanges();  // never leave a read transaction open
            throwSqliteError(rc, "find key");
        }
    }
    return key;
}

bool SqliteHive::keyExists(KeyId key) {
    Step step(statement(kKeyExists));
    step.bind(1, key);
    int rc = step.next();
    if (!ok(rc)) throwSqliteError(rc, "find key");
    return rc == SQLITE_ROW;
}

std::optional<Value> SqliteHive::value(KeyId key, std::string_view name) {
    std::string folded = casefold::fold(name);
    Step step(statement(kGetValue));
    step.bind(1, key).bind(2, folded);
    int rc = step.next();
    if (rc == SQLITE_DONE) return std::nullopt;
    if (rc != SQLITE_ROW) throwSqliteError(rc, "read value");
    return Value{step.text(0), static_cast<DWORD>(step.integer(1)), step.bytes(2)};
}

std::vector<Subkey> SqliteHive::subkeys(KeyId key) {
    std::vector<Subkey> out;
    Step step(statement(kListKeys));
    step.bind(1, key);
    int rc;
    while ((rc = step.next()) == SQLITE_ROW) out.push_back({step.integer(0), step.text(1)});
    if (rc != SQLITE_DONE) throwSqliteError(rc, "list keys");
    return out;
}

std::vector<Value> SqliteHive::values(KeyId key) {
    std::vector<Value> out;
    Step step(statement(kListValues));
    step.bind(1, key);
    int rc;
    while ((rc = step.next()) == SQLITE_ROW) {
        out.push_back({step.text(0), static_cast<DWORD>(step.integer(1)), step.bytes(2)});
    }
    if (rc != SQLITE_DONE) throwSqliteError(rc, "list values");
    return out;
}

// Names are kept once worked out (the history names every key it changes),
// until another connection has committed a change or this one deletes a
// key or rolls back: a key's number may then stand for another key.
std::string SqliteHive::keyName(KeyId key) {
    Step version(statement(kDataVersion));
    if (int rc = version.next(); rc != SQLITE_ROW) throwSqliteError(rc, "key name");
    if (version.integer(0) != namesVersion_) {
        names_.clear();
        namesVersion_ = version.integer(0);
    }
    if (auto known = names_.find(key); known != names_.end()) return known->second;
    std::string name;
    for (KeyId at = key; at != 0;) {
        Step step(statement(kKeyRow));
        step.bind(1, at);
        int rc = step.next();
        if (rc != SQLITE_ROW)
            throwSqliteError(rc == SQLITE_DONE ? SQLITE_NOTFOUND : rc, "key name");
        name = name.empty() ? step.text(1) : step.text(1) + "\\" + name;
        at = step.integer(0);
    }
    names_.emplace(key, name);
    return name;
}

void SqliteHive::putValue(KeyId key, std::string_view name, DWORD type, std::string_view data) {
    mayChange();
    std::string folded = casefold::fold(name);
    Step step(statement(kSetValue));
    step.bind(1, key)
        .bind(2, name)
        .bind(3, folded)
        .bind(4, static_cast<std::int64_t>(type))
        .blob(5, data);
    int rc = step.next();
    if (rc != SQLITE_DONE) throwSqliteError(rc, "write value");
    if (sqlite3_changes(db_) == 0) throw Error(ERROR_KEY_DELETED, "The key has been deleted.");
}

bool SqliteHive::removeValue(KeyId key, std::string_view name) {
    mayChange();
    std::string folded = casefold::fold(name);
    Step step(statement(kDeleteValue));
    step.bind(1, key).bind(2, folded);
    int rc = step.next();
    if (rc != SQLITE_DONE) throwSqliteError(rc, "delete value");
    return sqlite3_changes(db_) > 0;
}

KeyId SqliteHive::makeKey(KeyId from, std::string_view path) {
    mayChange();
    KeyId key = from;
    for (std::string_view part : splitKeyPath(path)) {
        if (std::optional<KeyId> child = childKey(key, part)) {
            key = *child;
            continue;
        }
        std::string folded = casefold::fold(part);
        Step step(statement(kInsertKey));
        step.bind(1, key).bind(2, part).bind(3, folded);
        int rc = step.next();
        if (rc != SQLITE_DONE) throwSqliteError(rc, "create key");
        key = sqlite3_last_insert_rowid(db_);
    }
    return key;
}

bool SqliteHive::removeKey(KeyId key) {
    if (key == kLocalMachine || key == kCurrentUser) return false;
    mayChange();
    names_.clear();
    sqlite3_stmt* s = nullptr;
    int rc = sqlite3_prepare_v2(db_,
                                "WITH RECURSIVE sub(id) AS (SELECT ?1 UNION ALL "
                                "SELECT k.id FROM keys k JOIN sub ON k.parent = sub.id) "
                                "SELECT id FROM sub",
                                -1, &s, nullptr);
    if (rc != SQLITE_OK) throwSqliteError(rc, "delete key");
    std::vector<KeyId> doomed;
    sqlite3_bind_int64(s, 1, key);
    while ((rc = sqlite3_step(s)) == SQLITE_ROW) doomed.push_back(sqlite3_column_int64(s, 0));
    sqlite3_finalize(s);
    if (rc != SQLITE_DONE) throwSqliteError(rc, "delete key");
    if (!keyExists(key)) return false;
    bool outer = sqlite3_get_autocommit(db_) != 0;
    if (outer) beginChanges();
    try {
        for (KeyId id : doomed) {
            for (const char* sql :
                 {"DELETE FROM vals WHERE key = ?1", "DELETE FROM keys WHERE id = ?1"}) {
                sqlite3_stmt* d = nullptr;
                rc = sqlite3_prepare_v2(db_, sql, -1, &d, nullptr);
                if (rc == SQLITE_OK) {
                    sqlite3_bind_int64(d, 1, id);
                    rc = sqlite3_step(d);
                }
                sqlite3_finalize(d);
                if (rc != SQLITE_DONE) throwSqliteError(rc, "delete key");
            }
        }
        if (outer) commitChanges(nullptr);
    } catch (...) {
        if (outer) rollbackChanges();
        throw;
    }
    return true;
}

void SqliteHive::beginChanges() {
    mayChange();
    exec("BEGIN IMMEDIATE");
}
void SqliteHive::commitChanges(history::Entry* entry) {
    if (entry) {
        // The tables of the history are made in the first transaction that
        // keeps an entry (a hive made before there was one lacks them).
        if (!history_) history_ = std::make_unique<historydb::Writer>(db_);
        history_->add({}, *entry);
    }
    exec("COMMIT");
}
void SqliteHive::rollbackChanges() {
    names_.clear();
    sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
}

std::vector<history::Entry> SqliteHive::history() {
    return historydb::entries(db_, {});
}

}  // namespace regstore
