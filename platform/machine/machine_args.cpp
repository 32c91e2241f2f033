#include "machine/machine_args.h"

#include <cstdlib>

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
    return std::string("$WINEPREFIX is set to ") + p +
           ", which is not an absolute path; Wine does not accept it either. Set it to the "
           "prefix's full path, or give the folder after --wine-prefix.";
}

}  // namespace machine
