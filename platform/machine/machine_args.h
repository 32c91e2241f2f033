// The arguments that choose the machine, read by one rule in knobwise and
// knobreg alike:
//
//   --wine-prefix DIR    the Wine prefix DIR (relative to the current folder)
//   --wine-prefix=DIR    the same
//   --wine-prefix        $WINEPREFIX; without it, a prefix the user picks
//
// The folder after --wine-prefix is the next argument unless that starts
// with "-". An empty folder is refused (a folder left out by mistake, not
// the default), and so is a relative $WINEPREFIX, as Wine refuses it.
#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace machine {

struct MachineArgs {
    std::optional<std::filesystem::path> winePrefix;  // the folder asked for, clean
    bool choosePrefix = false;  // --wine-prefix with neither a folder nor $WINEPREFIX
    std::string error;          // why the arguments cannot be taken; empty when they can
};

// When args[at] is a machine argument, takes it (with the folder after it)
// into `into` and moves `at` past it; false, changing nothing, when it is
// none.
bool takeMachineArgument(const std::vector<std::string>& args, std::size_t& at, MachineArgs& into);

// Why $WINEPREFIX cannot be used: it is set to a relative path, which Wine
// refuses too; nullopt when it is unset, empty or absolute.
std::optional<std::string> winePrefixVariableProblem();

}  // namespace machine
