// The process's current registry store, which the Reg* functions use: the
// one the machine selected at start, opened on first use or by open().
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "winreg/store.h"

namespace regstore {

enum class State {
    Unopened,  // not used yet in this process
    Ok,        // keys open; changes may still be refused for a reason of the moment
    ReadOnly,  // opens with write rights are refused
    Missing,   // no registry: every open fails
    Damaged,   // the registry cannot be read: every open fails
};

// A store as its machine opened it, with what the user should be told
// about it once, at start (empty when nothing).
struct Opened {
    std::unique_ptr<Store> store;  // null when Missing or Damaged
    State state = State::Missing;
    std::string problem;
    // Works the problem out when it is first asked for, for a store that
    // finishes checking itself while the program goes on.
    std::function<std::string()> explain;
};
using Opener = std::function<Opened()>;

// Selects the store that the Reg* functions use from now on; closes the one
// in use and invalidates every open handle. Until one is selected there is
// none: every open fails as for a missing registry.
void select(Opener opener);

// Opens the selected store now rather than at its first use: a store that
// reads its files on a thread of its own reads them while the program goes on.
void open();
// Opens the current store if need be and tells its state.
State state();
// What the user should be told about the store, once; empty when nothing.
std::string problem();
// The current store, or nullptr when it cannot be used.
Store* current();
// The store turned out to be damaged while in use: every open fails from now on.
void markDamaged(const std::string& why);
// Changes whenever another store is selected, so that handles to keys of an
// earlier store can be told apart.
std::uint64_t generation();

}  // namespace regstore
