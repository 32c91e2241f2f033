// The prefix store through a running Wine: the live keys' values read from
// it into memory, and changes gathered as lines of a registry file that
// Wine's reg imports in one process.
#include <algorithm>

#include "dotreg/dotreg.h"
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

std::string section(const std::string& key, const std::string& line) {
    return "[" + key + "]\r\n" + line + (line.empty() ? "" : "\r\n") + "\r\n";
}

}  // namespace

void PrefixStore::Impl::recordValue(KeyId key, std::string_view name, DWORD type,
                                    std::string_view data) {
    if (!liveMode) return;
    // Every type as hex(type): the bytes exactly as the store holds them,
    // text in UTF-16LE with its NUL, as Wine keeps it.
    std::string line = quotedName(name) + "=hex(" + hexdigits::of(type, 1) + "):";
    for (std::size_t i = 0; i < data.size(); ++i) {
        if (i) line.push_back(',');
        line += hexdigits::of(static_cast<unsigned char>(data[i]), 2);
    }
    pending += section(keys.tree.fullName(key), line);
}

void PrefixStore::Impl::recordDeletedValue(KeyId key, std::string_view name) {
    if (liveMode) pending += section(keys.tree.fullName(key), quotedName(name) + "=-");
}

void PrefixStore::Impl::recordKey(KeyId key, bool deleted) {
    if (liveMode) pending += section((deleted ? "-" : "") + keys.tree.fullName(key), "");
}

void PrefixStore::Impl::importPending() {
    if (pending.empty()) return;
    std::string file("\xff\xfe", 2);
    if (!utf16::fromUtf8("Windows Registry Editor Version 5.00\r\n\r\n" + pending, file))
        throw Refused(ERROR_INVALID_PARAMETER, "A name to be written is not valid text.");
    pending.clear();
    live->import(file);
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
        parsed = dotreg::read(live->read(liveKeys), TextData::Utf16, dotreg::Reading::Strict);
        liveNote.clear();
    } catch (const Error& e) {
        liveNote = e.what();
        return;
    } catch (const dotreg::ImportError& e) {
        liveNote = "Wine gave values that cannot be read (line " + std::to_string(e.line()) + ": " +
                   e.reason() + ").";
        return;
    }
    for (const KeyPath& want : liveKeys) {
        const KeyId top = want.root == Root::CurrentUser ? kCurrentUserKey : kLocalMachineKey;
        if (!file(keys.at(top).file).damage.empty()) continue;
        const std::vector<std::string_view> parts = splitKeyPath(want.path);
        const std::string fold = casefold::fold(want.path);
        auto at = std::find_if(parsed.changes.begin(), parsed.changes.end(), [&](const auto& c) {
            return c.kind == dotreg::Change::CreateKey && c.root == want.root &&
                   casefold::fold(c.keyPath) == fold;
        });
        // A key the running Wine lacks is gone from memory too.
        if (at == parsed.changes.end()) {
            std::optional<KeyId> id = top;
            for (std::string_view part : parts) {
                if (id) id = keys.tree.find(*id, part);
            }
            if (id && *id != top) {
                keys.tree.remove(*id);
                file(keys.at(top).file).overlaid = true;
            }
            continue;
        }
        KeyId id = top;
        for (std::string_view part : parts) id = keys.make(id, part);
        std::vector<Val>& values = textOf(id).values(id);
        values.clear();
        for (++at; at != parsed.changes.end() && at->kind == dotreg::Change::SetValue; ++at) {
            Val v;
            v.name = at->name;
            v.fold = casefold::fold(at->name);
            v.type = at->type;
            v.data = at->data;
            values.push_back(std::move(v));
        }
        file(keys.at(id).file).overlaid = true;
    }
}

}  // namespace regstore
