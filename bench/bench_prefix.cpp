#include "bench_prefix.h"

#include <cstdlib>

#include "registry/catalogue.h"
#include "wineprefix/prefix_store.h"

namespace bench_prefix {
namespace {

namespace fs = std::filesystem;

}  // namespace

fs::path make(const fs::path& work, std::string* why, const char* name) {
    fs::path source;
    std::error_code ec;
    if (const char* given = std::getenv("KNOBWISE_BENCH_PREFIX"); given && *given) {
        source = given;
    } else if (fs::exists(work / "wineboot" / "system.reg", ec)) {
        source = work / "wineboot";
    } else {
        source = work / "wineboot";
        const std::string command = "env -u DISPLAY WINEPREFIX='" + source.string() +
                                    "' WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml=' "
                                    "sh -c 'wineboot -i && wineserver -w' >/dev/null 2>&1";
        if (std::system(command.c_str()) != 0) {
            *why = "no Wine prefix: install Wine or set KNOBWISE_BENCH_PREFIX";
            return {};
        }
    }
    const fs::path prefix = work / name;
    fs::create_directories(prefix / "dosdevices", ec);
    for (const char* file : {"system.reg", "user.reg"})
        fs::copy_file(source / file, prefix / file, fs::copy_options::overwrite_existing, ec);
    if (ec) {
        *why = "cannot copy the registry files of " + source.string() + ": " + ec.message();
        return {};
    }
    fs::create_directory_symlink(fs::absolute(source / "drive_c"),
                                 prefix / "dosdevices" / "c:", ec);
    fs::create_directory_symlink("/", prefix / "dosdevices" / "z:", ec);

    auto store = regstore::PrefixStore::open(prefix);
    store->begin();
    for (const catalogue::Row& row : catalogue::kRows)
        store->createKey(regstore::rootOf(row.root), row.keyPath);
    store->commit();
    return prefix;
}

bool startWine(const fs::path& prefix, std::string* why) {
    const std::string command = "env -u DISPLAY WINEPREFIX='" + prefix.string() +
                                "' WINEDEBUG=-all sh -c 'wineserver -p && wine reg query HKCU' "
                                "</dev/null >/dev/null 2>&1";
    if (std::system(command.c_str()) == 0) return true;
    *why = "Wine could not be started in " + prefix.string();
    return false;
}

void stopWine(const fs::path& prefix) {
    const std::string command =
        "WINEPREFIX='" + prefix.string() + "' sh -c 'wineserver -k; wineserver -w' >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0) return;
}

std::vector<regstore::KeyPath> settingsKeys() {
    std::vector<regstore::KeyPath> keys;
    for (const catalogue::Row& row : catalogue::kRows)
        keys.push_back({regstore::rootOf(row.root), row.keyPath});
    return keys;
}

}  // namespace bench_prefix
