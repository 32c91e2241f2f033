// Icon images stored as device-independent bitmaps: a BITMAPINFOHEADER whose
// height counts the XOR image and the AND mask together, the colour table,
// the XOR bits and the AND mask, rows bottom-up. Uncompressed images of 1, 4,
// 8, 24 and 32 bits per pixel are read; a 32-bit image with any alpha in it
// is drawn by its alpha, every other by its mask.
//
// The bytes are untrusted: sizes are limited to 256 x 256 pixels and every
// part is checked to lie inside the data before it is read.
#pragma once

#include <QImage>
#include <cstdint>
#include <optional>
#include <span>

namespace dib {

constexpr int kMaxSide = 256;

struct Info {
    int width = 0;
    int height = 0;  // of the image alone, half the header's
    int bitCount = 0;
};

// An icon image ready to draw. Where the mask is set and the XOR colour is not
// black, Windows inverts the screen by that colour instead of drawing: those
// pixels are transparent in `color` and carry the colour in `invert`.
struct IconBitmap {
    QImage color;   // Format_ARGB32_Premultiplied
    QImage invert;  // null, or Format_RGB32 of the same size; black: leave alone
};

// The size and depth an icon DIB declares; nullopt when the header is not one
// that decode() accepts.
std::optional<Info> probe(std::span<const std::uint8_t> bytes);

// The decoded image; nullopt when the header is not accepted or the bits it
// declares are not all present.
std::optional<IconBitmap> decode(std::span<const std::uint8_t> bytes);

}  // namespace dib
