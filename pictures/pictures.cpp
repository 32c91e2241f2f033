#include "pictures/pictures.h"

#include <QGuiApplication>
#include <QPixmap>
#include <cstring>
#include <stdexcept>
#include <string>

#include "pictures/pictures_raster.h"

namespace {

// The picture `name` as rasterised at `side` pixels, sharing the program's
// own copy of its pixels (which nothing writes: a change would copy them).
QImage rasterised(const char* name, int side) {
    for (std::size_t i = 0; i < pictures::raster::kCount; ++i) {
        const pictures::raster::Raster& r = pictures::raster::kAll[i];
        if (r.side == side && std::strcmp(r.name, name) == 0) {
            return QImage(reinterpret_cast<const uchar*>(r.pixels), side, side, side * 4,
                          QImage::Format_ARGB32_Premultiplied);
        }
    }
    // The build rasterises every picture named here at every side asked for.
    throw std::logic_error(std::string("no picture ") + name + " at " + std::to_string(side));
}

}  // namespace

namespace pictures {

QIcon windowIcon() {
    QIcon icon;
    for (int size : {16, 32, 64}) icon.addPixmap(QPixmap::fromImage(rasterised("knobwise", size)));
    return icon;
}

QCursor handCursor() {
    // Made once: both link labels use it. Kept for the whole run (a pixmap
    // must not outlive the application object).
    static const QCursor* hand = new QCursor(QPixmap::fromImage(rasterised("hand", 32)), 5, 0);
    return *hand;
}

QImage icon(const QString& name) {
    // Drawn twice as large, and as dense, on a screen with a higher scale
    // factor; at a scale factor of 1 the pictures are the 32-pixel ones.
    const QByteArray key = name.toLatin1();
    if (qApp && qApp->devicePixelRatio() > 1.0) {
        QImage image = rasterised(key.constData(), 64);
        image.setDevicePixelRatio(2.0);
        return image;
    }
    return rasterised(key.constData(), 32);
}

}  // namespace pictures
