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

std::filesystem::path hivePath() {
    return directory() / "registry.db";
}

std::filesystem::path driveC() {
    return directory() / "drive_c";
}

// Beside the executable first: the build tree keeps its programs one level
// below the root (app/, tools/, tests/) and the data in share/knobwise; an
// installed program finds it at the compiled-in place.
std::filesystem::path dataDirectory() {
    std::error_code ec;
    std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (!ec) {
        for (const char* up : {"../share/knobwise", "../../share/knobwise"}) {
            std::filesystem::path candidate = (exe.parent_path() / up).lexically_normal();
            if (std::filesystem::is_regular_file(candidate / "default.reg", ec)) return candidate;
        }
    }
    return KNOBWISE_DATA_DIR_INSTALLED;
}

}  // namespace machine
