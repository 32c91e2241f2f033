// Steam: libraryfolders.vdf, in the steamapps folder of each install, lists
// the libraries, each "path" a folder with its own steamapps/. A game run
// through Proton has its prefix in steamapps/compatdata/<app id>/pfx, and
// the library's steamapps/appmanifest_<app id>.acf gives its "name".
#include <set>

#include "machine/prefixes_sources.h"
#include "machine/vdf.h"

namespace prefixes::sources {

namespace fs = std::filesystem;

namespace {

// A file of Valve's format; nullopt when it cannot be read or is not of
// the format, with a warning when it nests too deeply.
std::optional<vdf::Node> readVdf(const fs::path& file, Found& found) {
    const std::optional<std::string> text = readSmallFile(file, found);
    if (!text) return std::nullopt;
    bool tooDeep = false;
    std::optional<vdf::Node> root = vdf::parse(*text, &tooDeep);
    if (tooDeep) warnTooDeep(file, found);
    return root;
}

// The library folders one libraryfolders.vdf lists: a block per library
// with its "path" (as Steam writes it now), or the path itself as the value
// (as it wrote it before 2021). Numbered keys only; the others are Steam's
// statistics.
std::vector<fs::path> libraries(const fs::path& vdfFile, Found& found) {
    std::vector<fs::path> out;
    const std::optional<vdf::Node> root = readVdf(vdfFile, found);
    const vdf::Node* list = root ? root->find("libraryfolders") : nullptr;
    if (!list || !list->isBlock) return out;
    for (const auto& [key, value] : list->pairs) {
        if (key.empty() || key.find_first_not_of("0123456789") != std::string::npos) continue;
        std::optional<std::string> path = value.isBlock ? value.string("path") : value.text;
        if (path && !path->empty() && (*path)[0] == '/') out.emplace_back(*path);
    }
    return out;
}

// The game's name in its manifest; empty when it has none.
std::string appName(const fs::path& steamapps, const std::string& appId, Found& found) {
    const std::optional<vdf::Node> root =
        readVdf(steamapps / ("appmanifest_" + appId + ".acf"), found);
    const vdf::Node* state = root ? root->find("AppState") : nullptr;
    if (!state) return {};
    return state->string("name").value_or("");
}

void library(const fs::path& steamapps, Found& found) {
    for (const fs::path& dir : subfolders(steamapps / "compatdata")) {
        const std::string appId = dir.filename().string();
        std::string name = appName(steamapps, appId, found);
        found.candidates.push_back(
            {dir / "pfx", Source::Steam, name.empty() ? appId : std::move(name)});
    }
}

}  // namespace

void steam(const fs::path& home, Found& found) {
    const fs::path installs[] = {
        home / ".steam" / "steam",
        home / ".local" / "share" / "Steam",
        home / ".var" / "app" / "com.valvesoftware.Steam" / ".local" / "share" / "Steam",
    };
    // The install's own steamapps is a library whether it is listed or not;
    // a library listed by two installs is read once.
    std::set<fs::path> done;
    for (const fs::path& install : installs) {
        std::vector<fs::path> steamapps{install / "steamapps"};
        for (const fs::path& lib : libraries(install / "steamapps" / "libraryfolders.vdf", found))
            steamapps.push_back(lib / "steamapps");
        for (const fs::path& dir : steamapps) {
            std::error_code ec;
            fs::path key = fs::weakly_canonical(dir, ec);
            if (ec) key = dir;
            if (done.insert(key).second) library(dir, found);
        }
    }
}

}  // namespace prefixes::sources
