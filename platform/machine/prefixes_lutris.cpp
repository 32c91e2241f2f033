// Lutris: each game's configuration is a YAML file,
// games/<slug>-<timestamp>.yml, whose "game" section holds the Wine game's
// "prefix". The game's name is kept in Lutris's SQLite database pga.db:
// the row of its "games" table whose "configpath" is that file's name
// without ".yml". Older versions keep the files in ~/.config/lutris/games/,
// newer ones in ~/.local/share/lutris/games/; the Flatpak under its own
// ~/.var/app/net.lutris.Lutris/.
#include <fcntl.h>
#include <sqlite3.h>
#include <sys/sendfile.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <map>

#include "files/untrusted_file.h"
#include "machine/prefixes_sources.h"
#include "wineprefix/prefix_identity.h"

namespace prefixes::sources {

namespace fs = std::filesystem;

namespace {

// Lutris's database is Lutris's own: no byte of it may change and no file
// may appear beside it. Opened where it is, even read-only, SQLite creates
// pga.db-shm for a database in WAL mode (or rewrites one that a crashed
// Lutris left). Opened immutable (immutable=1) it touches nothing, but
// then it reads no -wal either, and a WAL database's newest rows may live
// only there until Lutris checkpoints them (a game added while Lutris runs,
// say). So the database and its -wal are copied, each within a cap and
// read as any file of another program, into a private folder, and the
// copy is read there: SQLite may make its -shm beside the copy. The
// database is copied first: should Lutris checkpoint in between, the -wal
// copied after it still holds every page that is newer than the database.
constexpr std::uintmax_t kDatabaseCap = 32u << 20;
// A database whose "games" is a view can compute rows without end: reading
// stops after this many of SQLite's steps (a fraction of a second), or
// this many rows, far more than any library holds.
constexpr int kStepBudget = 20'000;  // times 1,000 steps
constexpr std::size_t kMostGames = 100'000;

// A folder of our own in the temporary folder, removed with what it holds.
class PrivateFolder {
  public:
    PrivateFolder() {
        std::error_code ec;
        std::string pattern = (fs::temp_directory_path(ec) / "knobwise-lutris-XXXXXX").string();
        if (!ec && ::mkdtemp(pattern.data())) path_ = pattern;
    }
    ~PrivateFolder() {
        std::error_code ec;
        if (!path_.empty()) fs::remove_all(path_, ec);
    }
    PrivateFolder(const PrivateFolder&) = delete;
    PrivateFolder& operator=(const PrivateFolder&) = delete;
    const fs::path& path() const { return path_; }

  private:
    fs::path path_;
};

// Copies another program's file to `to`; false when it is missing or (with
// a warning) cannot be copied.
bool copyOf(const fs::path& from, const fs::path& to, Found& found) {
    std::optional<untrusted_file::File> in;
    try {
        in.emplace(untrusted_file::open(from, kDatabaseCap));
    } catch (const untrusted_file::Refused& e) {
        if (e.error() != ENOENT)
            found.warnings.push_back(std::string(e.what()) + "; it is skipped");
        return false;
    }
    const int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (out < 0) return false;
    auto left = static_cast<std::size_t>(in->status().st_size);
    off_t at = 0;
    while (left > 0) {
        const ssize_t n = ::sendfile(out, in->fd(), &at, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;  // read as far as it goes: a shorter copy is read as it is
        left -= static_cast<std::size_t>(n);
    }
    return ::close(out) == 0;
}

// configpath -> name, from the games table of a private copy of the
// database; empty when it cannot be read.
std::map<std::string, std::string> gameNames(const fs::path& db, Found& found) {
    std::map<std::string, std::string> out;
    std::error_code ec;
    if (!fs::exists(db, ec)) return out;
    const PrivateFolder folder;
    if (folder.path().empty()) return out;
    const fs::path copy = folder.path() / "pga.db";
    if (!copyOf(db, copy, found)) return out;
    copyOf(fs::path(db.string() + "-wal"), fs::path(copy.string() + "-wal"), found);
    sqlite3* h = nullptr;
    if (sqlite3_open_v2(copy.c_str(), &h, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK) {
        int budget = kStepBudget;
        sqlite3_progress_handler(
            h, 1000, [](void* left) { return --*static_cast<int*>(left) < 0 ? 1 : 0; }, &budget);
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(h, "SELECT configpath, name FROM games", -1, &st, nullptr) ==
            SQLITE_OK) {
            while (out.size() < kMostGames && sqlite3_step(st) == SQLITE_ROW) {
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
std::string prefixOf(const fs::path& yml, Found& found) {
    const std::optional<YAML::Node> config = readYaml(yml, found);
    if (!config) return {};
    try {
        const YAML::Node game = (*config)["game"];
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

void install(const fs::path& config, const fs::path& data, const fs::path& home, Found& found) {
    const std::map<std::string, std::string> names = gameNames(data / "pga.db", found);
    for (const fs::path& dir : {config / "games", data / "games"}) {
        std::error_code ec;
        for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
            const fs::path& file = it->path();
            if (file.extension() != ".yml" && file.extension() != ".yaml") continue;
            const fs::path prefix = wineprefix::configuredPath(prefixOf(file, found), home);
            if (prefix.empty()) continue;
            const std::string stem = file.stem().string();
            const auto named = names.find(stem);
            found.candidates.push_back(
                {prefix, Source::Lutris, named != names.end() ? named->second : slugOf(stem)});
        }
    }
}

}  // namespace

void lutris(const fs::path& home, Found& found) {
    install(home / ".config" / "lutris", home / ".local" / "share" / "lutris", home, found);
    const fs::path flatpak = home / ".var" / "app" / "net.lutris.Lutris";
    install(flatpak / "config" / "lutris", flatpak / "data" / "lutris", home, found);
}

}  // namespace prefixes::sources
