// A throw-away machine for tests: a temporary XDG_DATA_HOME with an empty
// hive (optionally holding every key of the settings catalogue) selected as
// the process's current hive; and the small file and environment helpers
// the tests share.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "hive/sqlite_hive.h"
#include "winreg/current_store.h"

namespace testing_support {

// A fresh temporary directory, removed by the caller. `inMemory` puts it on
// a memory file system when there is one (/dev/shm), where syncs cost
// nothing: for tests that sync a lot and never need the disk itself.
std::filesystem::path makeTempDir(const char* prefix, bool inMemory = false);

// A file's bytes ("" when it cannot be read); writing makes the folders above.
std::string readFile(const std::filesystem::path& file);
void writeFile(const std::filesystem::path& file, const std::string& bytes);

// What SQLite's integrity check says of a hive file ("ok" when sound),
// looked at read-only.
std::string integrityCheck(const std::filesystem::path& hive);

// The hive root a catalogue row's root number stands for.
regstore::Root rootOf(std::uint32_t catalogueRoot);

// Sets an environment variable while it lives, then puts the old value back
// (or unsets it).
class ScopedEnv {
  public:
    ScopedEnv(const char* name, const std::string& value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

  private:
    const char* name_;
    std::optional<std::string> old_;
};

// Points XDG_DATA_HOME at a directory while it lives, then puts it back.
class XdgDataHome : public ScopedEnv {
  public:
    explicit XdgDataHome(const std::filesystem::path& dir) : ScopedEnv("XDG_DATA_HOME", dir) {}
};

// Changes the process's current directory while it lives.
class CurrentDirectory {
  public:
    explicit CurrentDirectory(const std::filesystem::path& dir)
        : old_(std::filesystem::current_path()) {
        std::filesystem::current_path(dir);
    }
    ~CurrentDirectory() { std::filesystem::current_path(old_); }
    CurrentDirectory(const CurrentDirectory&) = delete;
    CurrentDirectory& operator=(const CurrentDirectory&) = delete;

  private:
    std::filesystem::path old_;
};

class TempMachine {
  public:
    enum Keys { NoKeys, CatalogueKeys };
    explicit TempMachine(Keys keys = CatalogueKeys);
    ~TempMachine();
    TempMachine(const TempMachine&) = delete;
    TempMachine& operator=(const TempMachine&) = delete;

    const std::filesystem::path& root() const { return root_; }
    std::filesystem::path hivePath() const;
    // A second connection to the same hive, for looking behind the program's back.
    regstore::SqliteHive& admin();
    // Closes the admin connection (it reopens on next use), so that the hive
    // file holds everything and no other connection keeps it open.
    void closeAdmin() { admin_.reset(); }
    // Creates a key given as ROOT\path with a root's short name (HKLM, HKCU, HKCR).
    regstore::KeyId createKey(const std::string& fullPath);
    // Reads a value through the admin connection; nullopt when missing.
    std::optional<regstore::Value> value(const std::string& fullPath, const std::string& name);

  private:
    std::filesystem::path root_;
    XdgDataHome xdg_;
    std::unique_ptr<regstore::SqliteHive> admin_;
};

}  // namespace testing_support
