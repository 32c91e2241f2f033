#include "wineprefix/key_tree.h"

#include <algorithm>

#include "text/ascii.h"
#include "text/casefold.h"

namespace regstore {
namespace {

// A child's hash: its parent and its name as folded. Names in plain ASCII,
// nearly all of them, are folded on the fly.
std::uint64_t childHash(KeyId parent, std::string_view name) {
    std::uint64_t h =
        14695981039346656037ull ^ (static_cast<std::uint64_t>(parent) * 0x9E3779B97F4A7C15ull);
    auto mix = [&](char c) { h = (h ^ static_cast<unsigned char>(c)) * 1099511628211ull; };
    if (ascii::isAscii(name)) {
        for (char c : name) mix(ascii::lower(c));
    } else {
        for (char c : casefold::fold(name)) mix(c);
    }
    return h;
}

bool sameName(std::string_view a, std::string_view b) {
    if (ascii::isAscii(a) && ascii::isAscii(b)) return ascii::equalNoCase(a, b);
    return casefold::fold(a) == casefold::fold(b);
}

}  // namespace

KeyTree::KeyTree() : nodes_(1) {}

KeyId KeyTree::addRoot(std::string_view name) {
    auto id = static_cast<KeyId>(nodes_.size());
    Node n;
    n.nameAt = static_cast<std::uint32_t>(names_.size());
    n.nameLength = static_cast<std::uint32_t>(name.size());
    n.present = true;
    names_.append(name);
    nodes_.push_back(n);
    return id;
}

KeyId KeyTree::lookup(KeyId parent, std::string_view name, std::uint64_t hash) const {
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t at = hash & mask; slots_[at] != 0; at = (at + 1) & mask) {
        const Node& n = nodes_[static_cast<std::size_t>(slots_[at])];
        if (n.hash == hash && n.parent == parent && sameName(this->name(slots_[at]), name))
            return slots_[at];
    }
    return 0;
}

std::optional<KeyId> KeyTree::find(KeyId parent, std::string_view name) const {
    const KeyId id = lookup(parent, name, childHash(parent, name));
    if (id == 0 || !nodes_[static_cast<std::size_t>(id)].present) return std::nullopt;
    return id;
}

KeyId KeyTree::make(KeyId parent, std::string_view name) {
    const std::uint64_t h = childHash(parent, name);
    if (KeyId id = lookup(parent, name, h)) {
        nodes_[static_cast<std::size_t>(id)].present = true;
        return id;
    }
    auto id = static_cast<KeyId>(nodes_.size());
    Node n;
    n.parent = parent;
    n.nameAt = static_cast<std::uint32_t>(names_.size());
    n.nameLength = static_cast<std::uint32_t>(name.size());
    names_.append(name);
    n.hash = h;
    n.present = true;
    n.nextSibling = nodes_[static_cast<std::size_t>(parent)].firstChild;
    nodes_.push_back(n);
    nodes_[static_cast<std::size_t>(parent)].firstChild = id;
    if (nodes_.size() * 2 > slots_.size()) {
        rehash(slots_.size() * 2);
    } else {
        index(id);
    }
    return id;
}

void KeyTree::remove(KeyId id) {
    // A key that is not present has none present below it: a key is only
    // ever made or brought back under a present one.
    std::vector<KeyId> doomed{id};
    while (!doomed.empty()) {
        Node& d = nodes_[static_cast<std::size_t>(doomed.back())];
        doomed.pop_back();
        if (!d.present) continue;
        d.present = false;
        for (KeyId c = d.firstChild; c != 0; c = nodes_[static_cast<std::size_t>(c)].nextSibling)
            doomed.push_back(c);
    }
}

void KeyTree::reserve(std::size_t keys, std::size_t nameBytes) {
    const std::size_t expected = nodes_.size() + keys;
    if (expected > slots_.size() / 2) {
        std::size_t want = slots_.size();
        while (want < expected * 2) want *= 2;
        rehash(want);
    }
    nodes_.reserve(expected);
    names_.reserve(names_.size() + nameBytes);
}

void KeyTree::index(KeyId id) {
    const std::size_t mask = slots_.size() - 1;
    std::size_t at = nodes_[static_cast<std::size_t>(id)].hash & mask;
    while (slots_[at] != 0) at = (at + 1) & mask;
    slots_[at] = id;
}

// A table of `size` slots (a power of two) holding every key but the roots.
void KeyTree::rehash(std::size_t size) {
    slots_.assign(size, 0);
    for (std::size_t i = 1; i < nodes_.size(); ++i) {
        if (nodes_[i].parent != 0) index(static_cast<KeyId>(i));
    }
}

std::vector<KeyId> KeyTree::children(KeyId id) const {
    std::vector<KeyId> out;
    for (KeyId c = nodes_[static_cast<std::size_t>(id)].firstChild; c != 0;
         c = nodes_[static_cast<std::size_t>(c)].nextSibling) {
        if (nodes_[static_cast<std::size_t>(c)].present) out.push_back(c);
    }
    return out;
}

std::string KeyTree::joined(KeyId id, bool withRoot) const {
    std::vector<std::string_view> names;
    for (; id != 0 && (withRoot || parent(id) != 0); id = parent(id)) names.push_back(name(id));
    std::string out;
    for (auto it = names.rbegin(); it != names.rend(); ++it) {
        if (it != names.rbegin()) out += '\\';
        out += *it;
    }
    return out;
}

std::vector<std::string> KeyTree::foldedPath(KeyId id) const {
    std::vector<std::string> parts;
    for (; parent(id) != 0; id = parent(id)) parts.push_back(casefold::fold(name(id)));
    std::reverse(parts.begin(), parts.end());
    return parts;
}

}  // namespace regstore
