#include "wineprefix/locked_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <system_error>
#include <thread>

namespace regstore {
namespace {

namespace fs = std::filesystem;

constexpr auto kBusyTimeout = std::chrono::seconds(10);
// A registry file may have been put in place by anyone who could write the
// prefix: a device is not even opened (opening some has effects), and
// opening must not wait (on a FIFO without a writer) nor make it our
// terminal; once open it is checked again before it is read (readAll).
int openRegular(const fs::path& file) {
    struct stat st {};
    if (::stat(file.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
        errno = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        return -1;
    }
    return ::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
}
// More than any registry file has reason to hold; refused before it is read.
constexpr off_t kLargestFile = off_t{512} * 1024 * 1024;

[[noreturn]] void throwSystemError(int error, const std::string& what) {
    throw std::system_error(error, std::generic_category(), what);
}

bool sameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

bool sameContent(const struct stat& a, const struct stat& b) {
    return sameFile(a, b) && a.st_size == b.st_size && a.st_mtim.tv_sec == b.st_mtim.tv_sec &&
           a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

std::string readAll(int fd, const fs::path& path, struct stat* st) {
    if (::fstat(fd, st) != 0) throwSystemError(errno, "cannot read " + path.string());
    if (!S_ISREG(st->st_mode)) throwSystemError(EINVAL, path.string() + " is not a file");
    if (st->st_size > kLargestFile) throwSystemError(EFBIG, "cannot read " + path.string());
    std::string bytes(static_cast<size_t>(st->st_size), '\0');
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::pread(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) throwSystemError(errno, "cannot read " + path.string());
        if (n == 0) break;
        done += static_cast<size_t>(n);
    }
    bytes.resize(done);
    return bytes;
}

}  // namespace

fs::path LockedFile::target() const {
    std::error_code ec;
    fs::path t = fs::canonical(path_, ec);
    return ec ? path_ : t;
}

std::string LockedFile::writeProblem() const {
    const fs::path file = target();
    const fs::path folder = file.parent_path().empty() ? "." : file.parent_path();
    if (::access(file.c_str(), W_OK) != 0 || ::access(folder.c_str(), W_OK) != 0)
        return fileMessage(path_, "cannot be written", std::strerror(errno));
    return {};
}

std::string LockedFile::read(struct stat* status) const {
    const fs::path file = target();
    const int fd = openRegular(file);
    if (fd < 0) throwSystemError(errno, "cannot read " + file.string());
    std::string text;
    try {
        text = readAll(fd, file, status);
    } catch (...) {
        ::close(fd);
        throw;
    }
    ::close(fd);
    return text;
}

std::string LockedFile::readLocked(struct stat* status) const {
    return readAll(lockFd_, target(), status);
}

bool LockedFile::lock() {
    if (lockFd_ >= 0) return false;
    const auto deadline = std::chrono::steady_clock::now() + kBusyTimeout;
    while (true) {
        const fs::path file = target();
        int fd = openRegular(file);
        if (fd < 0) {
            const int error = errno;
            throw Error(codeForErrno(error),
                        fileMessage(path_, "cannot be read", std::strerror(error)));
        }
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            struct stat held {
            }, now{};
            if (::fstat(fd, &held) == 0 && ::stat(file.c_str(), &now) == 0 && sameFile(held, now)) {
                lockFd_ = fd;
                break;
            }
            // Replaced while we waited: lock the new file instead.
        } else if (errno != EWOULDBLOCK && errno != EINTR) {
            int error = errno;
            ::close(fd);
            throw Error(codeForErrno(error),
                        fileMessage(path_, "cannot be locked", std::strerror(error)));
        }
        ::close(fd);
        if (std::chrono::steady_clock::now() > deadline)
            throw Error(ERROR_REGISTRY_IO_FAILED,
                        fileMessage(path_, "is kept busy by another program"));
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    struct stat st {};
    return ::fstat(lockFd_, &st) == 0 && !sameContent(st, known_);
}

void LockedFile::unlock() {
    if (lockFd_ >= 0) ::close(lockFd_);
    lockFd_ = -1;
}

void LockedFile::writeFailed(const std::system_error& e) const {
    throw Error(codeForErrno(e.code().value()),
                fileMessage(path_, "cannot be written", e.code().message()));
}

void LockedFile::replace(std::string_view bytes) {
    struct stat st {};
    try {
        atomic_file::replace(target(), bytes, &st);
    } catch (const std::system_error& e) {
        writeFailed(e);
    }
    known_ = st;
}

std::unique_ptr<atomic_file::Replacement> LockedFile::prepare(std::string_view bytes) const {
    try {
        return std::make_unique<atomic_file::Replacement>(target(), bytes);
    } catch (const std::system_error& e) {
        writeFailed(e);
    }
}

void LockedFile::put(atomic_file::Replacement& replacement) {
    struct stat st {};
    try {
        replacement.rename(&st);
    } catch (const std::system_error& e) {
        writeFailed(e);
    }
    known_ = st;
}

void LockedFile::syncFolder() const {
    try {
        atomic_file::syncFolder(atomic_file::folderOf(target()));
    } catch (const std::system_error& e) {
        writeFailed(e);
    }
}

}  // namespace regstore
