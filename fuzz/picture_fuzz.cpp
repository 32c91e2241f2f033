// Fuzzes the loading of pictures from their bytes, as LoadPicture does once
// it has opened a file: the format told from the content, the claimed size
// checked against the limits, then decoded by Qt's readers (bitmaps, icons,
// GIF, JPEG, PNG, SVG, ...). A picture either comes back within the limits
// or is refused with PictureError.
#include <QBuffer>
#include <QGuiApplication>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "controls/picture.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    // Some readers (SVG text) need the fonts of a running application.
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    new QGuiApplication(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    try {
        const QImage picture = picture::decode(buffer, "\"fuzz\"");
        if (picture.isNull() || !picture::fitsLimits(picture.size())) __builtin_trap();
    } catch (const PictureError&) {
    }
    return 0;
}
