// Making a new machine: the hive seeded from default.reg and drive C with its
// folders and template files, built in a private directory and moved into
// place in one step. The hive is what makes a machine: while it is missing
// there is no machine, and once it is there nothing here touches it again.
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <system_error>

#include "dotreg/dotreg.h"
#include "hive/sqlite_hive.h"
#include "machine/data_directory.h"
#include "machine/seeding.h"
#include "text/codepage.h"

namespace machine {
namespace seeding {
namespace {

namespace fs = std::filesystem;

std::function<void(std::string_view)>& probe() {
    static std::function<void(std::string_view)> p;
    return p;
}

void step(std::string_view name) {
    if (probe()) probe()(name);
}

[[noreturn]] void systemFailure(int error, const std::string& what) {
    throw std::system_error(error, std::generic_category(), what);
}

std::string loginName() {
    if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_name && *pw->pw_name)
        return pw->pw_name;
    for (const char* variable : {"LOGNAME", "USER"}) {
        if (const char* name = std::getenv(variable); name && *name) return name;
    }
    return {};
}

void syncPath(const fs::path& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) systemFailure(errno, "cannot open " + path.string());
    int rc = ::fsync(fd);
    int error = errno;
    ::close(fd);
    if (rc != 0) systemFailure(error, "cannot write " + path.string() + " to disk");
}

// Everything of a new machine on disk before it is moved into place.
void syncTree(const fs::path& root) {
    for (const fs::directory_entry& e : fs::recursive_directory_iterator(root)) {
        fs::file_status st = e.symlink_status();
        if (fs::is_regular_file(st) || fs::is_directory(st)) syncPath(e.path());
    }
    syncPath(root);
}

// A private directory (mode 0700) in which a machine is built, with a lock
// file beside it that its builder holds while it lives. A marked lock file
// that nobody holds belongs to a builder that was killed.
class Aside {
  public:
    explicit Aside(const fs::path& parent) {
        std::string pattern = (parent / (std::string(kAsidePrefix) + "XXXXXX")).string();
        if (!::mkdtemp(pattern.data()))
            systemFailure(errno, "cannot make a directory in " + parent.string());
        path_ = pattern;
        lock_ = pattern + ".lock";
        fd_ = ::open(lock_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd_ < 0) {
            int error = errno;
            ::rmdir(path_.c_str());
            systemFailure(error, "cannot make " + lock_.string());
        }
        // Blocks only while a cleaner looks at it; then the mark says "taken".
        while (::flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
        }
        if (::write(fd_, "1", 1) != 1) {
            int error = errno;
            release();
            systemFailure(error, "cannot write " + lock_.string());
        }
    }
    ~Aside() { release(); }
    Aside(const Aside&) = delete;
    Aside& operator=(const Aside&) = delete;

    const fs::path& path() const { return path_; }

  private:
    void release() {
        std::error_code ec;
        fs::remove_all(path_, ec);  // nothing left when it was moved into place
        ::unlink(lock_.c_str());
        ::close(fd_);
    }

    fs::path path_;
    fs::path lock_;
    int fd_ = -1;
};

// Removes what builders that were killed left in `parent`.
void removeAbandoned(const fs::path& parent) {
    std::error_code ec;
    std::vector<fs::path> locks;
    for (fs::directory_iterator it(parent, ec), end; !ec && it != end; it.increment(ec)) {
        std::string name = it->path().filename().string();
        if (name.starts_with(kAsidePrefix) && name.ends_with(".lock")) locks.push_back(it->path());
    }
    for (const fs::path& lock : locks) {
        int fd = ::open(lock.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
        if (fd < 0) continue;
        struct stat st {};
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::fstat(fd, &st) == 0 && st.st_size > 0) {
            fs::path aside = lock;
            aside.replace_extension();
            fs::remove_all(aside, ec);
            ::unlink(lock.c_str());
        }
        ::close(fd);
    }
}

void copyTemplate(const fs::path& from, const fs::path& to) {
    std::error_code ec;
    if (!fs::is_directory(from, ec)) return;
    for (const fs::directory_entry& e : fs::recursive_directory_iterator(from)) {
        fs::path target = to / e.path().lexically_relative(from);
        fs::file_status st = e.symlink_status();
        if (fs::is_directory(st)) {
            fs::create_directories(target);
        } else if (fs::is_regular_file(st)) {
            fs::copy_file(e.path(), target, fs::copy_options::overwrite_existing);
        }
        // Links and special files are no part of a machine.
    }
}

void build(const fs::path& at, const fs::path& data) {
    {
        std::unique_ptr<regstore::SqliteHive> hive =
            regstore::SqliteHive::create(at / "registry.db");
        const fs::path seed = data / "default.reg";
        try {
            dotreg::importFile(*hive, seed);
        } catch (const dotreg::ImportError& e) {
            throw std::runtime_error("the seed registry " + seed.string() +
                                     " cannot be used: " + e.what());
        }
        if (std::string name = loginName(); !name.empty()) {
            regstore::KeyId winlogon =
                hive->createKey(regstore::Root::LocalMachine,
                                "Software\\Microsoft\\Windows\\CurrentVersion\\WinLogon");
            hive->setValue(winlogon, "DefaultUserName", REG_SZ, codepage::fromUtf8(name) + '\0');
        }
    }  // closed: everything is in the file itself
    step("registry");
    const fs::path windows = at / "drive_c" / "WINDOWS";
    fs::create_directories(windows / "SYSTEM");
    fs::create_directories(windows / "Start Menu" / "Programs" / "StartUp");
    copyTemplate(data / "drive_c", at / "drive_c");
    step("drive");
    syncTree(at);
}

// The new machine takes the place of nothing or of an empty directory. False
// when another program put its machine there first.
bool placeWhole(const fs::path& aside, const fs::path& dir) {
    if (::rename(aside.c_str(), dir.c_str()) != 0) {
        if (errno == ENOTEMPTY || errno == EEXIST) return false;
        systemFailure(errno, "cannot move the new machine to " + dir.string());
    }
    syncPath(dir.parent_path());
    return true;
}

// Moves what `from` holds into `to` where `to` has nothing of that name yet;
// never replaces anything.
void moveMissing(const fs::path& from, const fs::path& to) {
    std::error_code ec;
    fs::file_status there = fs::symlink_status(to, ec);
    if (!fs::exists(there)) {
        if (::rename(from.c_str(), to.c_str()) == 0) return;
        if (errno != ENOTEMPTY && errno != EEXIST)
            systemFailure(errno, "cannot move " + to.string());
        there = fs::symlink_status(to, ec);
    }
    if (!fs::is_directory(there) || !fs::is_directory(from)) return;  // keep what is there
    for (const fs::directory_entry& e : fs::directory_iterator(from)) {
        const fs::path target = to / e.path().filename();
        if (e.is_directory()) {
            moveMissing(e.path(), target);
        } else if (::link(e.path().c_str(), target.c_str()) != 0 && errno != EEXIST) {
            systemFailure(errno, "cannot move " + target.string());
        }
    }
    syncPath(to);
}

// The machine's directory exists with other things in it but without a hive:
// drive C's missing parts move in, then the hive, which completes the
// machine. False when another program put its hive there first.
bool placeInto(const fs::path& aside, const fs::path& dir) {
    moveMissing(aside / "drive_c", dir / "drive_c");
    if (::link((aside / "registry.db").c_str(), (dir / "registry.db").c_str()) != 0) {
        if (errno == EEXIST) return false;
        systemFailure(errno, "cannot move the new registry to " + dir.string());
    }
    syncPath(dir);
    return true;
}

}  // namespace

void setProbe(std::function<void(std::string_view step)> p) {
    probe() = std::move(p);
}

Outcome ensureFrom(const fs::path& data) {
    Outcome out;
    const fs::path dir = directory();
    try {
        // A lost race ends with the other program's machine in place; a
        // directory changing under us more often than this is not a race.
        for (int attempt = 0; attempt < 3; ++attempt) {
            std::error_code ec;
            // What killed builders left beside the machine goes at any start.
            removeAbandoned(dir.parent_path());
            if (fs::exists(fs::symlink_status(hivePath(), ec))) return out;
            fs::create_directories(dir.parent_path());
            fs::file_status st = fs::symlink_status(dir, ec);
            bool whole = !fs::exists(st) || (fs::is_directory(st) && fs::is_empty(dir));
            if (!whole && !fs::is_directory(dir)) throw std::runtime_error("it is not a directory");
            if (!whole) removeAbandoned(dir);
            Aside aside(whole ? dir.parent_path() : dir);
            step("aside");
            build(aside.path(), data);
            step("ready");
            if (whole ? placeWhole(aside.path(), dir) : placeInto(aside.path(), dir)) {
                out.created = true;
                step("placed");
                return out;
            }
        }
        throw std::runtime_error("it keeps changing while the machine is being made");
    } catch (const std::exception& e) {
        out.error = "Cannot make the machine in " + dir.string() + ": " + e.what();
    }
    return out;
}

}  // namespace seeding

Outcome ensure() {
    return seeding::ensureFrom(dataDirectory());
}

}  // namespace machine
