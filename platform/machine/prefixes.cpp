#include "machine/prefixes.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <set>
#include <tuple>

#include "machine/prefixes_sources.h"
#include "machine/wineserver.h"
#include "text/ascii.h"

namespace prefixes {

namespace fs = std::filesystem;
using sources::Candidate;
using sources::Candidates;

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

fs::path absolutePath(const std::string& text, const fs::path& home) {
    fs::path p = text.starts_with("~/") ? home / text.substr(2) : fs::path(text);
    if (!p.is_absolute()) return {};
    p = p.lexically_normal();
    if (!p.has_filename() && p.has_relative_path()) p = p.parent_path();  // "/a/b/" is "/a/b"
    return p;
}

}  // namespace sources

namespace {

fs::path home() {
    const char* h = std::getenv("HOME");
    return h && *h == '/' ? fs::path(h) : fs::path();
}

void wine(const fs::path& home, Candidates& out) {
    if (const char* p = std::getenv("WINEPREFIX"); p && *p == '/') {
        const fs::path dir = sources::absolutePath(p, home);
        out.push_back({dir, Source::Wine, dir.filename().string()});
    }
    out.push_back({home / ".wine", Source::Wine, ".wine"});
}

void playOnLinux(const fs::path& home, Candidates& out) {
    for (const fs::path& dir : sources::subfolders(home / ".PlayOnLinux" / "wineprefix"))
        out.push_back({dir, Source::PlayOnLinux, dir.filename().string()});
}

}  // namespace

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

bool isPrefix(const fs::path& dir) {
    std::error_code ec;
    return fs::is_regular_file(dir / "system.reg", ec) && fs::is_regular_file(dir / "user.reg", ec);
}

std::vector<Prefix> find() {
    const fs::path h = home();
    Candidates found;
    if (!h.empty()) {
        wine(h, found);
        sources::steam(h, found);
        sources::lutris(h, found);
        sources::bottles(h, found);
        sources::heroic(h, found);
        playOnLinux(h, found);
    }

    // The first to reach a real path names it: the sources come in their
    // order, and within one the names are sorted first (ignoring ASCII case,
    // each name folded once), then the paths.
    std::vector<std::pair<std::string, Candidate>> ordered;
    ordered.reserve(found.size());
    for (Candidate& c : found) {
        std::string key = c.name;
        for (char& ch : key) ch = ascii::lower(ch);
        ordered.emplace_back(std::move(key), std::move(c));
    }
    std::stable_sort(ordered.begin(), ordered.end(), [](const auto& a, const auto& b) {
        return std::tie(a.second.source, a.first, a.second.path) <
               std::tie(b.second.source, b.first, b.second.path);
    });
    std::vector<Prefix> out;
    std::set<fs::path> seen;
    for (auto& [key, c] : ordered) {
        if (c.path.empty() || !isPrefix(c.path)) continue;
        std::error_code ec;
        fs::path real = fs::canonical(c.path, ec);
        if (ec || !seen.insert(real).second) continue;
        if (c.name.empty()) c.name = real.filename().string();
        const bool running = wineserver::running(real);
        out.push_back({std::move(real), c.source, std::move(c.name), running});
    }
    return out;
}

}  // namespace prefixes
