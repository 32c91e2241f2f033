#include "files/untrusted_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

namespace untrusted_file {
namespace {

namespace fs = std::filesystem;

// What a file that is not a regular file is, for the sentence.
std::string notRegular(mode_t mode) {
    if (S_ISDIR(mode)) return "is a folder, not a file";
    if (S_ISFIFO(mode)) return "is a FIFO (a named pipe), not a file";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "is a device, not a file";
    if (S_ISSOCK(mode)) return "is a socket, not a file";
    return "is not a regular file";
}

std::string sizeText(std::uintmax_t bytes) {
    if (bytes >= (1u << 20) && bytes % (1u << 20) == 0) return std::to_string(bytes >> 20) + " MiB";
    if (bytes >= (1u << 10) && bytes % (1u << 10) == 0) return std::to_string(bytes >> 10) + " KiB";
    return std::to_string(bytes) + " bytes";
}

[[noreturn]] void refuse(int error, const fs::path& file, const std::string& why) {
    throw Refused(error, file.string() + " " + why);
}

[[noreturn]] void cannotRead(int error, const fs::path& file) {
    refuse(error, file, std::string("cannot be read: ") + std::strerror(error));
}

// Refuses what is not a regular file within the cap.
void check(const struct stat& st, const fs::path& file, std::uintmax_t cap) {
    if (!S_ISREG(st.st_mode))
        refuse(S_ISDIR(st.st_mode) ? EISDIR : EINVAL, file, notRegular(st.st_mode));
    if (static_cast<std::uintmax_t>(st.st_size) > cap)
        refuse(EFBIG, file,
               "is too large to be read: " + sizeText(static_cast<std::uintmax_t>(st.st_size)) +
                   ", more than the " + sizeText(cap) + " such a file has reason to hold");
}

}  // namespace

File::File(File&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)),
      status_(other.status_),
      path_(std::move(other.path_)),
      cap_(other.cap_) {}

File::~File() {
    if (fd_ >= 0) ::close(fd_);
}

std::string File::read() const {
    std::string bytes;
    bytes.reserve(static_cast<std::size_t>(status_.st_size));
    char buffer[65536];
    for (off_t at = 0;;) {
        const ssize_t n = ::pread(fd_, buffer, sizeof buffer, at);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) cannotRead(errno, path_);
        if (n == 0) return bytes;
        if (bytes.size() + static_cast<std::size_t>(n) > cap_)
            refuse(EFBIG, path_, "grew past " + sizeText(cap_) + " while it was read");
        bytes.append(buffer, static_cast<std::size_t>(n));
        at += n;
    }
}

File open(const fs::path& file, std::uintmax_t cap) {
    // Its kind first, so that a device is not even opened (opening some
    // has effects of their own, such as rewinding a tape).
    struct stat st {};
    if (::stat(file.c_str(), &st) != 0) cannotRead(errno, file);
    check(st, file, cap);
    // Checked again once open: it may have been replaced in between.
    const int fd = ::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) cannotRead(errno, file);
    File opened(fd, st, file, cap);
    if (::fstat(fd, &opened.status_) != 0) cannotRead(errno, file);
    check(opened.status_, file, cap);
    return opened;
}

std::string read(const fs::path& file, std::uintmax_t cap) {
    return open(file, cap).read();
}

}  // namespace untrusted_file
