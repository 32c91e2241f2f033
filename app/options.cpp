#include "app/options.h"

#include <cstdlib>
#include <cstring>

#include "machine/machine.h"

namespace options {

Options parse(int argc, char** argv) {
    Options o;
    if (argc > 0) o.rest.push_back(argv[0]);
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            o.help = true;
        } else if (arg == "--wine-prefix") {
            // The folder is the next argument unless that is an option; an
            // empty one is a folder left out by mistake, not the default.
            if (i + 1 < argc && argv[i + 1][0] == '\0') {
                o.error = "--wine-prefix needs a folder, not an empty argument";
                ++i;
            } else if (i + 1 < argc && argv[i + 1][0] != '-') {
                o.winePrefix = machine::absoluteFolder(argv[++i]);
            } else if (std::optional<std::string> why = machine::winePrefixVariableProblem()) {
                o.error = *why;
            } else if (const char* variable = std::getenv("WINEPREFIX"); variable && *variable) {
                o.winePrefix = machine::absoluteFolder(variable);
            } else {
                o.choosePrefix = true;
            }
        } else if (arg.starts_with("--wine-prefix=")) {
            std::string dir = arg.substr(std::strlen("--wine-prefix="));
            if (dir.empty()) {
                o.error = "--wine-prefix= needs a folder, not an empty argument";
            } else {
                o.winePrefix = machine::absoluteFolder(dir);
            }
        } else if (arg.starts_with("--")) {
            o.error = "unknown option " + arg;
        } else {
            o.rest.push_back(argv[i]);  // Qt's (-platform and the like) or stray words
        }
    }
    return o;
}

}  // namespace options
