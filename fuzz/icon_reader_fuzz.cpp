// Fuzzes the reading of whole icon files: finding a group in a PE image or
// an .ico file, choosing and decoding its image, scaling it to 32 x 32.
#include <cstddef>
#include <cstdint>

#include "graphics/iconload.h"
#include "graphics/iconreader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const iconreader::Bytes file(data, size);
    const int groups = iconreader::count(file);
    for (std::uint32_t index : {0u, 1u, 17u}) {
        iconload::Loaded loaded = iconload::load(file, index);
        if (loaded.status == iconreader::Status::Found &&
            loaded.icon.color.size() != QSize(iconload::kIconSize, iconload::kIconSize))
            __builtin_trap();
        if (groups >= 0 && index >= static_cast<std::uint32_t>(groups) &&
            loaded.status == iconreader::Status::Found)
            __builtin_trap();
    }
    // Every image of the first group, not only the one drawing would choose.
    for (const iconreader::Image& image : iconreader::find(file, 0).images)
        (void)iconload::decodeImage(image.bytes);
    return 0;
}
