// Changes the Reg* functions could not make for a reason other than a key
// or value that does not exist: a full disk, an I/O error, a store kept busy
// too long, a store that refuses changes for the moment (Wine running in a
// prefix). The registry procedures pass no status on, so the platform keeps
// them here for the program to tell the user.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "winerror.h"

namespace failed_writes {

struct Failure {
    std::string key;    // the key's full name, HKEY_CLASSES_ROOT keys under
                        // HKEY_LOCAL_MACHINE\Software\Classes
    std::string value;  // the value's name, UTF-8
    LONG code = 0;
    std::string reason;  // a sentence for the user
    // The setting the change was made for, in the words of the code that
    // asked for it; empty when it did not say.
    std::string setting;
};

// The failures since they were last taken, in order; taking clears them.
std::vector<Failure> take();
std::size_t count();

// Kept by the Reg* functions.
void record(Failure failure);

// Names the setting of the failures kept since there were `from` of them
// (count() before the change), as the code that asked for the change knows it.
void nameSince(std::size_t from, const std::string& setting);

}  // namespace failed_writes
