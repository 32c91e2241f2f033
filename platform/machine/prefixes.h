// The Wine prefixes on this computer: the user's own ($WINEPREFIX, ~/.wine)
// and those that Steam, Lutris, Bottles, Heroic and PlayOnLinux keep, in
// their native and their Flatpak installs. Their files are only read; a
// file that is missing, unreadable or not of its format leaves out what it
// would have named, and nothing else.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "machine/prefix_source.h"

namespace prefixes {

struct Prefix {
    std::filesystem::path path;  // its real path (symbolic links resolved)
    Source source;
    std::string name;          // as the program that keeps it names it
    bool wineRunning = false;  // a Wine server runs there now
};

// Every prefix found from $HOME (and $WINEPREFIX, when it is an absolute
// path), each real path once: by source, then by name. `warnings`, when
// given, receives a sentence for each file that was skipped for its kind,
// size or nesting (a FIFO where a configuration file should be, say); the
// names and folders in them are other programs' text, to be escaped
// (text/escape.h) before they reach a terminal, as the names and paths of
// the prefixes are.
std::vector<Prefix> find(std::vector<std::string>* warnings = nullptr);

}  // namespace prefixes
