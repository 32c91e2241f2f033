// The machine the program works on: the embedded one (a directory of ours
// holding the registry hive and drive C), or a Wine prefix. One machine is
// selected for the whole process; its registry store and its drives come
// from it.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "wineprefix/live_wine.h"
#include "wineprefix/prefix_identity.h"
#include "winreg/current_store.h"

namespace machine {

// $XDG_DATA_HOME/knobwise, or ~/.local/share/knobwise when XDG_DATA_HOME is
// unset or not an absolute path.
std::filesystem::path directory();
std::filesystem::path hivePath();
// Where the history of the changes to Wine prefixes is kept (the embedded
// machine keeps its own in its hive): $XDG_STATE_HOME/knobwise/history.db,
// or ~/.local/state/knobwise/history.db.
std::filesystem::path historyFile();
std::filesystem::path driveC();

// A drive letter and the host directory it stands for.
struct Drive {
    char letter;  // 'A' to 'Z'
    std::filesystem::path root;
};

class Machine {
  public:
    // The embedded machine, wherever directory() says at the time of use.
    static Machine embedded() { return Machine(); }
    // A prefix goes by `name` (as the program that keeps it names it), or
    // as wineprefix::nameOf() names it when that is empty. `liveKeys`: the keys whose
    // values are read from the prefix's running Wine, when one runs (see
    // winreg/prefix_store.h).
    static Machine winePrefix(std::filesystem::path prefix, std::string name = {},
                              std::vector<regstore::KeyPath> liveKeys = {});

    bool isWinePrefix() const { return !prefix_.empty(); }
    // The prefix's folder; empty for the embedded machine.
    const std::filesystem::path& prefix() const { return prefix_; }
    // What the prefix is called where the user sees it; empty for the
    // embedded machine.
    const std::string& name() const { return name_; }

    // The machine's registry, opened, with what the user should be told
    // about it.
    regstore::Opened openRegistry() const;
    // Its drives in letter order: C: and Z: on the embedded machine, the
    // dosdevices/ links of a prefix.
    std::vector<Drive> drives() const;

  private:
    Machine() = default;
    std::filesystem::path prefix_;
    std::string name_;
    std::vector<regstore::KeyPath> liveKeys_;
};

// What choosing the machine came to.
struct Choice {
    // False when the machine asked for cannot be used at all (a folder that
    // is no Wine prefix): nothing is selected, and the program ends.
    bool usable = true;
    // What went wrong, as a sentence for the user; empty when nothing. A
    // usable machine with an error is the embedded one that could not be
    // made: it is selected all the same, and its registry fails every open.
    std::string error;
};

// Chooses the machine that the program, or knobreg, works on, once, at
// start: the Wine prefix `winePrefix`, or without one the embedded machine,
// made and seeded when it has no hive yet. Selects it and starts opening its
// registry; `liveKeys` as for Machine::winePrefix.
Choice choose(const std::optional<wineprefix::Identity>& winePrefix,
              std::vector<regstore::KeyPath> liveKeys = {});
// The same for a folder the user gave (wineprefix::identify): one that is no
// Wine prefix selects nothing, so that another may be chosen after it.
Choice choose(const std::filesystem::path& winePrefix,
              std::vector<regstore::KeyPath> liveKeys = {});

// The machine in use; the embedded one until another is selected.
const Machine& current();
// Selects the machine in use, and with it the registry store of the Reg*
// functions, as it stands (tests; the program chooses).
void select(const Machine& m);

}  // namespace machine

namespace machine {

struct Outcome {
    bool created = false;  // this call made the machine
    std::string error;     // why it could not be made; empty on success
};

// Makes and seeds the embedded machine when it has no hive yet, all or
// nothing; an existing machine is left exactly as it is.
Outcome ensure();

}  // namespace machine
