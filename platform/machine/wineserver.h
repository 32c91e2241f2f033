// Whether a Wine server is running in a prefix. While one runs it holds the
// prefix's registry in memory and writes it back when it exits, so a change
// made to the files meanwhile would be lost.
#pragma once

#include <filesystem>
#include <string>

namespace wineserver {

// True while a server of the prefix runs: it holds a write lock on the
// "lock" file of its server directory, server-<device>-<inode> (of the
// prefix folder, in hex). Debian's Wine keeps that directory in the /tmp
// folder the prefix's "wineserver" file names, upstream Wine in
// /tmp/.wine-<uid>/.
bool running(const std::filesystem::path& prefix);

// What the user is told while one runs.
std::string runningMessage(const std::filesystem::path& prefix);

}  // namespace wineserver
