#include "controls/filesystem.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>

#include "machine/drives.h"

namespace {

std::string reasonFor(int error) {
    switch (error) {
        case EEXIST:
            return "A file or folder of that name exists already.";
        case ENOENT:
            return "The folder it should be made in does not exist.";
        case ENOTDIR:
            return "A part of the path is a file, not a folder.";
        case EACCES:
        case EPERM:
            return "You have no permission to make a folder there.";
        case EROFS:
            return "The folder it should be made in is read-only.";
        case ENAMETOOLONG:
            return "The path is too long.";
        case ENOSPC:
        case EDQUOT:
            return "There is no space left on the disk.";
        default:
            return std::strerror(error) + std::string(".");
    }
}

}  // namespace

void MkDir(const QString& windowsPath) {
    const std::optional<std::filesystem::path> host = drives::toHost(windowsPath.toStdString());
    if (!host) throw DirectoryError("The path names no drive that exists.");
    // One call, so that a folder made in the meantime is reported as existing
    // rather than silently taken over.
    if (::mkdir(host->c_str(), 0777) != 0) throw DirectoryError(reasonFor(errno));
}
