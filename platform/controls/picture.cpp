#include "picture.h"

#include <QFile>
#include <QImageReader>
#include <QPainter>
#include <QSvgRenderer>
#include <filesystem>

#include "drives.h"

QImage LoadPicture(const QString& windowsPath) {
    if (windowsPath.isEmpty()) return QImage();
    const std::string quoted = "\"" + windowsPath.toStdString() + "\"";
    std::optional<std::filesystem::path> host = drives::toHost(windowsPath.toStdString());
    std::error_code ec;
    if (!host || !std::filesystem::is_regular_file(*host, ec)) {
        throw PictureError("File not found: " + quoted);
    }
    QImageReader reader(QString::fromStdString(host->string()));
    reader.setDecideFormatFromContent(true);
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
