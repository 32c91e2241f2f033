#include "files/atomic_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <system_error>

namespace atomic_file {
namespace {

std::function<int(std::string_view)>& probe() {
    static std::function<int(std::string_view)> p;
    return p;
}

// Runs one step unless the probe fails it; returns the errno, 0 on success.
template <typename F>
int stepped(std::string_view name, F&& f) {
    if (probe()) {
        if (int injected = probe()(name)) return injected;
    }
    return f() ? 0 : errno;
}

[[noreturn]] void throwSystemError(int error, const std::string& what) {
    throw std::system_error(error, std::generic_category(), what);
}

bool writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = EIO;
            return false;
        }
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

}  // namespace

void setProbe(std::function<int(std::string_view)> p) {
    probe() = std::move(p);
}

Replacement::Replacement(const std::filesystem::path& target, std::string_view bytes)
    : target_(target) {
    struct stat old {};
    if (::stat(target.c_str(), &old) != 0)
        throwSystemError(errno, "cannot read " + target.string());
    const std::filesystem::path folder = folderOf(target);
    std::string temp = (folder / ("." + target.filename().string() + ".knobwise-XXXXXX")).string();
    int fd = -1;
    if (int e = stepped("create", [&] { return (fd = ::mkostemp(temp.data(), O_CLOEXEC)) >= 0; }))
        throwSystemError(e, "cannot create a file in " + folder.string());
    auto discard = [&](int error, const std::string& what) {
        if (fd >= 0) ::close(fd);
        ::unlink(temp.c_str());
        throwSystemError(error, what);
    };
    // The new file takes the old one's place: its mode, and its owner when
    // we may give it (as root, writing another user's prefix).
    ::fchmod(fd, old.st_mode & 07777);
    if (old.st_uid != ::geteuid() || old.st_gid != ::getegid()) {
        if (::fchown(fd, old.st_uid, old.st_gid) != 0) {
            // Not permitted: the file stays ours, with the old mode.
        }
    }
    if (int e = stepped("write", [&] { return writeAll(fd, bytes); }))
        discard(e, "cannot write " + temp);
    // The data and what is needed to read it back; the name is made durable
    // by the folder's sync after the rename.
    if (int e = stepped("sync", [&] { return ::fdatasync(fd) == 0; }))
        discard(e, "cannot write " + temp + " to disk");
    if (::fstat(fd, &written_) != 0) discard(errno, "cannot read " + temp);
    int closed = ::close(fd);
    fd = -1;
    if (closed != 0) discard(errno, "cannot write " + temp);
    temp_ = temp;
}

Replacement::~Replacement() {
    if (!temp_.empty()) ::unlink(temp_.c_str());
}

void Replacement::rename(struct stat* after) {
    if (int e = stepped("rename", [&] { return ::rename(temp_.c_str(), target_.c_str()) == 0; }))
        throwSystemError(e, "cannot replace " + target_.string());
    temp_.clear();
    *after = written_;
}

void Replacement::commit(struct stat* after) {
    rename(after);
    // The rename is durable once the folder is: until then a crash may
    // bring back the old file, never a mix.
    syncFolder(folderOf(target_));
}

std::filesystem::path folderOf(const std::filesystem::path& file) {
    return file.parent_path().empty() ? "." : file.parent_path();
}

void syncFolder(const std::filesystem::path& folder) {
    int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    int e = stepped("syncdir", [&] { return dir >= 0 && ::fsync(dir) == 0; });
    if (dir >= 0) ::close(dir);
    if (e) throwSystemError(e, "cannot write the folder " + folder.string() + " to disk");
}

void replace(const std::filesystem::path& target, std::string_view bytes, struct stat* after) {
    Replacement(target, bytes).commit(after);
}

}  // namespace atomic_file
