#include "machine.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

namespace machine {

namespace {

std::filesystem::path home() {
    if (const char* h = std::getenv("HOME"); h && *h) return h;
    if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir) return pw->pw_dir;
    return "/";
}

}  // namespace

std::filesystem::path directory() {
    const char* xdg = std::getenv("XDG_DATA_HOME");
    std::filesystem::path base =
        xdg && *xdg == '/' ? std::filesystem::path(xdg) : home() / ".local" / "share";
    return base / "knobwise";
}

std::filesystem::path hivePath() { return directory() / "registry.db"; }

std::filesystem::path driveC() { return directory() / "drive_c"; }

}  // namespace machine

// Provisional: makes an empty hive. Seeding from the shipped data replaces it.
#include "hive.h"

namespace machine {

Outcome ensure() {
    Outcome out;
    std::error_code ec;
    if (std::filesystem::exists(hivePath(), ec)) return out;
    std::filesystem::create_directories(driveC(), ec);
    try {
        hive::Hive::create(hivePath());
        out.created = true;
    } catch (const std::exception& e) {
        out.error = e.what();
    }
    return out;
}

std::filesystem::path dataDirectory() { return KNOBWISE_DATA_DIR_INSTALLED; }

}  // namespace machine
