// mkicons: writes the icon files a new machine's drive C holds, from our own
// artwork. Usage: mkicons ARTWORK_DIR DRIVE_C_DIR
//
// Each icon has a 32 x 32 and a 16 x 16 image. The files mix the ways icon
// images are stored (DIBs of 4, 8, 24 and 32 bits, PNG) and hold named as well
// as numbered groups, as the system files they stand in for do.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

#include "mkicons_art.h"
#include "mkicons_encode.h"
#include "pewriter.h"

namespace {

namespace fs = std::filesystem;
using mkicons::Storage;

struct Maker {
    fs::path artwork;

    pewriter::Group art(const char* name, Storage large, Storage small, std::uint16_t id,
                        std::string groupName = {}) const {
        const QString path =
            QString::fromStdString((artwork / (std::string(name) + ".svg")).string());
        pewriter::Group g{std::move(groupName), id, {}};
        for (auto [size, storage] : {std::pair{32, large}, std::pair{16, small}}) {
            QImage picture = mkicons::renderSvg(path, size);
            if (picture.isNull()) throw std::runtime_error("cannot render " + path.toStdString());
            g.images.push_back(mkicons::encode(picture, storage));
        }
        return g;
    }

    static pewriter::Group filler(int variant, std::uint16_t id) {
        pewriter::Group g{{}, id, {}};
        for (int size : {32, 16})
            g.images.push_back(mkicons::encode(mkicons::fillerIcon(variant, size), Storage::Dib4));
        return g;
    }
};

// Written aside and renamed into place, so that a file is whole or absent.
void save(const fs::path& path, const std::vector<std::uint8_t>& bytes) {
    fs::create_directories(path.parent_path());
    const fs::path aside = path.string() + ".new";
    {
        std::ofstream out(aside, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
        if (!out) throw std::runtime_error("cannot write " + aside.string());
    }
    fs::rename(aside, path);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: mkicons ARTWORK_DIR DRIVE_C_DIR\n");
        return 2;
    }
    try {
        const Maker m{argv[1]};
        const fs::path windows = fs::path(argv[2]) / "WINDOWS";
        const fs::path system = windows / "SYSTEM";

        save(windows / "explorer.exe",
             pewriter::writePe({m.art("computer", Storage::Dib32, Storage::Dib32, 100)},
                               {.dll = false}));

        // shell32.dll: numbered groups 1 to 40, index n holding ID n + 1.
        std::vector<pewriter::Group> shell;
        for (int index = 0; index < 40; ++index) {
            const auto id = static_cast<std::uint16_t>(index + 1);
            if (index == 17)
                shell.push_back(m.art("network", Storage::Dib8, Storage::Dib8, id));
            else if (index == 31)
                shell.push_back(m.art("recycle", Storage::Dib24, Storage::Dib4, id));
            else
                shell.push_back(Maker::filler(index, id));
        }
        save(system / "shell32.dll", pewriter::writePe(shell));

        save(system / "syncui.dll",
             pewriter::writePe({m.art("briefcase", Storage::Dib4, Storage::Dib4, 1)}));

        // A named group comes before the numbered ones.
        save(system / "mshtml.dll",
             pewriter::writePe({Maker::filler(40, 2600), Maker::filler(41, 2601),
                                m.art("globe", Storage::Png, Storage::Dib32, 0, "INTERNET")}));

        save(system / "mydocs.dll",
             pewriter::writePe({m.art("documents", Storage::Dib32, Storage::Dib8, 101)}));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "mkicons: %s\n", e.what());
        return 1;
    }
    return 0;
}
