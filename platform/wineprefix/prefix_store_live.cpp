// The prefix store through a running Wine: keys read from it into memory,
// and changes gathered and imported as one registry file in one Wine
// process, then read back through that Wine before they count as made.
#include <algorithm>
#include <map>
#include <set>
#include <utility>

#include "text/casefold.h"
#include "text/hexdigits.h"
#include "text/utf16.h"
#include "wineprefix/prefix_store_impl.h"

namespace regstore {
namespace {

// A value's name as a registry file spells it: @ for the default value.
std::string quotedName(std::string_view name) {
    if (name.empty()) return "@";
    std::string out = "\"";
    for (char c : name) {
        if (c == '\\' || c == '"') out.push_back('\\');
        out.push_back(c);
    }
    return out + "\"";
}

std::string fullName(const KeyPath& key) {
    return std::string(rootKey(key.root).longName) + "\\" + key.path;
}

std::string section(const std::string& key, const std::string& line) {
    return "[" + key + "]\r\n" + line + (line.empty() ? "" : "\r\n") + "\r\n";
}

// Every type as hex(type): the bytes exactly as the store holds them, text
// in UTF-16LE with its NUL, as Wine keeps it.
std::string valueLine(const std::string& name, DWORD type, std::string_view data) {
    std::string line = quotedName(name) + "=hex(" + hexdigits::of(type, 1) + "):";
    for (std::size_t i = 0; i < data.size(); ++i) {
        if (i) line.push_back(',');
        line += hexdigits::of(static_cast<unsigned char>(data[i]), 2);
    }
    return line;
}

// A key's path folded, for matching.
std::string folded(Root root, std::string_view path) {
    return std::string(rootKey(root).shortName) + "\\" + casefold::fold(path);
}

// Whether `path` (folded) is `base` or, with `below`, a key under it.
bool within(std::string_view path, std::string_view base, bool below) {
    if (path == base) return true;
    return below && path.size() > base.size() && path.starts_with(base) &&
           path[base.size()] == '\\';
}

// What a registry file read from Wine holds: each key's values, by the
// key's and the value's folded names.
struct Held {
    std::map<std::string, std::map<std::string, std::pair<DWORD, std::string>>> keys;
};

Held heldIn(const dotreg::Parsed& parsed) {
    Held held;
    std::map<std::string, std::pair<DWORD, std::string>>* current = nullptr;
    for (const dotreg::Change& c : parsed.changes) {
        if (c.kind == dotreg::Change::CreateKey) {
            current = &held.keys[folded(c.root, c.keyPath)];
        } else if (c.kind == dotreg::Change::SetValue && current) {
            (*current)[casefold::fold(c.name)] = {c.type, c.data};
        }
    }
    return held;
}

}  // namespace

KeyPath PrefixStore::Impl::pathOf(KeyId key) const {
    KeyId root = key;
    while (keys.tree.parent(root) != 0) root = keys.tree.parent(root);
    return {root == kCurrentUserKey ? Root::CurrentUser : Root::LocalMachine, keys.tree.path(key)};
}

void PrefixStore::Impl::recordValue(KeyId key, std::string_view name, DWORD type,
                                    std::string_view data) {
    if (liveMode)
        pending.push_back(
            {LiveChange::SetValue, pathOf(key), std::string(name), type, std::string(data)});
}

void PrefixStore::Impl::recordDeletedValue(KeyId key, std::string_view name) {
    if (liveMode)
        pending.push_back({LiveChange::DeleteValue, pathOf(key), std::string(name), REG_NONE, {}});
}

void PrefixStore::Impl::recordKey(KeyId key, bool deleted) {
    if (liveMode)
        pending.push_back({deleted ? LiveChange::DeleteKey : LiveChange::CreateKey,
                           pathOf(key),
                           {},
                           REG_NONE,
                           {}});
}

void PrefixStore::Impl::importPending() {
    if (pending.empty()) return;
    const std::vector<LiveChange> changes = std::exchange(pending, {});
    std::string text = "Windows Registry Editor Version 5.00\r\n\r\n";
    for (const LiveChange& c : changes) {
        switch (c.kind) {
            case LiveChange::SetValue:
                text += section(fullName(c.key), valueLine(c.name, c.type, c.data));
                break;
            case LiveChange::DeleteValue:
                text += section(fullName(c.key), quotedName(c.name) + "=-");
                break;
            case LiveChange::CreateKey:
                text += section(fullName(c.key), "");
                break;
            case LiveChange::DeleteKey:
                text += section("-" + fullName(c.key), "");
                break;
        }
    }
    std::string file("\xff\xfe", 2);
    if (!utf16::fromUtf8(text, file))
        throw Refused(ERROR_INVALID_PARAMETER, "A name to be written is not valid text.");
    live->import(file);

    // What the keys must hold now, the changes taken in order: a key made
    // or deleted, each value written or deleted.
    struct Expected {
        std::optional<bool> exists;
        std::map<std::string, std::optional<std::pair<DWORD, std::string>>> values;
        std::map<std::string, std::string> names;  // folded -> as written, for messages
        KeyPath key;
    };
    std::map<std::string, Expected> expected;
    std::vector<KeyPath> asked;
    auto at = [&](const KeyPath& key) -> Expected& {
        const std::string f = folded(key.root, key.path);
        auto [it, added] = expected.try_emplace(f);
        if (added) {
            it->second.key = key;
            asked.push_back(key);
        }
        return it->second;
    };
    for (const LiveChange& c : changes) {
        Expected& e = at(c.key);
        switch (c.kind) {
            case LiveChange::SetValue:
            case LiveChange::DeleteValue: {
                const std::string name = casefold::fold(c.name);
                e.exists = true;
                e.names[name] = c.name;
                if (c.kind == LiveChange::SetValue) {
                    e.values[name] = std::make_pair(c.type, c.data);
                } else {
                    e.values[name] = std::nullopt;
                }
                break;
            }
            case LiveChange::CreateKey:
                e.exists = true;
                break;
            case LiveChange::DeleteKey: {
                // Gone with everything below it, whatever was said of those.
                const std::string base = folded(c.key.root, c.key.path);
                for (auto& [path, other] : expected) {
                    if (!within(path, base, true)) continue;
                    other.exists = false;
                    other.values.clear();
                }
                break;
            }
        }
    }

    const std::string prefixName = prefix.string();
    auto notTaken = [&](const std::string& what) {
        return Refused(ERROR_ACCESS_DENIED, "Wine in " + prefixName + " did not take the change: " +
                                                what + " does not hold what was written.");
    };
    Held held;
    try {
        held = heldIn(
            dotreg::read(live->read(asked, false), TextData::Utf16, dotreg::Reading::Strict));
    } catch (const dotreg::ImportError& e) {
        throw Refused(ERROR_ACCESS_DENIED, "Wine in " + prefixName +
                                               " gave back what cannot be read (line " +
                                               std::to_string(e.line()) + ": " + e.reason() +
                                               "), so the change cannot be known to be made.");
    }
    for (const auto& [path, e] : expected) {
        const auto key = held.keys.find(path);
        const bool present = key != held.keys.end();
        if (e.exists && *e.exists != present) throw notTaken(fullName(e.key));
        for (const auto& [name, want] : e.values) {
            const auto value = present ? key->second.find(name) : decltype(key->second.end()){};
            const bool has = present && value != key->second.end();
            const bool same = want ? has && value->second == *want : !has;
            if (!same) {
                const std::string& shown = e.names.at(name);
                throw notTaken(fullName(e.key) + " (" +
                               (shown.empty() ? std::string("default value") : shown) + ")");
            }
        }
    }
}

std::string PrefixStore::Impl::freshName(const KeyPath& key) {
    return folded(key.root, key.path);
}

std::string PrefixStore::bringUpToDate(const std::vector<KeyPath>& keys, bool below) {
    const std::string why = loaded().readThrough(keys, below);
    if (why.empty()) return {};
    return why +
           " What is shown is what the registry files hold, which Wine's server saves only about "
           "every 30 seconds.";
}

std::string PrefixStore::Impl::readThrough(const std::vector<KeyPath>& keys, bool below) {
    if (!live || keys.empty()) return {};
    const LiveWine::Server s = live->server();
    if (s.state == LiveWine::State::None) return {};
    if (s.state == LiveWine::State::Unusable) return s.reason + ".";
    // HKEY_CLASSES_ROOT is read where it lies, below HKEY_LOCAL_MACHINE.
    std::vector<KeyPath> wants;
    for (KeyPath want : keys) {
        if (want.root == Root::ClassesRoot) {
            want.root = Root::LocalMachine;
            want.path = std::string(kClassesPath) + (want.path.empty() ? "" : "\\") + want.path;
        }
        wants.push_back(std::move(want));
    }
    dotreg::Parsed parsed;
    try {
        parsed = dotreg::read(live->read(wants, below), TextData::Utf16, dotreg::Reading::Strict);
    } catch (const Error& e) {
        return e.what();
    } catch (const dotreg::ImportError& e) {
        return "Wine gave values that cannot be read (line " + std::to_string(e.line()) + ": " +
               e.reason() + ").";
    }
    for (const KeyPath& want : wants) {
        overlay(want, parsed, below);
        if (inTransaction) fresh.insert(freshName(want));
    }
    return {};
}

void PrefixStore::Impl::refresh() {
    for (int f : {kLocalMachineFile, kCurrentUserFile}) {
        try {
            reload(f);
        } catch (...) {
            // Kept as it was; the next change reads it again under its lock.
            file(f).overlaid = true;
        }
    }
    liveServer.clear();
    if (!live) return;
    const LiveWine::Server s = live->server();
    if (s.state == LiveWine::State::Usable) readLive(s.id);
}

void PrefixStore::Impl::readLive(const std::string& id) {
    liveServer = id;
    if (liveKeys.empty()) return;
    dotreg::Parsed parsed;
    try {
        parsed =
            dotreg::read(live->read(liveKeys, false), TextData::Utf16, dotreg::Reading::Strict);
        liveNote.clear();
    } catch (const Error& e) {
        liveNote = std::string(e.what()) +
                   " The settings shown are those of the registry files, which Wine's server "
                   "saves only about every 30 seconds.";
        return;
    } catch (const dotreg::ImportError& e) {
        liveNote = "Wine gave values that cannot be read (line " + std::to_string(e.line()) + ": " +
                   e.reason() + ").";
        return;
    }
    for (const KeyPath& want : liveKeys) {
        overlay(want, parsed, false);
        if (inTransaction) fresh.insert(freshName(want));
    }
}

void PrefixStore::Impl::overlay(const KeyPath& want, const dotreg::Parsed& parsed, bool below) {
    const KeyId top = want.root == Root::CurrentUser ? kCurrentUserKey : kLocalMachineKey;
    File& holder = file(keys.at(top).file);
    if (!holder.damage.empty()) return;
    const std::string base = casefold::fold(want.path);
    auto inside = [&](const std::string& path) {
        return base.empty() ? below || path.empty() : within(path, base, below);
    };

    // What Wine has, put in memory in place of what the files said.
    std::set<std::string> seen;
    for (auto c = parsed.changes.begin(); c != parsed.changes.end(); ++c) {
        if (c->kind != dotreg::Change::CreateKey || c->root != want.root) continue;
        const std::string path = casefold::fold(c->keyPath);
        if (!inside(path) || !seen.insert(path).second) continue;
        KeyId id = top;
        for (std::string_view part : splitKeyPath(c->keyPath)) id = keys.make(id, part);
        std::vector<Val>& values = textOf(id).values(id);
        values.clear();
        for (auto v = std::next(c);
             v != parsed.changes.end() && v->kind == dotreg::Change::SetValue; ++v) {
            Val val;
            val.name = v->name;
            val.fold = casefold::fold(v->name);
            val.type = v->type;
            val.data = v->data;
            values.push_back(std::move(val));
        }
        holder.overlaid = true;
    }

    // What Wine lacks is gone from memory too.
    std::optional<KeyId> start = top;
    for (std::string_view part : splitKeyPath(want.path)) {
        if (start) start = keys.tree.find(*start, part);
    }
    if (!start) return;
    std::vector<std::pair<KeyId, std::string>> walk{{*start, base}};
    while (!walk.empty()) {
        auto [id, path] = std::move(walk.back());
        walk.pop_back();
        if (id != top && !seen.count(path)) {
            keys.tree.remove(id);
            holder.overlaid = true;
            continue;
        }
        if (!below) continue;
        for (KeyId child : keys.tree.children(id)) {
            const std::string name = casefold::fold(keys.tree.name(child));
            walk.emplace_back(child, path.empty() ? name : path + "\\" + name);
        }
    }
}

}  // namespace regstore
