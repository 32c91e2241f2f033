#include "temp_machine.h"

#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "registry/catalogue.h"

namespace testing_support {
namespace {

std::pair<regstore::Root, std::string> splitRoot(const std::string& fullPath) {
    size_t cut = fullPath.find('\\');
    std::string root = fullPath.substr(0, cut);
    std::string rest = cut == std::string::npos ? "" : fullPath.substr(cut + 1);
    if (root == "HKLM") return {regstore::Root::LocalMachine, rest};
    if (root == "HKCU") return {regstore::Root::CurrentUser, rest};
    if (root == "HKCR") return {regstore::Root::ClassesRoot, rest};
    throw std::invalid_argument("unknown root in " + fullPath);
}

}  // namespace

std::string integrityCheck(const std::filesystem::path& hive) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(hive.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* s = nullptr;
    sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &s, nullptr);
    std::string result = sqlite3_step(s) == SQLITE_ROW
                             ? reinterpret_cast<const char*>(sqlite3_column_text(s, 0))
                             : "?";
    sqlite3_finalize(s);
    sqlite3_close(db);
    return result;
}

regstore::Root rootOf(std::uint32_t catalogueRoot) {
    return regstore::rootOf(catalogueRoot);
}

std::string readFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void writeFile(const std::filesystem::path& file, const std::string& bytes) {
    if (file.has_parent_path()) std::filesystem::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << bytes;
}

ScopedEnv::ScopedEnv(const char* name, const std::string& value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    setenv(name, value.c_str(), 1);
}

ScopedEnv::~ScopedEnv() {
    if (old_) {
        setenv(name_, old_->c_str(), 1);
    } else {
        unsetenv(name_);
    }
}

std::filesystem::path makeTempDir(const char* prefix, bool inMemory) {
    std::filesystem::path base = std::filesystem::temp_directory_path();
    if (inMemory && ::access("/dev/shm", W_OK | X_OK) == 0) base = "/dev/shm";
    std::string pattern = (base / (std::string(prefix) + "XXXXXX")).string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    return pattern;
}

TempMachine::TempMachine(Keys keys) : root_(makeTempDir("knobwise-test-")), xdg_(root_) {
    std::filesystem::create_directories(hivePath().parent_path());
    admin_ = regstore::SqliteHive::create(hivePath());
    if (keys == CatalogueKeys) {
        admin_->begin();
        for (const catalogue::Row& row : catalogue::kRows)
            admin_->createKey(rootOf(row.root), row.keyPath);
        admin_->commit();
    }
    admin_.reset();  // the schema and keys are in the file itself now
    regstore::selectHive(hivePath());
}

TempMachine::~TempMachine() {
    admin_.reset();
    regstore::selectHive("/nonexistent/knobwise-test-closed.db");
    std::error_code ec;
    // Make everything removable again, whatever a test did to the modes.
    for (auto it = std::filesystem::recursive_directory_iterator(root_, ec);
         it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
        ::chmod(it->path().c_str(), 0700);
    }
    ::chmod(root_.c_str(), 0700);
    std::filesystem::remove_all(root_, ec);
}

std::filesystem::path TempMachine::hivePath() const {
    return root_ / "knobwise" / "registry.db";
}

regstore::SqliteHive& TempMachine::admin() {
    if (!admin_) admin_ = regstore::SqliteHive::open(hivePath());
    return *admin_;
}

regstore::KeyId TempMachine::createKey(const std::string& fullPath) {
    auto [root, rest] = splitRoot(fullPath);
    return admin().createKey(root, rest);
}

std::optional<regstore::Value> TempMachine::value(const std::string& fullPath,
                                                  const std::string& name) {
    auto [root, rest] = splitRoot(fullPath);
    std::optional<regstore::KeyId> key = admin().findKey(root, rest);
    return key ? admin().value(*key, name) : std::nullopt;
}

}  // namespace testing_support
