// Lutris: each game's configuration is a YAML file,
// games/<slug>-<timestamp>.yml, whose "game" section holds the Wine game's
// "prefix". The game's name is kept in Lutris's SQLite database pga.db:
// the row of its "games" table whose "configpath" is that file's name
// without ".yml". Older versions keep the files in ~/.config/lutris/games/,
// newer ones in ~/.local/share/lutris/games/; the Flatpak under its own
// ~/.var/app/net.lutris.Lutris/.
#include <sqlite3.h>
#include <yaml-cpp/yaml.h>

#include <map>

#include "machine/prefixes_sources.h"
#include "wineprefix/prefix_identity.h"

namespace prefixes::sources {

namespace fs = std::filesystem;

namespace {

// configpath -> name, from the games table; empty when the database cannot
// be read. Opened read-only, and never waited for: a Lutris that holds it
// locked leaves the names out.
std::map<std::string, std::string> gameNames(const fs::path& db) {
    std::map<std::string, std::string> out;
    std::error_code ec;
    if (!fs::is_regular_file(db, ec)) return out;
    sqlite3* h = nullptr;
    if (sqlite3_open_v2(db.c_str(), &h, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(h, "SELECT configpath, name FROM games", -1, &st, nullptr) ==
            SQLITE_OK) {
            while (sqlite3_step(st) == SQLITE_ROW) {
                const auto* path = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
                const auto* name = reinterpret_cast<const char*>(sqlite3_column_text(st, 1));
                if (path && name && *path && *name) out.emplace(path, name);
            }
        }
        sqlite3_finalize(st);
    }
    sqlite3_close(h);
    return out;
}

// The prefix of one game's configuration; empty when it names none.
std::string prefixOf(const fs::path& yml) {
    const std::optional<std::string> text = readSmallFile(yml);
    if (!text) return {};
    try {
        const YAML::Node game = YAML::Load(*text)["game"];
        if (!game.IsMap()) return {};
        const YAML::Node prefix = game["prefix"];
        return prefix.IsScalar() ? prefix.as<std::string>() : std::string();
    } catch (const YAML::Exception&) {
        return {};
    }
}

// The slug a configuration file is named by, when the database has no name
// for it: "<slug>-<timestamp>".
std::string slugOf(const std::string& stem) {
    const size_t dash = stem.rfind('-');
    if (dash == std::string::npos || dash == 0) return stem;
    const std::string tail = stem.substr(dash + 1);
    return !tail.empty() && tail.find_first_not_of("0123456789") == std::string::npos
               ? stem.substr(0, dash)
               : stem;
}

void install(const fs::path& config, const fs::path& data, const fs::path& home, Candidates& out) {
    const std::map<std::string, std::string> names = gameNames(data / "pga.db");
    for (const fs::path& dir : {config / "games", data / "games"}) {
        std::error_code ec;
        for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
            const fs::path& file = it->path();
            if (file.extension() != ".yml" && file.extension() != ".yaml") continue;
            const fs::path prefix = wineprefix::configuredPath(prefixOf(file), home);
            if (prefix.empty()) continue;
            const std::string stem = file.stem().string();
            const auto named = names.find(stem);
            out.push_back(
                {prefix, Source::Lutris, named != names.end() ? named->second : slugOf(stem)});
        }
    }
}

}  // namespace

void lutris(const fs::path& home, Candidates& out) {
    install(home / ".config" / "lutris", home / ".local" / "share" / "lutris", home, out);
    const fs::path flatpak = home / ".var" / "app" / "net.lutris.Lutris";
    install(flatpak / "config" / "lutris", flatpak / "data" / "lutris", home, out);
}

}  // namespace prefixes::sources
