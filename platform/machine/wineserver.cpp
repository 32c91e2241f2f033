#include "machine/wineserver.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "files/untrusted_file.h"

namespace wineserver {
namespace {

namespace fs = std::filesystem;

// The prefix's "wineserver" file is one line, a folder's name; the lock
// file holds nothing. Anything longer is not Wine's.
constexpr std::uintmax_t kLineFile = 4096;

// The name the prefix's "wineserver" file gives, when it is a plain folder
// name (nothing that could lead elsewhere).
std::string debianFolderName(const fs::path& prefix) {
    std::string name;
    try {
        name = untrusted_file::read(prefix / "wineserver", kLineFile);
    } catch (const untrusted_file::Refused&) {
        return {};
    }
    name.resize(std::min(name.size(), name.find_first_of("\r\n")));
    while (!name.empty() && name.back() == ' ') name.pop_back();
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos)
        return {};
    return name;
}

// Whether Wine would take `dir` for this user's: a folder, not a link,
// owned by the user and closed to everyone else. Wine refuses to start a
// server in any other (another account could make one for us, with a lock
// that never goes, or a FIFO for a lock); so no server of ours runs there.
bool ownedAsWineOwnsIt(const fs::path& dir) {
    struct stat st {};
    return ::lstat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::getuid() &&
           (st.st_mode & 077) == 0;
}

// The process that holds a write lock on the file (0 when it cannot be
// told); nullopt when none does. A server directory with a socket but a
// lock file we cannot check counts as held.
std::optional<pid_t> lockHolder(const fs::path& dir) {
    std::optional<untrusted_file::File> lock;
    try {
        lock.emplace(untrusted_file::open(dir / "lock", kLineFile));
    } catch (const untrusted_file::Refused&) {
        std::error_code ec;
        if (fs::exists(dir / "socket", ec)) return 0;
        return std::nullopt;
    }
    struct flock probe {};
    probe.l_type = F_WRLCK;
    probe.l_whence = SEEK_SET;
    probe.l_start = 0;
    probe.l_len = 0;
    if (::fcntl(lock->fd(), F_GETLK, &probe) != 0) return 0;
    if (probe.l_type == F_UNLCK) return std::nullopt;
    return probe.l_pid > 0 ? probe.l_pid : 0;
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
    // Each folder in /tmp that Wine may keep servers in, then the server's
    // own folder there, both trusted only as Wine trusts them.
    std::vector<fs::path> bases;
    const std::string debian = debianFolderName(prefix);
    for (const fs::path& tmp : tmps) {
        if (!debian.empty()) bases.push_back(tmp / debian);
        bases.push_back(tmp / (".wine-" + std::to_string(::getuid())));
    }
    for (const fs::path& base : bases) {
        if (!ownedAsWineOwnsIt(base) || !ownedAsWineOwnsIt(base / leaf)) continue;
        if (std::optional<pid_t> pid = lockHolder(base / leaf)) return pid;
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
