#include "controls/picture.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QImageReader>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>

#include "machine/drives.h"

namespace picture {

bool fitsLimits(QSize size) {
    if (size.width() <= 0 || size.height() <= 0) return true;  // nothing to decode
    if (size.width() > kMaxSide || size.height() > kMaxSide) return false;
    return static_cast<long long>(size.width()) * size.height() <= kMaxPixels;
}

}  // namespace picture

namespace picture {

QImage decode(QIODevice& device, const std::string& quoted) {
    QImageReader reader(&device);
    reader.setDecideFormatFromContent(true);
    // The size the header claims, refused before anything is decoded, so that
    // a small file cannot make the program allocate gigabytes.
    const QSize claimed = reader.size();
    if (claimed.isValid() && !fitsLimits(claimed)) {
        throw PictureError("Picture too large: " + quoted + " (" + std::to_string(claimed.width()) +
                           " x " + std::to_string(claimed.height()) + " pixels)");
    }
    reader.setAllocationLimit(kMaxMegabytes);
    QImage picture = reader.read();
    if (picture.isNull()) {
        throw PictureError("Invalid picture: " + quoted + " (" +
                           reader.errorString().toStdString() + ")");
    }
    // Some formats claim one size in the header and decode to another (a GIF
    // frame inside a larger screen).
    if (!fitsLimits(picture.size())) {
        throw PictureError("Picture too large: " + quoted + " (" + std::to_string(picture.width()) +
                           " x " + std::to_string(picture.height()) + " pixels)");
    }
    return picture;
}

}  // namespace picture

QImage LoadPicture(const QString& windowsPath) {
    if (windowsPath.isEmpty()) return QImage();
    const std::string quoted = "\"" + windowsPath.toStdString() + "\"";
    std::optional<std::filesystem::path> host = drives::toHost(windowsPath.toStdString());
    std::error_code ec;
    const std::filesystem::file_status status =
        host ? std::filesystem::status(*host, ec) : std::filesystem::file_status();
    if (!host || !std::filesystem::exists(status)) throw PictureError("File not found: " + quoted);
    // Only a regular file is opened: opening a device or a pipe can block or
    // have effects of its own, and neither holds a picture.
    if (!std::filesystem::is_regular_file(status)) {
        throw PictureError(
            "Not a picture file: " + quoted +
            (std::filesystem::is_directory(status) ? " is a folder" : " is not a file"));
    }
    // Opened by the host path's own bytes, and checked again once open, in
    // case the file was replaced in between.
    int fd = ::open(host->c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) throw PictureError("Cannot read " + quoted + " (" + std::strerror(errno) + ")");
    struct stat opened {};
    if (::fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode)) {
        ::close(fd);
        throw PictureError("Not a picture file: " + quoted + " is not a file");
    }
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        throw PictureError("Cannot read " + quoted + " (" + file.errorString().toStdString() + ")");
    }
    return picture::decode(file, quoted);
}
