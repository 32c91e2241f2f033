#include "files/user_dirs.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

namespace user_dirs {
namespace {

namespace fs = std::filesystem;

// An XDG variable when it holds an absolute path (a relative one is to be
// ignored, as the XDG base directory rules have it), else `fallback` below
// the home folder.
fs::path baseDir(const char* variable, const char* fallback) {
    const char* value = std::getenv(variable);
    return value && *value == '/' ? fs::path(value) : home() / fallback;
}

}  // namespace

fs::path home() {
    if (const char* h = std::getenv("HOME"); h && *h == '/') return h;
    if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir && *pw->pw_dir == '/')
        return pw->pw_dir;
    return "/";
}

fs::path dataHome() {
    return baseDir("XDG_DATA_HOME", ".local/share");
}

fs::path stateHome() {
    return baseDir("XDG_STATE_HOME", ".local/state");
}

}  // namespace user_dirs
