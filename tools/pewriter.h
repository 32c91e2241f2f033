// Writing icon files: resource-only PE images (32- or 64-bit) holding icon
// groups, and .ico files. The images go in as they are to be stored (DIB or
// PNG bytes); nothing here looks inside them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace pewriter {

// Little-endian fields written into a buffer that already has room for them.
void put16(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v);
void put32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v);

// One image of an icon, with what its directory entry says about it.
struct Image {
    int width = 32;  // 1..256
    int height = 32;
    int bitCount = 32;
    int colorCount = 0;  // palette entries when fewer than 256, else 0
    std::vector<std::uint8_t> bytes;
};

// A group-icon resource: named when `name` is not empty, else numbered `id`.
struct Group {
    std::string name;
    std::uint16_t id = 0;
    std::vector<Image> images;
};

struct Options {
    bool pe32Plus = false;  // a 64-bit (PE32+) image instead of PE32
    bool dll = true;        // marked as a library rather than a program
    // Resource directories list named entries first, in ascending order of
    // their upper-cased names, then numeric IDs ascending, as resource
    // compilers write them. false keeps the order given (for tests that need
    // a directory out of that order).
    bool sortEntries = true;
};

// The bytes of a PE image whose only section, .rsrc, holds the groups and
// their images (RT_ICON resources numbered from 1 in the order given).
std::vector<std::uint8_t> writePe(const std::vector<Group>& groups, const Options& options = {});

// The bytes of an .ico file holding the images.
std::vector<std::uint8_t> writeIco(const std::vector<Image>& images);

}  // namespace pewriter
