// What the sources of prefixes share: reading their small files and
// folders, and their names.
#include <fstream>

#include "machine/prefixes_sources.h"

namespace prefixes {

namespace fs = std::filesystem;

const char* sourceName(Source s) {
    switch (s) {
        case Source::Wine:
            return "Wine";
        case Source::Steam:
            return "Steam";
        case Source::Lutris:
            return "Lutris";
        case Source::Bottles:
            return "Bottles";
        case Source::Heroic:
            return "Heroic";
        case Source::PlayOnLinux:
            return "PlayOnLinux";
    }
    return "";
}

namespace sources {

std::optional<std::string> readSmallFile(const fs::path& file, size_t limit) {
    std::error_code ec;
    if (!fs::is_regular_file(file, ec)) return std::nullopt;
    const std::uintmax_t size = fs::file_size(file, ec);
    if (ec || size > limit) return std::nullopt;
    std::ifstream in(file, std::ios::binary);
    if (!in) return std::nullopt;
    std::string text(static_cast<size_t>(size), '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<size_t>(in.gcount()));
    if (in.bad()) return std::nullopt;
    return text;
}

std::vector<fs::path> subfolders(const fs::path& dir) {
    std::vector<fs::path> out;
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code typeEc;
        if (it->is_directory(typeEc)) out.push_back(it->path());
    }
    return out;
}

}  // namespace sources

}  // namespace prefixes
