// Replacing a file's content atomically and durably: the new bytes are
// written to a file beside it, synced, renamed over it, and the folder is
// synced. A crash or a full disk at any step leaves the old file or the new
// one, never a mix.
#pragma once

#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

namespace atomic_file {

// Replaces the file at `target` (a regular file, links already resolved)
// with `bytes`, keeping its mode and, where permitted, its owner. Throws
// std::system_error with the failing call's errno; the old file is then
// untouched and no temporary file is left. `after` receives the new file's
// status.
void replace(const std::filesystem::path& target, std::string_view bytes, struct stat* after);

// The same in two steps, so that several files can be written and synced
// before any of them takes its place: a Replacement writes and syncs the new
// bytes beside `target` (throwing as replace() does, and removing what it
// made); commit() renames them over it and syncs the folder. One never
// committed is removed.
class Replacement {
  public:
    Replacement(const std::filesystem::path& target, std::string_view bytes);
    ~Replacement();
    Replacement(const Replacement&) = delete;
    Replacement& operator=(const Replacement&) = delete;
    void commit(struct stat* after);
    // commit() in halves, for files that share a folder: each renamed into
    // place, then the folder synced once (syncFolder()).
    void rename(struct stat* after);
    const std::filesystem::path& target() const { return target_; }

  private:
    std::filesystem::path target_;
    std::string temp_;  // the new file, until it is in place
    struct stat written_ {};
};

// The folder a file is in ("." for a bare name).
std::filesystem::path folderOf(const std::filesystem::path& file);
// Syncs a folder, so that the renames in it last. Throws std::system_error.
void syncFolder(const std::filesystem::path& folder);

// Test seam: called before each step ("create", "write", "sync", "rename",
// "syncdir"); a non-zero errno it returns makes that step fail with it.
void setProbe(std::function<int(std::string_view step)> probe);

}  // namespace atomic_file
