// A Wine prefix lacks keys the settings live in (a fresh one lacks eight of
// the fourteen); the program only opens keys, so those settings would do
// nothing. Offered once at start: create them, empty.
#pragma once

#include <vector>

#include "wineprefix/live_wine.h"

namespace missing_keys {

// The keys the settings live in, once each: those whose values are read from
// a Wine running in the prefix.
std::vector<regstore::KeyPath> settingsKeys();

// When the current machine is a Wine prefix that can be written and lacks
// keys, asks once whether to create them; Yes creates exactly those keys,
// empty, in one write of each file (or one import into the running Wine);
// No changes nothing.
void offer();

}  // namespace missing_keys
