#include "graphics/iconload.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageReader>
#include <algorithm>
#include <cstdlib>
#include <tuple>

namespace iconload {
namespace {

constexpr std::uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

bool isPng(iconreader::Bytes b) {
    return b.size() >= 8 && std::equal(b.begin(), b.begin() + 8, kPngSignature);
}

std::uint32_t bigEndian32(iconreader::Bytes b, std::size_t at) {
    return (static_cast<std::uint32_t>(b[at]) << 24) |
           (static_cast<std::uint32_t>(b[at + 1]) << 16) |
           (static_cast<std::uint32_t>(b[at + 2]) << 8) | b[at + 3];
}

// The size a PNG stream declares in its first chunk, IHDR; nullopt when that
// chunk is missing or the size is outside what icons hold.
std::optional<dib::Info> probePng(iconreader::Bytes b) {
    if (!isPng(b) || b.size() < 24) return std::nullopt;
    if (!std::equal(b.begin() + 12, b.begin() + 16, "IHDR")) return std::nullopt;
    const std::uint32_t w = bigEndian32(b, 16);
    const std::uint32_t h = bigEndian32(b, 20);
    if (w < 1 || h < 1 || w > dib::kMaxSide || h > dib::kMaxSide) return std::nullopt;
    return dib::Info{static_cast<int>(w), static_cast<int>(h), 32};
}

std::optional<dib::Info> probe(iconreader::Bytes b) {
    return isPng(b) ? probePng(b) : dib::probe(b);
}

std::optional<dib::IconBitmap> decodePng(iconreader::Bytes b) {
    // Checking the declared size first keeps a small stream from making the
    // decoder allocate a huge image.
    auto info = probePng(b);
    if (!info) return std::nullopt;
    // Read by Qt's own PNG reader alone: left to find a reader, Qt would
    // first load every image format plugin to ask each whether it reads PNG.
    QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(b.data()),
                                               static_cast<qsizetype>(b.size()));
    QBuffer device(&bytes);
    if (!device.open(QIODevice::ReadOnly)) return std::nullopt;
    QImageReader reader(&device, "png");
    reader.setAutoDetectImageFormat(false);
    const QImage image = reader.read();
    if (image.isNull()) return std::nullopt;
    if (image.width() != info->width || image.height() != info->height) return std::nullopt;
    return dib::IconBitmap{image.convertToFormat(QImage::Format_ARGB32_Premultiplied), {}};
}

}  // namespace

std::optional<dib::IconBitmap> decodeImage(iconreader::Bytes bytes) {
    if (bytes.size() > static_cast<std::size_t>(INT32_MAX)) return std::nullopt;
    return isPng(bytes) ? decodePng(bytes) : dib::decode(bytes);
}

Loaded load(iconreader::Bytes file, std::uint32_t index) {
    iconreader::Lookup found = iconreader::find(file, index);
    if (found.status != iconreader::Status::Found) return {found.status, {}};

    // Candidates in order of preference: the standard size itself; then the
    // nearest size, a larger image before a smaller one (scaling down loses
    // less); then the most colours; then the group's own order.
    using Key = std::tuple<bool, int, bool, int, std::size_t>;
    std::vector<std::pair<Key, std::size_t>> order;
    for (std::size_t i = 0; i < found.images.size(); ++i) {
        auto info = probe(found.images[i].bytes);
        if (!info) continue;
        const bool exact = info->width == kIconSize && info->height == kIconSize;
        const int distance = std::abs(info->width - kIconSize) + std::abs(info->height - kIconSize);
        const bool smaller = info->width < kIconSize || info->height < kIconSize;
        order.push_back({Key{!exact, distance, smaller, -info->bitCount, i}, i});
    }
    std::sort(order.begin(), order.end());

    for (const auto& candidate : order) {
        auto image = decodeImage(found.images[candidate.second].bytes);
        if (!image) continue;
        dib::IconBitmap& icon = *image;
        if (icon.color.size() != QSize(kIconSize, kIconSize)) {
            icon.color = icon.color.scaled(kIconSize, kIconSize, Qt::IgnoreAspectRatio,
                                           Qt::SmoothTransformation);
            if (!icon.invert.isNull())
                icon.invert = icon.invert.scaled(kIconSize, kIconSize, Qt::IgnoreAspectRatio,
                                                 Qt::FastTransformation);
        }
        return {iconreader::Status::Found, std::move(icon)};
    }
    return {iconreader::Status::NoIcon, {}};
}

}  // namespace iconload
