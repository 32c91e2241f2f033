// knobreg: query, add, delete, export and import on the registry of the
// user's machine. Exit code 0 on success, 1 on any failure.
#include <algorithm>
#include <filesystem>
#include <iostream>
#include <optional>

#include "knobreg.h"
#include "machine/machine_args.h"
#include "machine/prefixes.h"
#include "text/ascii.h"
#include "text/escape.h"
#include "wineprefix/prefix_store.h"
#include "winreg/history.h"

namespace {

using knobreg::Session;
using Verb = int (*)(const std::vector<std::string>&, Session&);

constexpr const char* kUsage = R"(KNOBREG [--wine-prefix DIR] operation [parameters]
KNOBREG --list-prefixes

  operation  QUERY | ADD | DELETE | EXPORT | IMPORT | HISTORY | UNDO

Works on the registry of this user's Knobwise machine, in
$XDG_DATA_HOME/knobwise (or ~/.local/share/knobwise), which it makes
when there is none yet.

  --wine-prefix DIR   works on the Wine prefix DIR instead (also
             --wine-prefix=DIR; without DIR, $WINEPREFIX): HKLM is its
             system.reg, HKCU its user.reg. While Wine runs there,
             changes, queries and exports go through that Wine, and a
             change counts as made once that Wine holds it.

  --list-prefixes     lists the Wine prefixes on this computer, one a
             line: its folder, where it was found (Wine, Steam, Lutris,
             Bottles, Heroic or PlayOnLinux) and its name, separated by
             tabs. Folders and names come from other programs' files, so
             a backslash in them is shown as \\, and a control character
             (a tab, a line end, ESC...) or a byte that is not UTF-8 as
             \xNN; printf '%b' "FOLDER" gives back the folder itself.
             Files skipped on the way (too large, a pipe, nested too
             deeply) are named on standard error.

Return code: 0 - successful, 1 - failed.

For help on an operation type:
  KNOBREG operation /?
)";

constexpr const char* kKeyHelp = R"(  KeyName    ROOTKEY\SubKey
             ROOTKEY is HKLM, HKCU or HKCR (or HKEY_LOCAL_MACHINE,
             HKEY_CURRENT_USER, HKEY_CLASSES_ROOT)
)";

constexpr const char* kQueryUsage = R"(KNOBREG QUERY KeyName [/v ValueName | /ve] [/s]

%KEYS%  /v         shows only the value ValueName of the key
  /ve        shows only the key's default value (the one without a name)
  /s         goes through every key below the key as well

Examples:
  KNOBREG QUERY "HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\Advanced"
  KNOBREG QUERY HKLM\Software\Microsoft\Windows\CurrentVersion\WinLogon /v DefaultUserName
)";

constexpr const char* kAddUsage =
    R"(KNOBREG ADD KeyName [/v ValueName | /ve] [/t Type] [/s Separator] [/d Data] [/f]

%KEYS%  /v         the name of the value to add
  /ve        adds the key's default value (the one without a name)
  /t         REG_SZ (the default), REG_EXPAND_SZ, REG_MULTI_SZ, REG_DWORD,
             REG_BINARY or REG_NONE
  /s         the character that separates the strings of a REG_MULTI_SZ
             (without it they are separated by \0)
  /d         the data: text; for REG_DWORD a number or 0x and hex digits;
             for REG_BINARY and REG_NONE pairs of hex digits
  /f         replaces a value that exists without asking

Without /v, /ve, /t and /d only the key is made. Missing keys above it are
made as well.

Examples:
  KNOBREG ADD "HKCU\Software\Microsoft\Windows\CurrentVersion\Applets\Hearts" /v ZB /d 86
  KNOBREG ADD "HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\Advanced" /v ShowInfoTip /t REG_DWORD /d 0 /f
)";

constexpr const char* kDeleteUsage = R"(KNOBREG DELETE KeyName [/v ValueName | /ve | /va] [/f]

%KEYS%  /v         deletes the value ValueName of the key
  /ve        deletes the key's default value (the one without a name)
  /va        deletes every value of the key, and keeps the key
  /f         deletes without asking

Without /v, /ve and /va the key is deleted with everything below it.

Examples:
  KNOBREG DELETE "HKCU\Software\Microsoft\Windows\CurrentVersion\Policies\Explorer" /v NoFavoritesMenu
)";

constexpr const char* kExportUsage = R"(KNOBREG EXPORT KeyName FileName [/y] [/a]

%KEYS%  FileName   the .reg file to write
  /y         replaces a file that exists without asking
  /a         writes a REGEDIT4 file (code page 1252) instead of a
             "Windows Registry Editor Version 5.00" file (UTF-16)

Examples:
  KNOBREG EXPORT HKCU\Software saved.reg
)";

constexpr const char* kImportUsage = R"(KNOBREG IMPORT FileName

  FileName   the .reg file to read: REGEDIT4 or "Windows Registry Editor
             Version 5.00", in code page 1252 or UTF-16, read as reg.exe
             reads it. The lines reg.exe skips are skipped, each with a
             warning that names its line (the first 100 of them, then
             their count); the rest is imported at once. The text quoted
             from the file is escaped as --list-prefixes escapes names.

Examples:
  KNOBREG IMPORT saved.reg
)";

constexpr const char* kHistoryUsage = R"(KNOBREG HISTORY

Lists the changes Knobwise and knobreg made to the registry, the newest
first, numbered from 1: when each was made, what made it, and what it
touched (the window's settings by their names, other values and keys by
their full names). The newest 100 are kept.

Examples:
  KNOBREG HISTORY
  KNOBREG --wine-prefix ~/.wine HISTORY
)";

constexpr const char* kUndoUsage = R"(KNOBREG UNDO [Number] [/f]

  Number     the change to take back, as KNOBREG HISTORY numbers it
             (without it, 1: the newest)
  /f         takes it back even where a value or key it made has been
             changed since (by Wine, a program, or a later change)

Puts back exactly what the change replaced, in one step; the undo is a
change of its own, so that undoing it makes the change again. Without /f,
a value or key changed since the change is named, and nothing is done.

Examples:
  KNOBREG UNDO
  KNOBREG UNDO 3 /f
)";

struct Operation {
    const char* name;
    Verb run;
    const char* usage;
};

const Operation kOperations[] = {
    {"query", knobreg::query, kQueryUsage},
    {"add", knobreg::add, kAddUsage},
    {"delete", knobreg::removeKeyOrValue, kDeleteUsage},
    {"export", knobreg::exportKey, kExportUsage},
    {"import", knobreg::importFile, kImportUsage},
    {"history", knobreg::history, kHistoryUsage},
    {"undo", knobreg::undo, kUndoUsage},
};

bool isHelp(const std::string& arg) {
    std::string a = ascii::lowered(arg);
    return a == "/?" || a == "-?" || a == "/h" || a == "-h" || a == "--help";
}

std::string usageOf(const Operation& op) {
    std::string text = op.usage;
    if (size_t at = text.find("%KEYS%"); at != std::string::npos) text.replace(at, 6, kKeyHelp);
    return text;
}

std::string sentence(std::string text) {
    if (!text.empty() && text.back() != '.') text += '.';
    return text;
}

// Takes the machine arguments (machine/machine_args.h) off the front of the
// arguments. False, with the reason told, when they cannot be taken.
bool takeMachine(std::vector<std::string>& args, std::optional<std::filesystem::path>& prefix) {
    machine::MachineArgs machine;
    std::size_t at = 0;
    while (at < args.size() && machine::takeMachineArgument(args, at, machine)) {
    }
    args.erase(args.begin(), args.begin() + static_cast<std::ptrdiff_t>(at));
    if (machine.choosePrefix)
        machine.error = "--wine-prefix needs a folder when $WINEPREFIX is not set";
    if (!machine.error.empty()) {
        std::cerr << "ERROR: " << sentence(machine.error) << "\nType \"KNOBREG /?\" for usage.\n";
        return false;
    }
    prefix = machine.winePrefix;
    return true;
}

// One line a prefix. The folders and names are other programs' text:
// escaped, a tab or line end in them cannot split a line or a field, nor
// can any other control character reach the terminal, and the real path
// is had back by undoing the escapes (printf '%b'). The files skipped on
// the way are named on standard error, escaped as well.
int listPrefixes() {
    std::vector<std::string> warnings;
    const std::vector<prefixes::Prefix> found = prefixes::find(&warnings);
    for (const std::string& w : warnings)
        std::cerr << "knobreg: " << escape::linesForTerminal(w) << '\n';
    for (const prefixes::Prefix& p : found) {
        std::cout << escape::forTerminal(p.path.string()) << '\t' << prefixes::sourceName(p.source)
                  << '\t' << escape::forTerminal(p.name) << '\n';
    }
    return std::cout.flush() ? 0 : 1;
}

int run(std::vector<std::string> args) {
    if (!args.empty() && args[0] == "--list-prefixes") {
        if (args.size() == 1) return listPrefixes();
        std::cerr << "ERROR: Invalid syntax: --list-prefixes takes no parameters.\n"
                     "Type \"KNOBREG /?\" for usage.\n";
        return 1;
    }
    std::optional<std::filesystem::path> winePrefix;
    if (!takeMachine(args, winePrefix)) return 1;
    if (args.empty()) {
        std::cerr << "ERROR: Invalid syntax.\nType \"KNOBREG /?\" for usage.\n";
        return 1;
    }
    if (isHelp(args[0])) {
        std::cout << kUsage;
        return 0;
    }
    const std::string verb = ascii::lowered(args[0]);
    const Operation* op = nullptr;
    for (const Operation& o : kOperations) {
        if (verb == o.name) op = &o;
    }
    if (!op) {
        std::cerr << "ERROR: Invalid syntax: unknown operation " << args[0]
                  << ".\nType \"KNOBREG /?\" for usage.\n";
        return 1;
    }
    std::vector<std::string> rest(args.begin() + 1, args.end());
    if (std::any_of(rest.begin(), rest.end(),
                    [](const std::string& a) { return a == "/?" || a == "-?"; })) {
        std::cout << usageOf(*op);
        return 0;
    }
    Session session(std::cin, std::cout, std::cerr, std::move(winePrefix));
    // The history names each change by the command line that made it.
    std::string commandLine = "knobreg";
    for (const std::string& a : args)
        commandLine += ' ' + (a.find_first_of(" \t") == std::string::npos ? a : '"' + a + '"');
    const history::Origin origin(commandLine);
    try {
        return op->run(rest, session);
    } catch (const knobreg::SyntaxFailure& e) {
        std::cerr << "ERROR: " << sentence(e.what()) << "\nType \"KNOBREG " << ascii::uppered(verb)
                  << " /?\" for usage.\n";
    } catch (const knobreg::Failure& e) {
        std::cerr << "ERROR: " << sentence(e.what()) << '\n';
    } catch (const regstore::Refused& e) {
        std::cerr << "ERROR: " << sentence(e.what()) << '\n';
    } catch (const regstore::Error& e) {
        std::cerr << "ERROR: "
                  << (e.code() == ERROR_ACCESS_DENIED ? "Access is denied." : sentence(e.what()))
                  << '\n';
    } catch (const std::exception& e) {
        std::cerr << "ERROR: " << sentence(e.what()) << '\n';
    }
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    return run(std::vector<std::string>(argv + 1, argv + argc));
}
