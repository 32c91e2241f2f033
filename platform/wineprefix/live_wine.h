// A Wine server running in a prefix keeps the prefix's registry in memory:
// it saves it to the files only now and then (about every 30 seconds) and
// when it exits, overwriting them. While one runs, the prefix store reads
// and changes the registry through the Wine of that server rather than the
// files. This is what the store needs of that Wine; the machine layer gives
// it one (it knows how to find the server and start Wine's programs).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "winreg/store.h"

namespace regstore {

class LiveWine {
  public:
    virtual ~LiveWine() = default;

    enum class State {
        None,      // no server runs in the prefix: the files hold the registry
        Usable,    // one runs, and its Wine can be used
        Unusable,  // one runs, but its Wine cannot be used (see reason)
    };
    struct Server {
        State state = State::None;
        // Why the server's Wine cannot be used, as a sentence for the user.
        std::string reason;
        // Tells one server from the next (such as its process id), so that
        // values read from one are read again when another has started.
        std::string id;
    };
    // Looks for the prefix's server now.
    virtual Server server() = 0;

    // The values of those of `keys` that exist, as a registry file in
    // "Windows Registry Editor Version 5.00" form: each key's line and all
    // of its values as hex(type) of their bytes; with `below`, every key
    // under each one as well. Throws Refused with the reason when it cannot.
    virtual std::string read(const std::vector<KeyPath>& keys, bool below) = 0;
    // Imports a registry file of that form in one Wine process: all of it
    // or, with Refused and the reason, as much as Wine took. What Wine took
    // is known only once it has been read back.
    virtual void import(std::string_view regFile) = 0;
};

}  // namespace regstore
