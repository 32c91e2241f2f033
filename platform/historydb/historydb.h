// The history of changes (winreg/history.h) kept in a SQLite database: in
// the embedded machine's hive itself, in the transaction of the change;
// for a Wine prefix, in a file of the user's state folder (Journal), written
// durably before the prefix's files are replaced.
//
// Each entry belongs to a machine (the hive's own: an empty name; a prefix:
// its real path); the newest history::kKept of each are kept.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "winreg/history.h"

struct sqlite3;

namespace historydb {

// Writes entries into a database's history, its statements prepared once.
class Writer {
  public:
    // Makes the tables when they are missing. Throws regstore::Error.
    explicit Writer(sqlite3* db);
    ~Writer();
    Writer(const Writer&) = delete;
    Writer& operator=(const Writer&) = delete;
    // Adds `entry` for `machine` in the transaction open on the database
    // (its id into entry.id), dropping what is beyond the newest kept.
    // Throws regstore::Error.
    void add(const std::string& machine, history::Entry& entry);
    // The entry's steps, as it has them now.
    void replaceSteps(const history::Entry& entry);

  private:
    struct Statements;
    sqlite3* db_;
    std::unique_ptr<Statements> s_;
};
// The entries of `machine`, the newest first; none where the tables are
// missing. Entries that cannot be read are left out.
std::vector<history::Entry> entries(sqlite3* db, const std::string& machine);

// The history of a registry that is no database of ours, in a file of its
// own, opened when first used.
class Journal {
  public:
    Journal(std::filesystem::path file, std::string machine);
    ~Journal();
    Journal(const Journal&) = delete;
    Journal& operator=(const Journal&) = delete;

    const std::filesystem::path& file() const { return file_; }
    // Keeps `entry` (entry.made false), durably, before its change is made.
    void prepare(history::Entry& entry);
    // Its change made: kept as made, with the steps it has now (a change
    // made only in part keeps the steps that were).
    void made(const history::Entry& entry);
    // Its change not made: forgotten.
    void drop(const history::Entry& entry);
    std::vector<history::Entry> entries();

  private:
    sqlite3* db();
    void exec(const char* sql);

    std::filesystem::path file_;
    std::string machine_;
    sqlite3* db_ = nullptr;
    std::unique_ptr<Writer> writer_;
};

}  // namespace historydb
