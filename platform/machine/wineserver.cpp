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

// The process that holds a write lock on the file (0 when it cannot be
// told); nullopt when none does. A server directory with a socket but a
// lock file we cannot check counts as held.
std::optional<pid_t> lockHolder(const fs::path& dir) {
    int fd = ::open((dir / "lock").c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        std::error_code ec;
        if (fs::exists(dir / "socket", ec)) return 0;
        return std::nullopt;
    }
    struct flock probe {};
    probe.l_type = F_WRLCK;
    probe.l_whence = SEEK_SET;
    probe.l_start = 0;
    probe.l_len = 0;
    std::optional<pid_t> holder;
    if (::fcntl(fd, F_GETLK, &probe) != 0)
        holder = 0;
    else if (probe.l_type != F_UNLCK)
        holder = probe.l_pid > 0 ? probe.l_pid : 0;
    ::close(fd);
    return holder;
}

}  // namespace

std::optional<pid_t> holder(const fs::path& prefix) {
    struct stat st {};
    if (::stat(prefix.c_str(), &st) != 0) return std::nullopt;
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
        if (!fs::is_directory(dir, ec)) continue;
        if (std::optional<pid_t> pid = lockHolder(dir)) return pid;
    }
    return std::nullopt;
}

bool running(const fs::path& prefix) {
    return holder(prefix).has_value();
}

std::string runningMessage(const fs::path& prefix, const std::string& why) {
    return "Wine is running in " + prefix.string() + ", but " + why +
           ". Knobwise shows its settings but cannot change them until every Wine program "
           "there has ended, for example with `wineserver -k`";
}

}  // namespace wineserver
