#include "machine/machine_args.h"

#include <cstdlib>

#include "files/user_dirs.h"
#include "wineprefix/prefix_identity.h"

namespace machine {

namespace {

constexpr std::string_view kOption = "--wine-prefix";

void takeFolder(const std::string& dir, MachineArgs& into) {
    if (dir.empty()) {
        into.error = "--wine-prefix needs a folder, not an empty argument";
    } else {
        into.winePrefix = wineprefix::cleanPath(dir);
    }
}

}  // namespace

bool takeMachineArgument(const std::vector<std::string>& args, std::size_t& at, MachineArgs& into) {
    const std::string& arg = args[at];
    if (arg.starts_with(kOption) && arg.size() > kOption.size() && arg[kOption.size()] == '=') {
        takeFolder(arg.substr(kOption.size() + 1), into);
        ++at;
        return true;
    }
    if (arg != kOption) return false;
    ++at;
    if (at < args.size() && !args[at].starts_with('-')) {
        takeFolder(args[at++], into);
    } else if (std::optional<std::string> why = winePrefixVariableProblem()) {
        into.error = *why;
    } else if (const char* variable = std::getenv("WINEPREFIX"); variable && *variable) {
        into.winePrefix = wineprefix::cleanPath(variable);
    } else {
        into.choosePrefix = true;
    }
    return true;
}

std::optional<std::string> winePrefixVariableProblem() {
    const char* p = std::getenv("WINEPREFIX");
    if (!p || !*p || *p == '/') return std::nullopt;
    // Wine's own words, so that the two programs' complaints are seen to be
    // one; then what to do.
    return std::string("$WINEPREFIX is set to ") + p +
           ", which is not an absolute path, and Wine refuses it as well (\"invalid directory " +
           p + " in WINEPREFIX: not an absolute path\"). Set WINEPREFIX to the prefix's full " +
           "path, starting with / (such as " + (user_dirs::home() / ".wine").string() +
           "), or unset it, or give the folder after --wine-prefix.";
}

}  // namespace machine
