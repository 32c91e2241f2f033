// The history of changes to a registry: each change that Knobwise or
// knobreg made, with what it replaced, so that it can be taken back byte for
// byte. Each store keeps its own (store.h): the embedded hive in itself, a
// Wine prefix in the user's state folder.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "winreg/store.h"

namespace history {

// The newest entries kept of each registry.
inline constexpr std::size_t kKept = 100;

// A key's content: its values and the keys below it, names as written.
struct Subkey;
struct Content {
    std::vector<regstore::Value> values;
    std::vector<Subkey> subkeys;
};
struct Subkey {
    std::string name;
    Content content;
};

// One value set or deleted, or one key made or deleted.
struct Step {
    regstore::KeyPath key;  // below HKEY_LOCAL_MACHINE or HKEY_CURRENT_USER
    bool isKey = false;
    std::string name;  // the value's, as written (value steps)
    // Value steps: the value before and after; nullopt where there was none.
    std::optional<regstore::Value> before, after;
    // Key steps: everything the key held before (nullopt: it did not exist),
    // and whether it exists after.
    std::optional<Content> keyBefore;
    bool keyAfter = false;
};

struct Entry {
    std::int64_t id = 0;    // increasing with each entry of a registry
    std::int64_t time = 0;  // when it was made, in seconds since 1970
    std::string origin;     // what made it: "Apply", "knobreg add ..."
    std::vector<Step> steps;
    // False while it is kept for a change not yet known to be made (a
    // prefix's files not yet replaced, a running Wine not yet read back).
    bool made = true;
};

// What makes the changes from now on, while it lives (the innermost when
// nested); "Knobwise" when nothing said.
class Origin {
  public:
    explicit Origin(std::string what);
    ~Origin();
    Origin(const Origin&) = delete;
    Origin& operator=(const Origin&) = delete;
    static std::string current();

  private:
    std::string before_;
};

// A key's content and a value as stored, in bytes, and back (the stores
// keep them so). Decoding what is no encoding gives nullopt.
std::string encode(const Content& content);
std::optional<Content> decodeContent(std::string_view bytes);
std::string encode(const regstore::Value& value);
std::optional<regstore::Value> decodeValue(std::string_view bytes);

// What the store holds now under `key`: its content, or nullopt.
std::optional<Content> contentOf(regstore::Store& store, const regstore::KeyPath& key);

// Whether the registry holds what the step made.
bool holds(regstore::Store& store, const Step& step);

// Where a registry differs from what an entry's changes made: the first
// value or key, as "HKEY_...\KEY (VALUE)" or "HKEY_...\KEY"; nullopt when
// it holds all of it.
std::optional<std::string> changedSince(regstore::Store& store, const Entry& entry);

// Takes back change `number` of the store's history (1, the newest): puts
// back what it replaced, in one transaction, itself kept as a change. Unless
// `force`, refuses (regstore::Refused) when anything the change made has
// been changed since, naming it. Returns the entry taken back.
Entry undo(regstore::Store& store, std::size_t number, bool force);

// The values and keys an entry touched, by their full names, once each:
// "HKEY_CURRENT_USER\Software\X (Name)" or a key's name.
std::vector<std::string> touched(const Entry& entry);

}  // namespace history
