#include "temp_machine.h"

#include <sys/stat.h>

#include <cstdlib>
#include <stdexcept>

#include "catalogue.h"

namespace testing_support {
namespace {

std::pair<hive::Root, std::string> splitRoot(const std::string& fullPath) {
    size_t cut = fullPath.find('\\');
    std::string root = fullPath.substr(0, cut);
    std::string rest = cut == std::string::npos ? "" : fullPath.substr(cut + 1);
    if (root == "HKLM") return {hive::Root::LocalMachine, rest};
    if (root == "HKCU") return {hive::Root::CurrentUser, rest};
    if (root == "HKCR") return {hive::Root::ClassesRoot, rest};
    throw std::invalid_argument("unknown root in " + fullPath);
}

hive::Root rootOf(std::uint32_t root) {
    switch (root) {
        case catalogue::HKCR:
            return hive::Root::ClassesRoot;
        case catalogue::HKCU:
            return hive::Root::CurrentUser;
        default:
            return hive::Root::LocalMachine;
    }
}

}  // namespace

std::filesystem::path makeTempDir(const char* prefix) {
    std::string pattern = (std::filesystem::temp_directory_path() / (std::string(prefix) + "XXXXXX")).string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    return pattern;
}

TempMachine::TempMachine(Keys keys) : root_(makeTempDir("knobwise-test-")) {
    if (const char* old = std::getenv("XDG_DATA_HOME")) {
        hadXdg_ = true;
        oldXdg_ = old;
    }
    setenv("XDG_DATA_HOME", root_.c_str(), 1);
    std::filesystem::create_directories(hivePath().parent_path());
    admin_ = hive::Hive::create(hivePath());
    if (keys == CatalogueKeys) {
        admin_->begin();
        for (const catalogue::Row& row : catalogue::kRows) admin_->createKey(rootOf(row.root), row.keyPath);
        admin_->commit();
    }
    admin_.reset();  // the schema and keys are in the file itself now
    hive::select(hivePath());
}

TempMachine::~TempMachine() {
    admin_.reset();
    hive::select("/nonexistent/knobwise-test-closed.db");
    if (hadXdg_) {
        setenv("XDG_DATA_HOME", oldXdg_.c_str(), 1);
    } else {
        unsetenv("XDG_DATA_HOME");
    }
    std::error_code ec;
    // Make everything removable again, whatever a test did to the modes.
    for (auto it = std::filesystem::recursive_directory_iterator(root_, ec);
         it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
        ::chmod(it->path().c_str(), 0700);
    }
    ::chmod(root_.c_str(), 0700);
    std::filesystem::remove_all(root_, ec);
}

std::filesystem::path TempMachine::hivePath() const { return root_ / "knobwise" / "registry.db"; }

hive::Hive& TempMachine::admin() {
    if (!admin_) admin_ = hive::Hive::open(hivePath());
    return *admin_;
}

hive::KeyId TempMachine::createKey(const std::string& fullPath) {
    auto [root, rest] = splitRoot(fullPath);
    return admin().createKey(root, rest);
}

std::optional<hive::Value> TempMachine::value(const std::string& fullPath, const std::string& name) {
    auto [root, rest] = splitRoot(fullPath);
    std::optional<hive::KeyId> key = admin().findKey(root, rest);
    return key ? admin().value(*key, name) : std::nullopt;
}

}  // namespace testing_support
