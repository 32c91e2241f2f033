#include "machine/wineserver.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <vector>

namespace wineserver {
namespace {

namespace fs = std::filesystem;

// The name the prefix's "wineserver" file gives, when it is a plain folder
// name (nothing that could lead elsewhere).
std::string debianFolderName(const fs::path& prefix) {
    std::ifstream in(prefix / "wineserver");
    std::string name;
    std::getline(in, name);
    while (!name.empty() && (name.back() == '\r' || name.back() == ' ')) name.pop_back();
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos)
        return {};
    return name;
}

// Whether a process holds a write lock on the file; a server directory with
// a socket but a lock file we cannot check counts as running.
bool locked(const fs::path& dir) {
    int fd = ::open((dir / "lock").c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        std::error_code ec;
        return fs::exists(dir / "socket", ec);
    }
    struct flock probe {};
    probe.l_type = F_WRLCK;
    probe.l_whence = SEEK_SET;
    probe.l_start = 0;
    probe.l_len = 0;
    bool held = ::fcntl(fd, F_GETLK, &probe) == 0 ? probe.l_type != F_UNLCK : true;
    ::close(fd);
    return held;
}

}  // namespace

bool running(const fs::path& prefix) {
    struct stat st {};
    if (::stat(prefix.c_str(), &st) != 0) return false;
    char leaf[64];
    std::snprintf(leaf, sizeof leaf, "server-%llx-%llx", static_cast<unsigned long long>(st.st_dev),
                  static_cast<unsigned long long>(st.st_ino));
    std::vector<fs::path> tmps{"/tmp"};
    if (const char* t = std::getenv("TMPDIR"); t && *t == '/' && fs::path(t) != "/tmp")
        tmps.emplace_back(t);
    std::vector<fs::path> candidates;
    const std::string debian = debianFolderName(prefix);
    for (const fs::path& tmp : tmps) {
        if (!debian.empty()) candidates.push_back(tmp / debian / leaf);
        candidates.push_back(tmp / (".wine-" + std::to_string(::getuid())) / leaf);
    }
    for (const fs::path& dir : candidates) {
        std::error_code ec;
        if (fs::is_directory(dir, ec) && locked(dir)) return true;
    }
    return false;
}

std::string runningMessage(const fs::path& prefix) {
    return "Wine is running in " + prefix.string() +
           "; Knobwise shows its settings but cannot change them until every Wine program "
           "there has ended, for example with `wineserver -k`";
}

}  // namespace wineserver
