// A Wine registry file's text as the prefix store keeps it (wine_format.h has
// the format): read into the key tree, each key's values decoded when first
// asked for, and written anew with the sections of changed keys made afresh
// and every other section copied byte for byte. Where each section and each
// value's line lies is kept up to date here, so that a file written need not
// be read or parsed again, and messages about its lines keep naming the
// right line numbers.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "wineprefix/key_tree.h"
#include "wineprefix/wine_format.h"
#include "winreg/store.h"

namespace regstore {

// A value of a key, with where its line is when it is one the file holds.
struct Val {
    std::string name;  // UTF-8, as created
    std::string fold;
    DWORD type = REG_NONE;
    std::string data;
    int section = -1;         // the section its line is in; -1 for a new value
    std::size_t origin = 0;   // its line's offset in that section
    std::size_t nameLen = 0;  // the length of its name as spelled there
    std::size_t length = 0;   // the length of its line(s)
    bool intact = false;      // its line still says what it holds
};

// What a key has in its file.
struct KeyLines {
    int file = 0;                 // which of the store's files holds it
    int section = -1;             // its section in the file; -1 when it has none
    std::vector<int> duplicates;  // further sections for the same key
    bool loaded = false;          // values read from the file
    bool dirty = false;           // its section must be written anew
    bool pending = false;         // has an entry without a section in the file's order
    std::vector<Val> values;
};

// The keys of a prefix's files: the tree, and by the same numbers what each
// key has in its file. Keys are made here, so that each one has its lines.
struct Keys {
    KeyTree tree;
    std::vector<KeyLines> lines = std::vector<KeyLines>(1);

    KeyId addRoot(std::string_view name, int file);
    // KeyTree::make; a new key is in its parent's file.
    KeyId make(KeyId parent, std::string_view name);
    KeyLines& at(KeyId id) { return lines[static_cast<std::size_t>(id)]; }
};

// A section of the file's output, in order: one the file holds, or one to
// be written for a key that has none yet (section -1).
struct Entry {
    KeyId node;
    int section;
};

// A file's new text, with the layout it has: the sections of keys not
// changed copied and moved, those of changed keys written anew.
struct Rewrite {
    std::string text;
    std::vector<wine_format::Section> sections;
    std::vector<Entry> order;
    std::vector<int> moved;  // old section -> new section, -1 when gone
};

// One file's text, for the keys below one root.
class FileText {
  public:
    // `unreadable` hears of a key's section that turns out not to be
    // readable when its values are decoded; the key then has no values.
    FileText(Keys& keys, KeyId root,
             std::function<void(const wine_format::ParseError&)> unreadable);
    FileText(const FileText&) = delete;
    FileText& operator=(const FileText&) = delete;

    KeyId root() const { return root_; }

    // Takes `text` as what the file holds: the keys it names present below
    // the root (those known before keep their numbers), every other key
    // there deleted, no values decoded, nothing to be written. Throws
    // wine_format::ParseError, having changed nothing.
    void load(std::string text);

    // The values of a key of this file, decoded when first asked for.
    std::vector<Val>& values(KeyId id);
    // Its value named `name`, matched without regard to case; null if none.
    Val* findValue(KeyId id, std::string_view name);

    // The key's section is to be written anew; a key without one gets its
    // place among the file's sections in name order.
    void markDirty(KeyId id);

    // The file's new text with the changes made since it was loaded or last
    // adopted; nothing is taken as written yet.
    Rewrite serialize();
    // Takes a new text from serialize() as what the file holds, once it has
    // been written, without reading it again.
    void adopt(Rewrite r);

  private:
    std::string_view sectionText(int sec) const;
    std::string rawLine(const Val& v) const;
    std::string lineOf(const Val& v) const;
    wine_format::Section regenerate(KeyId id, int sec, std::string& out);

    Keys& keys_;
    const KeyId root_;
    const int file_;
    std::function<void(const wine_format::ParseError&)> unreadable_;
    std::string text_;
    std::string spare_;  // the text before, its memory kept for the next rewrite
    wine_format::Layout layout_;
    std::vector<Entry> order_;
};

}  // namespace regstore
