// Storing a rendered picture as an icon image, in one of the forms icon
// files use: a DIB with an AND mask at 4, 8, 24 or 32 bits per pixel (the
// 32-bit one with alpha), or a PNG stream.
#pragma once

#include <QImage>

#include "pewriter.h"

namespace mkicons {

enum class Storage { Dib4, Dib8, Dib24, Dib32, Png };

// The picture (any size up to 256 x 256, with alpha) stored as `storage`.
// Pixels less than half opaque are left out by the mask.
pewriter::Image encode(const QImage& picture, Storage storage);

}  // namespace mkicons
