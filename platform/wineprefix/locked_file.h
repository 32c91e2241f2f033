// One registry file of a Wine prefix on disk: read whole, locked against the
// prefix's other writers, known to have been changed by one of them, and
// replaced atomically and durably (see atomic_file.h). What the text means
// is not known here.
//
// Writers take turns on an advisory lock (flock) on the file itself. A
// writer replaces the file rather than writing into it, so a lock taken on
// a file that has been replaced meanwhile is let go and taken on the new
// one. The file a path names is found anew each time: a path that is a
// symbolic link is read, locked and replaced at its target.
#pragma once

#include <sys/stat.h>

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "files/atomic_file.h"
#include "winreg/store.h"

namespace regstore {

class LockedFile {
  public:
    explicit LockedFile(std::filesystem::path path) : path_(std::move(path)) {}
    ~LockedFile() { unlock(); }
    LockedFile(const LockedFile&) = delete;
    LockedFile& operator=(const LockedFile&) = delete;

    // As the prefix names it; may be a link.
    const std::filesystem::path& path() const { return path_; }
    // The file the path names, links followed; the path itself when it
    // cannot be resolved.
    std::filesystem::path target() const;
    // Why the user may not replace the file (it or its folder not writable),
    // as a sentence naming it; empty when they may.
    std::string writeProblem() const;

    // The bytes of the file the path names now, and its status in `status`.
    // Throws std::system_error; a file larger than any registry file has
    // reason to be is refused before it is read.
    std::string read(struct stat* status) const;
    // The same through the lock (held): the very file that is locked.
    std::string readLocked(struct stat* status) const;
    // Notes `status`, from read(), as the file as last read: its text has
    // been taken. A file read but not taken is read again at the next lock.
    void setKnown(const struct stat& status) { known_ = status; }

    // Takes the lock, waiting while another writer holds it (ten seconds at
    // most); nothing when it is already held. True when the file locked is
    // not the one last read or written (another writer has replaced it):
    // the caller then reads it again through the lock. Throws Error.
    bool lock();
    void unlock();

    // Replaces the file with `bytes`, which become the file as last written.
    // Throws Error naming the file, which is then as it was.
    void replace(std::string_view bytes);
    // The same in steps (see atomic_file::Replacement): the new bytes
    // written and synced beside the file, then put in its place, then its
    // folder synced (once for files that share it).
    std::unique_ptr<atomic_file::Replacement> prepare(std::string_view bytes) const;
    void put(atomic_file::Replacement& replacement);
    void syncFolder() const;

  private:
    [[noreturn]] void writeFailed(const std::system_error& e) const;

    std::filesystem::path path_;
    struct stat known_ {};  // the file as last read or written
    int lockFd_ = -1;
};

}  // namespace regstore
