// fuzz_seeds: writes the fuzzers' seed corpus. Usage: fuzz_seeds CORPUS_DIR
// Small pictures (a few pixels wide) in every storage form, in .ico files and
// in 32- and 64-bit PE images with named and numbered groups.
#include <QImage>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "mkicons_encode.h"
#include "pewriter.h"

namespace {

namespace fs = std::filesystem;
using mkicons::Storage;

// A small picture: a diagonal gradient with a transparent corner and a
// half-transparent edge.
QImage picture(int size, int seed) {
    QImage image(size, size, QImage::Format_ARGB32);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            int alpha = x + y < size / 2 ? 0 : (x == size - 1 ? 128 : 255);
            image.setPixel(
                x, y,
                qRgba((x * 40 + seed * 70) & 0xFF, (y * 40) & 0xFF, (seed * 90) & 0xFF, alpha));
        }
    return image;
}

// A 1-bit image: a two-colour palette, a checkerboard, the top row masked.
pewriter::Image monochrome(int size) {
    const std::size_t stride = (static_cast<std::size_t>(size) + 31) / 32 * 4;
    std::vector<std::uint8_t> b(40 + 8 + 2 * stride * static_cast<std::size_t>(size), 0);
    b[0] = 40;
    b[4] = static_cast<std::uint8_t>(size);
    b[8] = static_cast<std::uint8_t>(2 * size);
    b[12] = 1;
    b[14] = 1;
    b[44] = b[45] = b[46] = 0xFF;  // palette entry 1: white
    for (int row = 0; row < size; ++row)
        for (int x = 0; x < size; ++x) {
            if ((x + row) % 2)
                b[48 + row * stride + x / 8] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
            if (row == size - 1)
                b[48 + (size + row) * stride + x / 8] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
        }
    return {size, size, 1, 2, b};
}

void save(const fs::path& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz_seeds CORPUS_DIR\n");
        return 2;
    }
    const fs::path reader = fs::path(argv[1]) / "icon_reader";
    const fs::path image = fs::path(argv[1]) / "icon_image";
    fs::create_directories(reader);
    fs::create_directories(image);

    const std::pair<Storage, const char*> forms[] = {{Storage::Dib4, "dib4"},
                                                     {Storage::Dib8, "dib8"},
                                                     {Storage::Dib24, "dib24"},
                                                     {Storage::Dib32, "dib32"},
                                                     {Storage::Png, "png"}};
    std::vector<pewriter::Image> all;
    int seed = 0;
    for (auto [storage, name] : forms) {
        pewriter::Image img = mkicons::encode(picture(8, seed++), storage);
        save(image / (std::string(name) + ".bin"), img.bytes);
        all.push_back(img);
    }
    pewriter::Image mono = monochrome(8);
    save(image / "dib1.bin", mono.bytes);

    pewriter::Group named{"PICTURES", 0, {all[0], all[1], all[2]}};
    pewriter::Group high{{}, 300, {all[3], all[4]}};
    pewriter::Group low{{}, 7, {mono, mkicons::encode(picture(4, 9), Storage::Dib32)}};
    save(reader / "pe32.dll", pewriter::writePe({high, named, low}));
    save(reader / "pe32plus.dll", pewriter::writePe({low, high}, {.pe32Plus = true}));
    save(reader / "unsorted.exe",
         pewriter::writePe({high, low, named}, {.dll = false, .sortEntries = false}));
    save(reader / "icon.ico", pewriter::writeIco({all[0], all[3], all[4]}));
    return 0;
}
