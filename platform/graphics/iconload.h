// From the bytes of an icon file to the picture DrawIcon puts on the screen:
// the icon group is found (iconreader.h), its best image for the standard
// 32 x 32 size is chosen and decoded, and scaled when it has another size.
#pragma once

#include <cstdint>
#include <optional>

#include "graphics/dib.h"
#include "graphics/iconreader.h"

namespace iconload {

// The size of the system's standard icon.
constexpr int kIconSize = 32;

struct Loaded {
    iconreader::Status status = iconreader::Status::NotIconFile;
    dib::IconBitmap icon;  // kIconSize square when status is Found
};

// The index-th icon of a file's bytes. A group none of whose images can be
// decoded counts as no icon.
Loaded load(iconreader::Bytes file, std::uint32_t index);

// One image of an icon group, stored as a DIB or a PNG stream, at its own
// size; nullopt when it cannot be decoded or exceeds 256 x 256 pixels.
std::optional<dib::IconBitmap> decodeImage(iconreader::Bytes bytes);

}  // namespace iconload
