#include "graphics/dib.h"

#include <array>
#include <cstdlib>

#include "graphics/littleendian.h"

namespace dib {
namespace {

using Bytes = std::span<const std::uint8_t>;

constexpr std::uint32_t kBiRgb = 0;
constexpr std::uint32_t kMinHeader = 40;   // BITMAPINFOHEADER
constexpr std::uint32_t kMaxHeader = 124;  // BITMAPV5HEADER

using littleendian::u16;
using littleendian::u32;

std::int32_t i32(Bytes b, std::size_t at) {
    return static_cast<std::int32_t>(u32(b, at));
}

struct Layout {
    Info info;
    std::size_t paletteAt = 0;
    std::size_t paletteEntries = 0;  // usable entries, at most 2^bitCount
    std::size_t bitsAt = 0;
    std::size_t stride = 0;
    std::size_t maskAt = 0;
    std::size_t maskStride = 0;
    bool maskPresent = false;
};

// Rows are padded to whole 32-bit words.
std::size_t rowBytes(int width, int bitCount) {
    return (static_cast<std::size_t>(width) * static_cast<std::size_t>(bitCount) + 31) / 32 * 4;
}

std::optional<Layout> layout(Bytes b) {
    if (b.size() < kMinHeader) return std::nullopt;
    const std::uint32_t headerSize = u32(b, 0);
    if (headerSize < kMinHeader || headerSize > kMaxHeader || headerSize > b.size())
        return std::nullopt;
    const std::int32_t width = i32(b, 4);
    const std::int32_t doubled = i32(b, 8);
    const int bitCount = u16(b, 14);
    const std::uint32_t compression = u32(b, 16);
    const std::uint32_t colorsUsed = u32(b, 32);

    // Icon bitmaps are bottom-up; the header's height covers image and mask.
    if (width < 1 || width > kMaxSide || doubled < 2 || doubled > 2 * kMaxSide) return std::nullopt;
    if (compression != kBiRgb) return std::nullopt;
    if (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 24 && bitCount != 32)
        return std::nullopt;
    if (colorsUsed > 256) return std::nullopt;

    Layout l;
    l.info = {width, doubled / 2, bitCount};
    std::size_t tableEntries = colorsUsed;
    if (bitCount <= 8) {
        const std::size_t full = std::size_t{1} << bitCount;
        if (tableEntries == 0) tableEntries = full;
        l.paletteEntries = std::min(tableEntries, full);
    }
    l.paletteAt = headerSize;
    l.bitsAt = l.paletteAt + tableEntries * 4;
    l.stride = rowBytes(width, bitCount);
    l.maskAt = l.bitsAt + l.stride * static_cast<std::size_t>(l.info.height);
    l.maskStride = rowBytes(width, 1);
    // Every quantity above is bounded (header <= 124, table <= 1 KiB, rows
    // <= 1 KiB, 256 rows), so none of the sums can wrap.
    if (l.maskAt > b.size()) return std::nullopt;
    l.maskPresent = l.maskStride * static_cast<std::size_t>(l.info.height) <= b.size() - l.maskAt;
    return l;
}

QRgb paletteColor(Bytes b, const Layout& l, std::size_t index) {
    if (index >= l.paletteEntries) return qRgb(0, 0, 0);
    std::size_t at = l.paletteAt + index * 4;
    return qRgb(b[at + 2], b[at + 1], b[at]);
}

// The XOR colour of pixel (x, row) of the stored rows, with the alpha the
// bits carry (only 32-bit images carry any).
QRgb storedPixel(Bytes b, const Layout& l, int x, std::size_t rowAt) {
    const std::size_t ux = static_cast<std::size_t>(x);
    switch (l.info.bitCount) {
        case 1:
            return paletteColor(b, l, (b[rowAt + ux / 8] >> (7 - ux % 8)) & 1);
        case 4:
            return paletteColor(b, l, (b[rowAt + ux / 2] >> (ux % 2 ? 0 : 4)) & 0x0F);
        case 8:
            return paletteColor(b, l, b[rowAt + ux]);
        case 24: {
            std::size_t at = rowAt + ux * 3;
            return qRgb(b[at + 2], b[at + 1], b[at]);
        }
        default: {
            std::size_t at = rowAt + ux * 4;
            return qRgba(b[at + 2], b[at + 1], b[at], b[at + 3]);
        }
    }
}

}  // namespace

std::optional<Info> probe(std::span<const std::uint8_t> bytes) {
    auto l = layout(bytes);
    if (!l) return std::nullopt;
    return l->info;
}

std::optional<IconBitmap> decode(std::span<const std::uint8_t> bytes) {
    auto found = layout(bytes);
    if (!found) return std::nullopt;
    const Layout& l = *found;
    const int w = l.info.width;
    const int h = l.info.height;

    bool useAlpha = false;
    if (l.info.bitCount == 32) {
        for (int row = 0; row < h && !useAlpha; ++row) {
            std::size_t at = l.bitsAt + static_cast<std::size_t>(row) * l.stride;
            for (int x = 0; x < w; ++x) {
                if (bytes[at + static_cast<std::size_t>(x) * 4 + 3] != 0) {
                    useAlpha = true;
                    break;
                }
            }
        }
    }
    if (!useAlpha && !l.maskPresent) return std::nullopt;

    IconBitmap out;
    out.color = QImage(w, h, QImage::Format_ARGB32_Premultiplied);
    if (out.color.isNull()) return std::nullopt;
    QImage invert(w, h, QImage::Format_RGB32);
    if (invert.isNull()) return std::nullopt;
    invert.fill(Qt::black);
    bool inverts = false;

    for (int y = 0; y < h; ++y) {
        // Stored rows run from the bottom of the picture to its top.
        const std::size_t stored = static_cast<std::size_t>(h - 1 - y);
        const std::size_t rowAt = l.bitsAt + stored * l.stride;
        const std::size_t maskRowAt = l.maskAt + stored * l.maskStride;
        auto* line = reinterpret_cast<QRgb*>(out.color.scanLine(y));
        for (int x = 0; x < w; ++x) {
            QRgb c = storedPixel(bytes, l, x, rowAt);
            if (useAlpha) {
                line[x] = qPremultiply(c);
                continue;
            }
            const std::size_t ux = static_cast<std::size_t>(x);
            const bool transparent = (bytes[maskRowAt + ux / 8] >> (7 - ux % 8)) & 1;
            if (!transparent) {
                line[x] = qRgb(qRed(c), qGreen(c), qBlue(c));
                continue;
            }
            line[x] = 0;
            if ((c & 0x00FFFFFF) != 0) {
                invert.setPixel(x, y, qRgb(qRed(c), qGreen(c), qBlue(c)));
                inverts = true;
            }
        }
    }
    if (inverts) out.invert = invert;
    return out;
}

}  // namespace dib
