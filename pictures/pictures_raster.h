// The program's own pictures as pixels, rasterised when the program is
// built (tools/mkpictures) from the artwork in resources/pictures, at the
// sides the window draws them and twice those for a scale factor of 2.
#pragma once

#include <cstddef>
#include <cstdint>

namespace pictures::raster {

struct Raster {
    const char* name;             // the artwork's file name without its extension
    int side;                     // pixels across and down
    const std::uint32_t* pixels;  // premultiplied ARGB32, side x side, row by row
};

extern const Raster kAll[];
extern const std::size_t kCount;

}  // namespace pictures::raster
