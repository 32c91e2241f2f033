#include "controls/picture.h"

#include <QFile>
#include <QImageReader>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <limits>
#include <optional>
#include <string>

#include "files/untrusted_file.h"
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
    if (!host) throw PictureError("File not found: " + quoted);
    // Opened as any file Knobwise did not write: a device or a pipe, which
    // can block or have effects of its own and holds no picture, is refused
    // before it is opened. Its size is not capped here: the decoder reads no
    // more than a picture within the limits needs.
    std::optional<untrusted_file::File> opened;
    try {
        opened.emplace(untrusted_file::open(*host, std::numeric_limits<std::uintmax_t>::max()));
    } catch (const untrusted_file::Refused& e) {
        switch (e.error()) {
            case ENOENT:
            case ENOTDIR:
                throw PictureError("File not found: " + quoted);
            case EISDIR:
                throw PictureError("Not a picture file: " + quoted + " is a folder");
            case EINVAL:
                throw PictureError("Not a picture file: " + quoted + " is not a file");
            default:
                throw PictureError("Cannot read " + quoted + " (" + std::strerror(e.error()) + ")");
        }
    }
    QFile file;
    if (!file.open(opened->fd(), QIODevice::ReadOnly, QFileDevice::DontCloseHandle))
        throw PictureError("Cannot read " + quoted + " (" + file.errorString().toStdString() + ")");
    return picture::decode(file, quoted);
}
