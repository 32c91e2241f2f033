#include "picture.h"

#include <QFile>
#include <QImageReader>
#include <QPainter>
#include <QSvgRenderer>
#include <filesystem>
#include <string>

#include "drives.h"

namespace picture {

bool fitsLimits(QSize size) {
    if (size.width() <= 0 || size.height() <= 0) return true;  // nothing to decode
    if (size.width() > kMaxSide || size.height() > kMaxSide) return false;
    return static_cast<long long>(size.width()) * size.height() <= kMaxPixels;
}

}  // namespace picture

QImage LoadPicture(const QString& windowsPath) {
    if (windowsPath.isEmpty()) return QImage();
    const std::string quoted = "\"" + windowsPath.toStdString() + "\"";
    std::optional<std::filesystem::path> host = drives::toHost(windowsPath.toStdString());
    std::error_code ec;
    if (!host || !std::filesystem::is_regular_file(*host, ec)) {
        throw PictureError("File not found: " + quoted);
    }
    QFile file(QString::fromStdString(host->string()));
    if (!file.open(QIODevice::ReadOnly)) {
        throw PictureError("Cannot read " + quoted + " (" + file.errorString().toStdString() + ")");
    }
    QImageReader reader(&file);
    reader.setDecideFormatFromContent(true);
    // The size the header claims, refused before anything is decoded, so that
    // a small file cannot make the program allocate gigabytes.
    const QSize claimed = reader.size();
    if (claimed.isValid() && !picture::fitsLimits(claimed)) {
        throw PictureError("Picture too large: " + quoted + " (" + std::to_string(claimed.width()) +
                           " x " + std::to_string(claimed.height()) + " pixels)");
    }
    reader.setAllocationLimit(picture::kMaxMegabytes);
    QImage picture = reader.read();
    if (picture.isNull()) {
        throw PictureError("Invalid picture: " + quoted + " (" +
                           reader.errorString().toStdString() + ")");
    }
    return picture;
}

QImage ResourcePicture(const QString& resource, QSize size) {
    if (!QFile::exists(resource)) throw PictureError("No picture " + resource.toStdString());
    if (resource.endsWith(QLatin1String(".svg"), Qt::CaseInsensitive)) {
        QSvgRenderer renderer(resource);
        if (!renderer.isValid()) throw PictureError("Invalid picture " + resource.toStdString());
        QImage image(size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        renderer.render(&painter);
        return image;
    }
    QImage image(resource);
    if (image.isNull()) throw PictureError("Invalid picture " + resource.toStdString());
    return image;
}
