// The command line of knobwise: --wine-prefix [DIR], --history and --help.
// Qt's own options are left to Qt.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace options {

struct Options {
    bool help = false;
    bool history = false;  // the History window instead of the main window
    std::optional<std::filesystem::path> winePrefix;  // the prefix asked for
    bool choosePrefix = false;  // --wine-prefix with neither a folder nor $WINEPREFIX
    std::string error;          // a command line we cannot take
    std::vector<char*> rest;    // what is left for Qt, argv[0] first
};

// Reads argv; --wine-prefix without a folder means $WINEPREFIX, and without
// that the prefix the user picks from those found (choosePrefix).
Options parse(int argc, char** argv);

inline constexpr const char* kUsage = R"(Usage: knobwise [--history] [--wine-prefix [DIR]]

Views and changes a handful of Windows shell and browser settings.

Without options it works on this user's Knobwise machine, in
$XDG_DATA_HOME/knobwise (or ~/.local/share/knobwise), made on first start.

  --wine-prefix [DIR]  works on the Wine prefix DIR instead (also
                       --wine-prefix=DIR), so that Wine and its programs see
                       what Apply writes; without DIR, $WINEPREFIX, and
                       without that a window lists the Wine prefixes found
                       on this computer to choose from. While Wine runs
                       in the prefix, changes go through that Wine.
  --history            shows the changes made to the machine (or the
                       prefix), the newest first, instead of the settings;
                       Undo takes any of them back
  --help               shows this text
)";

}  // namespace options
