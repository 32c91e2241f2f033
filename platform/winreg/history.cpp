#include "winreg/history.h"

#include <algorithm>
#include <map>
#include <set>

#include "text/casefold.h"

namespace history {
namespace {

using regstore::KeyId;
using regstore::KeyPath;
using regstore::Store;
using regstore::Value;

std::string& currentOrigin() {
    static std::string origin;
    return origin;
}

// ---- Encoding: lengths and numbers as four bytes, least significant first.

void putNumber(std::string& out, std::size_t n) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((n >> (8 * i)) & 0xFF));
}

void putText(std::string& out, std::string_view text) {
    putNumber(out, text.size());
    out += text;
}

void putContent(std::string& out, const Content& c) {
    putNumber(out, c.values.size());
    for (const Value& v : c.values) {
        putText(out, v.name);
        putNumber(out, v.type);
        putText(out, v.data);
    }
    putNumber(out, c.subkeys.size());
    for (const auto& [name, content] : c.subkeys) {
        putText(out, name);
        putContent(out, content);
    }
}

class Reader {
  public:
    explicit Reader(std::string_view bytes) : rest_(bytes) {}
    bool number(std::uint32_t& n) {
        if (rest_.size() < 4) return false;
        n = 0;
        for (int i = 0; i < 4; ++i)
            n |= static_cast<std::uint32_t>(static_cast<unsigned char>(rest_[i])) << (8 * i);
        rest_.remove_prefix(4);
        return true;
    }
    bool text(std::string& out) {
        std::uint32_t n = 0;
        if (!number(n) || rest_.size() < n) return false;
        out.assign(rest_.substr(0, n));
        rest_.remove_prefix(n);
        return true;
    }
    // Counts are checked against what is left, so that a damaged count
    // cannot ask for more than the bytes hold.
    bool count(std::uint32_t& n) { return number(n) && n <= rest_.size(); }
    bool content(Content& c, int depth) {
        std::uint32_t n = 0;
        if (depth > 512 || !count(n)) return false;
        for (std::uint32_t i = 0; i < n; ++i) {
            Value v;
            std::uint32_t type = 0;
            if (!text(v.name) || !number(type) || !text(v.data)) return false;
            v.type = type;
            c.values.push_back(std::move(v));
        }
        if (!count(n)) return false;
        for (std::uint32_t i = 0; i < n; ++i) {
            std::string name;
            Content sub;
            if (!text(name) || !content(sub, depth + 1)) return false;
            c.subkeys.push_back({std::move(name), std::move(sub)});
        }
        return true;
    }
    bool empty() const { return rest_.empty(); }

  private:
    std::string_view rest_;
};

Content contentAt(Store& store, KeyId key) {
    Content c;
    c.values = store.values(key);
    for (const regstore::Subkey& sub : store.subkeys(key))
        c.subkeys.push_back({sub.name, contentAt(store, sub.id)});
    return c;
}

void putBack(Store& store, KeyId key, const Content& c) {
    for (const Value& v : c.values) store.setValue(key, v.name, v.type, v.data);
    for (const auto& [name, sub] : c.subkeys) putBack(store, store.createKey(key, name), sub);
}

std::string folded(const KeyPath& key) {
    return std::string(regstore::rootKey(key.root).shortName) + "\\" + casefold::fold(key.path);
}

std::string fullName(const KeyPath& key) {
    std::string name = regstore::rootKey(key.root).longName;
    if (!key.path.empty()) name += "\\" + key.path;
    return name;
}

std::string valueName(const KeyPath& key, const std::string& name) {
    return fullName(key) + " (" + (name.empty() ? std::string("default value") : name) + ")";
}

bool sameValue(const std::optional<Value>& a, const std::optional<Value>& b) {
    if (!a || !b) return !a && !b;
    return a->type == b->type && a->data == b->data;
}

}  // namespace

Origin::Origin(std::string what) : before_(std::exchange(currentOrigin(), std::move(what))) {}

Origin::~Origin() {
    currentOrigin() = std::move(before_);
}

std::string Origin::current() {
    return currentOrigin().empty() ? "Knobwise" : currentOrigin();
}

std::string encode(const Content& content) {
    std::string out;
    putContent(out, content);
    return out;
}

std::optional<Content> decodeContent(std::string_view bytes) {
    Reader r(bytes);
    Content c;
    if (!r.content(c, 0) || !r.empty()) return std::nullopt;
    return c;
}

std::string encode(const Value& value) {
    std::string out;
    putNumber(out, value.type);
    return out + value.data;
}

std::optional<Value> decodeValue(std::string_view bytes) {
    Reader r(bytes);
    std::uint32_t type = 0;
    if (!r.number(type)) return std::nullopt;
    return Value{{}, type, std::string(bytes.substr(4))};
}

std::optional<Content> contentOf(Store& store, const KeyPath& key) {
    const std::optional<KeyId> id = store.findKey(key.root, key.path);
    if (!id) return std::nullopt;
    return contentAt(store, *id);
}

bool holds(Store& store, const Step& step) {
    const std::optional<KeyId> id = store.findKey(step.key.root, step.key.path);
    if (step.isKey) return id.has_value() == step.keyAfter;
    return sameValue(id ? store.value(*id, step.name) : std::nullopt, step.after);
}

std::optional<std::string> changedSince(Store& store, const Entry& entry) {
    // What the change left, its steps taken in order.
    struct Expected {
        KeyPath key;
        std::optional<bool> exists;
        bool made = false;  // by this change: what it holds now must be its
        std::map<std::string, std::pair<std::string, std::optional<Value>>> values;
    };
    std::map<std::string, Expected> keys;
    auto at = [&](const KeyPath& key) -> Expected& {
        Expected& e = keys[folded(key)];
        e.key = key;
        return e;
    };
    for (const Step& step : entry.steps) {
        Expected& e = at(step.key);
        if (!step.isKey) {
            e.values[casefold::fold(step.name)] = {step.name, step.after};
            if (step.after) e.exists = true;
            continue;
        }
        if (step.keyAfter) {
            e.exists = true;
            e.made = !step.keyBefore;
            continue;
        }
        const std::string base = folded(step.key);
        for (auto& [path, other] : keys) {
            if (path != base && !path.starts_with(base + "\\")) continue;
            other.exists = false;
            other.made = false;
            other.values.clear();
        }
    }

    for (const auto& [path, e] : keys) {
        const std::optional<KeyId> id = store.findKey(e.key.root, e.key.path);
        if (e.exists && *e.exists != id.has_value()) return fullName(e.key);
        for (const auto& [fold, want] : e.values) {
            const std::optional<Value> now = id ? store.value(*id, want.first) : std::nullopt;
            if (!sameValue(now, want.second)) return valueName(e.key, want.first);
        }
        if (!e.made || !id) continue;
        // A key the change made holds nothing it did not put there.
        for (const Value& v : store.values(*id)) {
            if (!e.values.count(casefold::fold(v.name))) return valueName(e.key, v.name);
        }
        for (const regstore::Subkey& sub : store.subkeys(*id)) {
            const KeyPath below{e.key.root, e.key.path + "\\" + sub.name};
            const auto made = keys.find(folded(below));
            if (made == keys.end() || !made->second.made) return fullName(below);
        }
    }
    return std::nullopt;
}

Entry undo(Store& store, std::size_t number, bool force) {
    const std::vector<Entry> entries = store.history();
    if (number == 0 || number > entries.size())
        throw regstore::Refused(ERROR_FILE_NOT_FOUND,
                                "There is no change " + std::to_string(number) + " to take back (" +
                                    std::to_string(entries.size()) + " kept)");
    const Entry& entry = entries[number - 1];

    // What is there now, where the registry is kept elsewhere (a running
    // Wine): the keys of its values, and everything below the keys it made
    // or deleted.
    std::vector<KeyPath> valueKeys, treeKeys;
    for (const Step& step : entry.steps) (step.isKey ? treeKeys : valueKeys).push_back(step.key);
    for (const auto& [keys, below] : {std::pair{&valueKeys, false}, std::pair{&treeKeys, true}}) {
        if (keys->empty()) continue;
        if (const std::string note = store.bringUpToDate(*keys, below); !note.empty())
            throw regstore::Refused(ERROR_ACCESS_DENIED,
                                    note + " So change " + std::to_string(number) +
                                        " cannot be checked, and is not taken back.");
    }
    if (!force) {
        if (const std::optional<std::string> changed = changedSince(store, entry))
            throw regstore::Refused(ERROR_ACCESS_DENIED,
                                    *changed + " has been changed since change " +
                                        std::to_string(number) +
                                        " was made; /f takes the change back all the same");
    }

    store.begin();
    try {
        for (auto step = entry.steps.rbegin(); step != entry.steps.rend(); ++step) {
            const std::optional<KeyId> id = store.findKey(step->key.root, step->key.path);
            if (step->isKey) {
                if (id) store.deleteKey(*id);
                if (step->keyBefore)
                    putBack(store, store.createKey(step->key.root, step->key.path),
                            *step->keyBefore);
                continue;
            }
            if (step->before) {
                const KeyId key = id ? *id : store.createKey(step->key.root, step->key.path);
                store.setValue(key, step->before->name, step->before->type, step->before->data);
            } else if (id) {
                store.deleteValue(*id, step->name);
            }
        }
        store.commit();
    } catch (...) {
        store.rollback();
        throw;
    }
    return entry;
}

std::vector<std::string> touched(const Entry& entry) {
    std::vector<std::string> out;
    std::set<std::string> seen;
    for (const Step& step : entry.steps) {
        std::string name = step.isKey ? fullName(step.key) : valueName(step.key, step.name);
        if (seen.insert(casefold::fold(name)).second) out.push_back(std::move(name));
    }
    return out;
}

}  // namespace history
