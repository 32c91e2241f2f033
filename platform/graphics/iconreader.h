// Finding icons in the bytes of a file: a PE image (32- or 64-bit) holding
// icon-group resources, or an .ico file. Only the structure is read here; the
// images themselves are decoded elsewhere (dib.h, iconload.h).
//
// The bytes are untrusted. Every offset, size and count is checked before it
// is used, arithmetic cannot overflow, and every loop is bounded by the data;
// a malformed file gives NoIcon or NotIconFile, never a read out of bounds.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace iconreader {

using Bytes = std::span<const std::uint8_t>;

enum class Status {
    Found,        // the group asked for, with at least one image
    NoIcon,       // an icon file, but there is no (readable) group at that index
    NotIconFile,  // neither a PE image nor an .ico file
};

// One image of an icon group, as its directory describes it. Width and
// height are the directory's (0 there means 256); bitCount may be 0 when the
// directory leaves it out. The bytes are a DIB (header, colour table, XOR
// bits, AND mask) or a PNG stream, and point into the file's bytes.
struct Image {
    int width = 0;
    int height = 0;
    int bitCount = 0;
    Bytes bytes;
};

struct Lookup {
    Status status = Status::NotIconFile;
    std::vector<Image> images;  // empty unless Found
};

// The index-th icon group of the file: in a PE image the index-th entry of the
// group-icon resource directory, in the order the directory stores its
// entries (named ones first, then numeric IDs ascending); in an .ico file
// index 0 only. Images whose bytes cannot be had are left out; a group left
// with none is NoIcon.
Lookup find(Bytes file, std::uint32_t index);

// How many icon groups the file holds: the number of group-icon resources of a
// PE image, 1 for an .ico file; -1 when the file is neither.
int count(Bytes file);

}  // namespace iconreader
