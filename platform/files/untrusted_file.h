// Reading files that Knobwise did not write: other programs' configuration,
// a prefix's files, the Wine server's lock, .reg and icon files from
// anywhere. Such a file may be a FIFO that no one writes, a link to
// /dev/zero, a device, or gigabytes long. So its kind is checked before it
// is opened; it is opened so that opening cannot block (O_NONBLOCK) nor
// make it our terminal (O_NOCTTY); and once open it must be a regular file
// no larger than the cap given for its kind before a byte is read. Anything
// else is refused with a sentence that names the file.
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>

namespace untrusted_file {

// Why a file was not read: a sentence naming it, and the errno that says
// so best (ENOENT for a missing file, EFBIG for one over its cap, EINVAL
// for one that is not a regular file, EISDIR for a folder).
class Refused : public std::runtime_error {
  public:
    Refused(int error, const std::string& what) : std::runtime_error(what), error_(error) {}
    int error() const { return error_; }

  private:
    int error_;
};

// An open regular file, closed when it goes.
class File {
  public:
    File(File&& other) noexcept;
    File& operator=(File&&) = delete;
    ~File();
    int fd() const { return fd_; }
    // As it was when opened.
    const struct stat& status() const { return status_; }
    // Its bytes from the start, up to its cap; Refused when it has grown
    // past it or cannot be read.
    std::string read() const;

  private:
    friend File open(const std::filesystem::path& file, std::uintmax_t cap);
    File(int fd, const struct stat& status, std::filesystem::path path, std::uintmax_t cap)
        : fd_(fd), status_(status), path_(std::move(path)), cap_(cap) {}
    int fd_ = -1;
    struct stat status_ {};
    std::filesystem::path path_;
    std::uintmax_t cap_ = 0;
};

// Opens `file` (links followed) for reading; throws Refused.
File open(const std::filesystem::path& file, std::uintmax_t cap);
// The whole of `file`; throws Refused.
std::string read(const std::filesystem::path& file, std::uintmax_t cap);

}  // namespace untrusted_file
