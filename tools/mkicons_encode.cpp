#include "mkicons_encode.h"

#include "pewriter.h"

#include <QBuffer>
#include <QColor>
#include <cstring>
#include <stdexcept>

namespace mkicons {
namespace {

using Buffer = std::vector<std::uint8_t>;

// The sixteen colours of a classic 16-colour display, in their usual order.
const QList<QRgb> kSixteenColours = {
    qRgb(0, 0, 0),       qRgb(128, 0, 0),   qRgb(0, 128, 0),   qRgb(128, 128, 0),
    qRgb(0, 0, 128),     qRgb(128, 0, 128), qRgb(0, 128, 128), qRgb(192, 192, 192),
    qRgb(128, 128, 128), qRgb(255, 0, 0),   qRgb(0, 255, 0),   qRgb(255, 255, 0),
    qRgb(0, 0, 255),     qRgb(255, 0, 255), qRgb(0, 255, 255), qRgb(255, 255, 255),
};

using pewriter::put16;
using pewriter::put32;

std::size_t rowBytes(int width, int bits) {
    return (static_cast<std::size_t>(width) * static_cast<std::size_t>(bits) + 31) / 32 * 4;
}

bool opaque(const QImage& argb, int x, int y) {
    return qAlpha(argb.pixel(x, y)) >= 128;
}

Buffer dib(const QImage& argb, int bits) {
    const int w = argb.width();
    const int h = argb.height();
    QImage indexed;
    QList<QRgb> palette;
    if (bits == 4) {
        indexed = argb.convertToFormat(QImage::Format_Indexed8, kSixteenColours,
                                       Qt::ThresholdDither | Qt::AvoidDither);
        palette = kSixteenColours;
    } else if (bits == 8) {
        indexed =
            argb.convertToFormat(QImage::Format_Indexed8, Qt::ThresholdDither | Qt::AvoidDither);
        palette = indexed.colorTable();
        palette.resize(256, qRgb(0, 0, 0));
    }
    const std::size_t stride = rowBytes(w, bits);
    const std::size_t maskStride = rowBytes(w, 1);
    const std::size_t paletteBytes = static_cast<std::size_t>(palette.size()) * 4;
    const std::size_t bitsAt = 40 + paletteBytes;
    const std::size_t maskAt = bitsAt + stride * static_cast<std::size_t>(h);
    Buffer b(maskAt + maskStride * static_cast<std::size_t>(h), 0);

    put32(b, 0, 40);
    put32(b, 4, static_cast<std::uint32_t>(w));
    put32(b, 8, static_cast<std::uint32_t>(2 * h));
    put16(b, 12, 1);
    put16(b, 14, static_cast<std::uint32_t>(bits));
    put32(b, 20, static_cast<std::uint32_t>(b.size() - 40 - paletteBytes));
    for (qsizetype i = 0; i < palette.size(); ++i) {
        const std::size_t at = 40 + static_cast<std::size_t>(i) * 4;
        b[at] = static_cast<std::uint8_t>(qBlue(palette[i]));
        b[at + 1] = static_cast<std::uint8_t>(qGreen(palette[i]));
        b[at + 2] = static_cast<std::uint8_t>(qRed(palette[i]));
    }

    for (int y = 0; y < h; ++y) {
        const std::size_t stored = static_cast<std::size_t>(h - 1 - y);
        const std::size_t rowAt = bitsAt + stored * stride;
        const std::size_t maskRowAt = maskAt + stored * maskStride;
        for (int x = 0; x < w; ++x) {
            const auto ux = static_cast<std::size_t>(x);
            const bool shown = opaque(argb, x, y);
            if (!shown) b[maskRowAt + ux / 8] |= static_cast<std::uint8_t>(0x80 >> (ux % 8));
            const QRgb c = argb.pixel(x, y);
            switch (bits) {
                case 4:
                    if (shown)
                        b[rowAt + ux / 2] |=
                            static_cast<std::uint8_t>(indexed.pixelIndex(x, y) << (ux % 2 ? 0 : 4));
                    break;
                case 8:
                    if (shown) b[rowAt + ux] = static_cast<std::uint8_t>(indexed.pixelIndex(x, y));
                    break;
                case 24:
                    if (shown) {
                        b[rowAt + ux * 3] = static_cast<std::uint8_t>(qBlue(c));
                        b[rowAt + ux * 3 + 1] = static_cast<std::uint8_t>(qGreen(c));
                        b[rowAt + ux * 3 + 2] = static_cast<std::uint8_t>(qRed(c));
                    }
                    break;
                default:
                    b[rowAt + ux * 4] = static_cast<std::uint8_t>(qBlue(c));
                    b[rowAt + ux * 4 + 1] = static_cast<std::uint8_t>(qGreen(c));
                    b[rowAt + ux * 4 + 2] = static_cast<std::uint8_t>(qRed(c));
                    b[rowAt + ux * 4 + 3] = static_cast<std::uint8_t>(qAlpha(c));
                    break;
            }
        }
    }
    return b;
}

Buffer png(const QImage& argb) {
    QByteArray data;
    QBuffer out(&data);
    out.open(QIODevice::WriteOnly);
    if (!argb.save(&out, "PNG")) throw std::runtime_error("cannot store an image as PNG");
    return Buffer(data.begin(), data.end());
}

}  // namespace

pewriter::Image encode(const QImage& picture, Storage storage) {
    const QImage argb = picture.convertToFormat(QImage::Format_ARGB32);
    pewriter::Image image;
    image.width = argb.width();
    image.height = argb.height();
    switch (storage) {
        case Storage::Dib4:
            image.bitCount = 4;
            image.colorCount = 16;
            image.bytes = dib(argb, 4);
            break;
        case Storage::Dib8:
            image.bitCount = 8;
            image.bytes = dib(argb, 8);
            break;
        case Storage::Dib24:
            image.bitCount = 24;
            image.bytes = dib(argb, 24);
            break;
        case Storage::Dib32:
            image.bitCount = 32;
            image.bytes = dib(argb, 32);
            break;
        case Storage::Png:
            image.bitCount = 32;
            image.bytes = png(argb);
            break;
    }
    return image;
}

}  // namespace mkicons
