#include "wineprefix/prefix_identity.h"

namespace wineprefix {

namespace fs = std::filesystem;

namespace {

fs::path clean(fs::path p) {
    p = p.lexically_normal();
    if (!p.has_filename() && p.has_relative_path()) p = p.parent_path();  // "/a/b/" is "/a/b"
    return p;
}

}  // namespace

fs::path cleanPath(const fs::path& dir) {
    std::error_code ec;
    fs::path p = fs::absolute(dir, ec);
    return clean(ec ? dir : p);
}

fs::path configuredPath(std::string_view text, const fs::path& home) {
    fs::path p = text.starts_with("~/") ? home / text.substr(2) : fs::path(text);
    return p.is_absolute() ? clean(p) : fs::path();
}

std::optional<std::string> whyNotPrefix(const fs::path& folder) {
    std::error_code ec;
    if (!fs::is_directory(folder, ec))
        return "The Wine prefix " + folder.string() + " does not exist.";
    for (std::string_view file : {kSystemFile, kUserFile}) {
        if (!fs::is_regular_file(folder / file, ec))
            return folder.string() + " is not a Wine prefix: it has no " + std::string(file) + ".";
    }
    return std::nullopt;
}

std::string nameOf(const fs::path& folder, std::string given) {
    if (!given.empty()) return given;
    std::string name = folder.filename().string();
    return name.empty() ? folder.string() : name;
}

std::optional<Identity> identify(const fs::path& dir, std::string name, std::string& why) {
    fs::path folder = cleanPath(dir);
    if (std::optional<std::string> problem = whyNotPrefix(folder)) {
        why = std::move(*problem);
        return std::nullopt;
    }
    std::string named = nameOf(folder, std::move(name));
    return Identity{std::move(folder), std::move(named)};
}

}  // namespace wineprefix
