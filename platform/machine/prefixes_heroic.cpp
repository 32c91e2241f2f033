// Heroic: each game's settings are GamesConfig/<app name>.json, an object
// whose member named after the game holds its "winePrefix"; the prefixes
// Heroic makes itself are folders of ~/Games/Heroic/Prefixes/ (newer
// versions one level down, in default/). The prefix folder is named after
// the game's title, and names it here.
#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

#include "machine/prefixes_sources.h"
#include "wineprefix/prefix_identity.h"

namespace prefixes::sources {

namespace fs = std::filesystem;

namespace {

void gamesConfig(const fs::path& dir, const fs::path& home, Found& found) {
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        if (it->path().extension() != ".json") continue;
        const std::optional<std::string> text = readSmallFile(it->path(), found);
        if (!text) continue;
        QJsonParseError error{};
        const QJsonDocument doc = QJsonDocument::fromJson(
            QByteArray::fromRawData(text->data(), static_cast<qsizetype>(text->size())), &error);
        if (error.error == QJsonParseError::DeepNesting) warnTooDeep(it->path(), found);
        if (!doc.isObject()) continue;
        const QJsonObject root = doc.object();
        for (auto game = root.begin(); game != root.end(); ++game) {
            if (!game.value().isObject()) continue;
            const QJsonValue prefix = game.value().toObject().value(QStringLiteral("winePrefix"));
            if (!prefix.isString()) continue;
            const fs::path path = wineprefix::configuredPath(prefix.toString().toStdString(), home);
            if (!path.empty()) found.candidates.push_back({path, Source::Heroic, {}});
        }
    }
}

}  // namespace

void heroic(const fs::path& home, Found& found) {
    gamesConfig(home / ".config" / "heroic" / "GamesConfig", home, found);
    gamesConfig(
        home / ".var" / "app" / "com.heroicgameslauncher.hgl" / "config" / "heroic" / "GamesConfig",
        home, found);
    // A folder that is no prefix may hold prefixes (default/).
    for (const fs::path& dir : subfolders(home / "Games" / "Heroic" / "Prefixes")) {
        if (wineprefix::isPrefix(dir)) {
            found.candidates.push_back({dir, Source::Heroic, {}});
            continue;
        }
        for (const fs::path& inner : subfolders(dir))
            found.candidates.push_back({inner, Source::Heroic, {}});
    }
}

}  // namespace prefixes::sources
