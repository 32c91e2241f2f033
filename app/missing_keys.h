// A Wine prefix lacks keys the settings live in (a fresh one lacks eight of
// the fourteen); the program only opens keys, so those settings would do
// nothing. Offered once at start: create them, empty.
#pragma once

namespace missing_keys {

// When the current machine is a Wine prefix that can be written and lacks
// keys, asks once whether to create them; Yes creates exactly those keys,
// empty, in one write of each file; No changes nothing.
void offer();

}  // namespace missing_keys
