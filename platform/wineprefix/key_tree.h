// The keys of a Wine prefix's registry in memory: trees of names under
// roots, each key found by its parent and its name matched without regard to
// case (as casefold.h folds them), through one hash table over all keys.
// Nothing here knows of files; the prefix store keeps what each key has in
// its file beside it, by the same numbers.
//
// Keys are numbered from 1 in the order they are first made; 0 is no key,
// the parent of the roots. A key deleted keeps its number, its name and its
// place among its parent's children, so that one made again under the same
// name (in any case) gets its number back: numbers handed out stay valid
// across deletions and reloads.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "winreg/store.h"

namespace regstore {

class KeyTree {
  public:
    KeyTree();

    // A new root named `name`, present for good. Roots are known by their
    // numbers; they are no one's children.
    KeyId addRoot(std::string_view name);

    // One more than the highest key number made so far.
    std::size_t size() const { return nodes_.size(); }
    // Whether `id` is a key made so far and not deleted.
    bool present(KeyId id) const {
        return id > 0 && static_cast<std::size_t>(id) < nodes_.size() &&
               nodes_[static_cast<std::size_t>(id)].present;
    }

    // The present child of `parent` named `name`.
    std::optional<KeyId> find(KeyId parent, std::string_view name) const;
    // The child of `parent` (a key made so far) named `name`, present after
    // the call: the one there, a deleted one brought back (the keys below it
    // stay deleted) or a new one.
    KeyId make(KeyId parent, std::string_view name);
    // Deletes `id` and every key below it.
    void remove(KeyId id);

    // Makes room for `keys` more keys and `nameBytes` more bytes of names, so
    // that a bulk load grows the hash table once rather than step by step.
    void reserve(std::size_t keys, std::size_t nameBytes);

    // These take any key made so far, present or not.
    KeyId parent(KeyId id) const { return nodes_[static_cast<std::size_t>(id)].parent; }
    // UTF-8, spelled as when the key was first made.
    std::string_view name(KeyId id) const {
        const Node& n = nodes_[static_cast<std::size_t>(id)];
        return std::string_view(names_).substr(n.nameAt, n.nameLength);
    }
    // The present children, the newest first.
    std::vector<KeyId> children(KeyId id) const;
    // The names from below the root down to the key, separated by
    // backslashes; empty for a root.
    std::string path(KeyId id) const { return joined(id, false); }
    // The same from the root's own name on: HKEY_CURRENT_USER\Software.
    std::string fullName(KeyId id) const { return joined(id, true); }
    // The same names folded, one an element.
    std::vector<std::string> foldedPath(KeyId id) const;

  private:
    struct Node {
        KeyId parent = 0;
        std::uint32_t nameAt = 0;  // its name, in names_
        std::uint32_t nameLength = 0;
        std::uint64_t hash = 0;  // of its parent and folded name
        KeyId firstChild = 0;    // children, present or not, linked
        KeyId nextSibling = 0;
        bool present = false;
    };

    std::string joined(KeyId id, bool withRoot) const;
    // The key, present or not, of that parent, name and hash; 0 when none.
    KeyId lookup(KeyId parent, std::string_view name, std::uint64_t hash) const;
    void index(KeyId id);
    void rehash(std::size_t size);

    std::vector<Node> nodes_;
    std::string names_;  // the pool the keys' names are kept in
    // Children by hash: open addressing over key numbers, half full at most.
    std::vector<KeyId> slots_ = std::vector<KeyId>(1024, 0);
};

}  // namespace regstore
