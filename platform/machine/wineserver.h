// Whether a Wine server is running in a prefix. While one runs it holds the
// prefix's registry in memory and writes it back when it exits, so a change
// made to the files meanwhile would be lost.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <string>

namespace wineserver {

// True while a server of the prefix runs: it holds a write lock on the
// "lock" file of its server directory, server-<device>-<inode> (of the
// prefix folder, in hex). Debian's Wine keeps that directory in the /tmp
// folder the prefix's "wineserver" file names, upstream Wine in
// /tmp/.wine-<uid>/. Both folders count only when Wine itself would use
// them: folders, not links, of this user, which no one else may enter.
bool running(const std::filesystem::path& prefix);
// The process that holds the lock (the server, as a rule), 0 when it cannot
// be told (such as one of another process namespace); nullopt when no
// server runs.
std::optional<pid_t> holder(const std::filesystem::path& prefix);

// What the user is told while one runs whose Wine cannot be used, and why
// (a clause, such as "its program is gone").
std::string runningMessage(const std::filesystem::path& prefix, const std::string& why);

}  // namespace wineserver
