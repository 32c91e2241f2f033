#include "machine/machine.h"

#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>

#include "hive/sqlite_hive.h"
#include "machine/running_wine.h"
#include "wineprefix/prefix_store.h"

namespace machine {

namespace {

namespace fs = std::filesystem;

fs::path home() {
    if (const char* h = std::getenv("HOME"); h && *h) return h;
    if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir) return pw->pw_dir;
    return "/";
}

Machine& selected() {
    static Machine m = Machine::embedded();
    return m;
}

// A prefix's registry: through the running Wine while one runs there whose
// Wine can be used, read-only while one runs whose Wine cannot (both checked
// again before every change), and while one of its files cannot be read;
// changes to a file the user may not write are refused. The files are read
// while the program goes on; what the user is told is worked out when it is
// asked for, once they have been.
regstore::Opened openPrefix(const fs::path& prefix, const std::vector<regstore::KeyPath>& keys) {
    regstore::Opened o;
    auto live = std::make_shared<RunningWine>(prefix);
    auto store = regstore::PrefixStore::open(prefix, live, keys);
    o.state = regstore::State::Ok;
    o.explain = [s = store.get(), live, prefix]() -> std::string {
        if (const std::string damage = s->damage(); !damage.empty())
            return damage + " Knobwise uses the Wine prefix " + prefix.string() +
                   " read-only and changes nothing in it.";
        if (const std::string denied = s->writeProblem(); !denied.empty())
            return denied + " The settings are shown but cannot be changed.";
        const regstore::LiveWine::Server server = live->server();
        if (server.state == regstore::LiveWine::State::Unusable) return server.reason;
        if (const std::string note = s->liveNote();
            server.state == regstore::LiveWine::State::Usable && !note.empty())
            return "Wine is running in " + prefix.string() + ". " + note;
        return {};
    };
    o.store = std::move(store);
    return o;
}

// The drive letter a dosdevices/ entry stands for: "c:" and the like; not
// "com1" or "c::" (a device).
std::optional<char> driveLetter(const std::string& name) {
    if (name.size() != 2 || name[1] != ':') return std::nullopt;
    char c = name[0];
    if (c >= 'a' && c <= 'z') return static_cast<char>(c - 'a' + 'A');
    if (c >= 'A' && c <= 'Z') return c;
    return std::nullopt;
}

}  // namespace

fs::path directory() {
    const char* xdg = std::getenv("XDG_DATA_HOME");
    fs::path base = xdg && *xdg == '/' ? fs::path(xdg) : home() / ".local" / "share";
    return base / "knobwise";
}

fs::path hivePath() {
    return directory() / "registry.db";
}

fs::path driveC() {
    return directory() / "drive_c";
}

Machine Machine::winePrefix(fs::path prefix, std::string name,
                            std::vector<regstore::KeyPath> liveKeys) {
    Machine m;
    m.prefix_ = std::move(prefix);
    m.name_ = name.empty() ? m.prefix_.filename().string() : std::move(name);
    // "/" has no folder name; it is still named.
    if (m.name_.empty()) m.name_ = m.prefix_.string();
    m.liveKeys_ = std::move(liveKeys);
    return m;
}

regstore::Opened Machine::openRegistry() const {
    return isWinePrefix() ? openPrefix(prefix_, liveKeys_) : regstore::openHive(hivePath());
}

std::vector<Drive> Machine::drives() const {
    if (!isWinePrefix()) return {{'C', driveC()}, {'Z', "/"}};
    std::vector<Drive> out;
    std::error_code ec;
    const fs::path devices = prefix_ / "dosdevices";
    for (const fs::directory_entry& e : fs::directory_iterator(devices, ec)) {
        std::optional<char> letter = driveLetter(e.path().filename().string());
        if (!letter) continue;
        if (std::any_of(out.begin(), out.end(),
                        [&](const Drive& d) { return d.letter == *letter; }))
            continue;
        out.push_back({*letter, e.path()});
    }
    std::sort(out.begin(), out.end(),
              [](const Drive& a, const Drive& b) { return a.letter < b.letter; });
    return out;
}

Choice choose(const std::optional<fs::path>& winePrefix, const std::string& name,
              std::vector<regstore::KeyPath> liveKeys) {
    Choice c;
    if (winePrefix) {
        const fs::path prefix = absoluteFolder(*winePrefix);
        if (std::optional<std::string> why = checkWinePrefix(prefix)) return {false, *why};
        select(Machine::winePrefix(prefix, name, std::move(liveKeys)));
    } else {
        c.error = ensure().error;
        select(Machine::embedded());
    }
    regstore::open();
    return c;
}

const Machine& current() {
    return selected();
}

void select(const Machine& m) {
    selected() = m;
    regstore::select([m] { return m.openRegistry(); });
}

std::optional<std::string> winePrefixVariableProblem() {
    const char* p = std::getenv("WINEPREFIX");
    if (!p || !*p || *p == '/') return std::nullopt;
    return std::string("$WINEPREFIX is set to ") + p +
           ", which is not an absolute path; Wine does not accept it either. Set it to the "
           "prefix's full path, or give the folder after --wine-prefix.";
}

fs::path absoluteFolder(const fs::path& dir) {
    std::error_code ec;
    fs::path p = fs::absolute(dir, ec);
    if (ec) p = dir;
    p = p.lexically_normal();
    if (!p.has_filename() && p.has_relative_path()) p = p.parent_path();
    return p;
}

std::optional<std::string> checkWinePrefix(const fs::path& prefix) {
    std::error_code ec;
    if (!fs::is_directory(prefix, ec))
        return "The Wine prefix " + prefix.string() + " does not exist.";
    for (const char* file : {"system.reg", "user.reg"}) {
        if (!fs::is_regular_file(prefix / file, ec))
            return prefix.string() + " is not a Wine prefix: it has no " + file + ".";
    }
    return std::nullopt;
}

// Beside the executable first: the build tree keeps its programs one level
// below the root (app/, tools/, tests/) and the data in share/knobwise; an
// installed program finds it at the compiled-in place.
fs::path dataDirectory() {
    std::error_code ec;
    fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (!ec) {
        for (const char* up : {"../share/knobwise", "../../share/knobwise"}) {
            fs::path candidate = (exe.parent_path() / up).lexically_normal();
            if (fs::is_regular_file(candidate / "default.reg", ec)) return candidate;
        }
    }
    return KNOBWISE_DATA_DIR_INSTALLED;
}

}  // namespace machine
