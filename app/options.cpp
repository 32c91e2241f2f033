#include "app/options.h"

#include "machine/machine_args.h"

namespace options {

Options parse(int argc, char** argv) {
    Options o;
    if (argc > 0) o.rest.push_back(argv[0]);
    const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    machine::MachineArgs machine;
    for (std::size_t at = 0; at < args.size();) {
        if (machine::takeMachineArgument(args, at, machine)) continue;
        const std::string& arg = args[at];
        if (arg == "--help" || arg == "-h") {
            o.help = true;
        } else if (arg == "--history") {
            o.history = true;
        } else if (arg.starts_with("--")) {
            o.error = "unknown option " + arg;
        } else {
            o.rest.push_back(argv[at + 1]);  // Qt's (-platform and the like) or stray words
        }
        ++at;
    }
    o.winePrefix = machine.winePrefix;
    o.choosePrefix = machine.choosePrefix;
    if (o.error.empty()) o.error = machine.error;
    return o;
}

}  // namespace options
