#include "machine/machine.h"

#include <algorithm>
#include <cstdlib>

#include "files/user_dirs.h"
#include "hive/sqlite_hive.h"
#include "machine/running_wine.h"
#include "wineprefix/prefix_store.h"

namespace machine {

namespace {

namespace fs = std::filesystem;

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
    auto store = regstore::PrefixStore::open(prefix, live, keys, historyFile());
    store->keepHistory();
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
    return user_dirs::dataHome() / "knobwise";
}

fs::path hivePath() {
    return directory() / "registry.db";
}

fs::path historyFile() {
    return user_dirs::stateHome() / "knobwise" / "history.db";
}

fs::path driveC() {
    return directory() / "drive_c";
}

Machine Machine::winePrefix(fs::path prefix, std::string name,
                            std::vector<regstore::KeyPath> liveKeys) {
    Machine m;
    m.name_ = wineprefix::nameOf(prefix, std::move(name));
    m.prefix_ = std::move(prefix);
    m.liveKeys_ = std::move(liveKeys);
    return m;
}

regstore::Opened Machine::openRegistry() const {
    if (isWinePrefix()) return openPrefix(prefix_, liveKeys_);
    // The embedded machine keeps its history in its hive.
    regstore::Opened o = regstore::openHive(hivePath());
    if (o.store) o.store->keepHistory();
    return o;
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

Choice choose(const std::optional<wineprefix::Identity>& winePrefix,
              std::vector<regstore::KeyPath> liveKeys) {
    Choice c;
    if (winePrefix) {
        select(Machine::winePrefix(winePrefix->folder, winePrefix->name, std::move(liveKeys)));
    } else {
        c.error = ensure().error;
        select(Machine::embedded());
    }
    regstore::open();
    return c;
}

Choice choose(const fs::path& winePrefix, std::vector<regstore::KeyPath> liveKeys) {
    std::string why;
    const std::optional<wineprefix::Identity> prefix = wineprefix::identify(winePrefix, {}, why);
    if (!prefix) return {false, why};
    return choose(prefix, std::move(liveKeys));
}

const Machine& current() {
    return selected();
}

void select(const Machine& m) {
    selected() = m;
    regstore::select([m] { return m.openRegistry(); });
}

}  // namespace machine
