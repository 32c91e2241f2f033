// A throw-away machine for tests: a temporary XDG_DATA_HOME with an empty
// hive (optionally holding every key of the settings catalogue) selected as
// the process's current hive.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "hive.h"

namespace testing_support {

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
    hive::Hive& admin();
    // Closes the admin connection (it reopens on next use), so that the hive
    // file holds everything and no other connection keeps it open.
    void closeAdmin() { admin_.reset(); }
    // Creates a key given as ROOT\path with a root's short name (HKLM, HKCU, HKCR).
    hive::KeyId createKey(const std::string& fullPath);
    // Reads a value through the admin connection; nullopt when missing.
    std::optional<hive::Value> value(const std::string& fullPath, const std::string& name);

private:
    std::filesystem::path root_;
    std::string oldXdg_;
    bool hadXdg_ = false;
    std::unique_ptr<hive::Hive> admin_;
};

// A fresh temporary directory, removed by the caller.
std::filesystem::path makeTempDir(const char* prefix);

}  // namespace testing_support
