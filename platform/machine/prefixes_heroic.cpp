// Heroic: each game's settings are GamesConfig/<app name>.json, an object
// whose member named after the game holds its "winePrefix"; the prefixes
// Heroic makes itself are folders of ~/Games/Heroic/Prefixes/ (newer
// versions one level down, in default/). The prefix folder is named after
// the game's title, and names it here.
#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "machine/prefixes_sources.h"
#include "wineprefix/prefix_identity.h"

namespace prefixes::sources {

namespace fs = std::filesystem;

namespace {

void gamesConfig(const fs::path& dir, const fs::path& home, Candidates& out) {
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        if (it->path().extension() != ".json") continue;
        const std::optional<std::string> text = readSmallFile(it->path());
        if (!text) continue;
        const QJsonDocument doc =
            QJsonDocument::fromJson(QByteArray::fromRawData(text->data(), text->size()));
        if (!doc.isObject()) continue;
        const QJsonObject root = doc.object();
        for (auto game = root.begin(); game != root.end(); ++game) {
            if (!game.value().isObject()) continue;
            const QJsonValue prefix = game.value().toObject().value(QStringLiteral("winePrefix"));
            if (!prefix.isString()) continue;
            const fs::path path = wineprefix::configuredPath(prefix.toString().toStdString(), home);
            if (!path.empty()) out.push_back({path, Source::Heroic, {}});
        }
    }
}

}  // namespace

void heroic(const fs::path& home, Candidates& out) {
    gamesConfig(home / ".config" / "heroic" / "GamesConfig", home, out);
    gamesConfig(
        home / ".var" / "app" / "com.heroicgameslauncher.hgl" / "config" / "heroic" / "GamesConfig",
        home, out);
    // A folder that is no prefix may hold prefixes (default/).
    for (const fs::path& dir : subfolders(home / "Games" / "Heroic" / "Prefixes")) {
        if (wineprefix::isPrefix(dir)) {
            out.push_back({dir, Source::Heroic, {}});
            continue;
        }
        for (const fs::path& inner : subfolders(dir)) out.push_back({inner, Source::Heroic, {}});
    }
}

}  // namespace prefixes::sources
