#include "machine/prefixes.h"

#include <algorithm>
#include <cstdlib>
#include <set>
#include <tuple>

#include "files/user_dirs.h"
#include "machine/prefixes_sources.h"
#include "machine/wineserver.h"
#include "text/ascii.h"
#include "wineprefix/prefix_identity.h"

namespace prefixes {

namespace fs = std::filesystem;
using sources::Candidate;
using sources::Found;

namespace {

void wine(const fs::path& home, Found& found) {
    if (const char* p = std::getenv("WINEPREFIX"); p && *p == '/') {
        const fs::path dir = wineprefix::configuredPath(p, home);
        found.candidates.push_back({dir, Source::Wine, {}});
    }
    found.candidates.push_back({home / ".wine", Source::Wine, {}});
}

void playOnLinux(const fs::path& home, Found& found) {
    for (const fs::path& dir : sources::subfolders(home / ".PlayOnLinux" / "wineprefix"))
        found.candidates.push_back({dir, Source::PlayOnLinux, {}});
}

}  // namespace

std::vector<Prefix> find(std::vector<std::string>* warnings) {
    const fs::path h = user_dirs::home();
    Found found;
    wine(h, found);
    sources::steam(h, found);
    sources::lutris(h, found);
    sources::bottles(h, found);
    sources::heroic(h, found);
    playOnLinux(h, found);

    // The first to reach a real path names it: the sources come in their
    // order, and within one the names are sorted first (ignoring ASCII case,
    // each name folded once), then the paths.
    std::vector<std::pair<std::string, Candidate>> ordered;
    ordered.reserve(found.candidates.size());
    for (Candidate& c : found.candidates) {
        c.name = wineprefix::nameOf(c.path, std::move(c.name));
        std::string key = ascii::lowered(c.name);
        ordered.emplace_back(std::move(key), std::move(c));
    }
    std::stable_sort(ordered.begin(), ordered.end(), [](const auto& a, const auto& b) {
        return std::tie(a.second.source, a.first, a.second.path) <
               std::tie(b.second.source, b.first, b.second.path);
    });
    std::vector<Prefix> out;
    std::set<fs::path> seen;
    for (auto& [key, c] : ordered) {
        if (c.path.empty() || !wineprefix::isPrefix(c.path)) continue;
        std::error_code ec;
        fs::path real = fs::canonical(c.path, ec);
        if (ec || !seen.insert(real).second) continue;
        const bool running = wineserver::running(real);
        out.push_back({std::move(real), c.source, std::move(c.name), running});
    }
    if (warnings) *warnings = std::move(found.warnings);
    return out;
}

}  // namespace prefixes
