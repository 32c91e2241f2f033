// Fuzzes the decoding of single icon images: DIBs with their masks, and PNG
// streams.
#include <cstddef>
#include <cstdint>

#include "graphics/dib.h"
#include "graphics/iconload.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    auto info = dib::probe(bytes);
    auto image = iconload::decodeImage(bytes);
    if (image) {
        if (image->color.width() > dib::kMaxSide || image->color.height() > dib::kMaxSide)
            __builtin_trap();
        if (info && image->color.size() != QSize(info->width, info->height)) __builtin_trap();
        if (!image->invert.isNull() && image->invert.size() != image->color.size())
            __builtin_trap();
    }
    return 0;
}
