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
