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

// The library folders one libraryfolders.vdf lists: a block per library
// with its "path" (as Steam writes it now), or the path itself as the value
// (as it wrote it before 2021). Numbered keys only; the others are Steam's
// statistics.
std::vector<fs::path> libraries(const fs::path& vdfFile) {
    std::vector<fs::path> out;
    const std::optional<std::string> text = readSmallFile(vdfFile);
    if (!text) return out;
    const std::optional<vdf::Node> root = vdf::parse(*text);
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
std::string appName(const fs::path& steamapps, const std::string& appId) {
    const std::optional<std::string> text =
        readSmallFile(steamapps / ("appmanifest_" + appId + ".acf"));
    if (!text) return {};
    const std::optional<vdf::Node> root = vdf::parse(*text);
    const vdf::Node* state = root ? root->find("AppState") : nullptr;
    if (!state) return {};
    return state->string("name").value_or("");
}

void library(const fs::path& steamapps, Candidates& out) {
    for (const fs::path& dir : subfolders(steamapps / "compatdata")) {
        const std::string appId = dir.filename().string();
        std::string name = appName(steamapps, appId);
        out.push_back({dir / "pfx", Source::Steam, name.empty() ? appId : std::move(name)});
    }
}

}  // namespace

void steam(const fs::path& home, Candidates& out) {
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
        for (const fs::path& lib : libraries(install / "steamapps" / "libraryfolders.vdf"))
            steamapps.push_back(lib / "steamapps");
        for (const fs::path& dir : steamapps) {
            std::error_code ec;
            fs::path key = fs::weakly_canonical(dir, ec);
            if (ec) key = dir;
            if (done.insert(key).second) library(dir, out);
        }
    }
}

}  // namespace prefixes::sources
