// The user's machine: a directory holding the registry hive and drive C.
#pragma once

#include <filesystem>
#include <string>

namespace machine {

// $XDG_DATA_HOME/knobwise, or ~/.local/share/knobwise when XDG_DATA_HOME is
// unset or not an absolute path.
std::filesystem::path directory();
std::filesystem::path hivePath();
std::filesystem::path driveC();

}  // namespace machine

namespace machine {

struct Outcome {
    bool created = false;  // this call made the machine
    std::string error;     // why it could not be made; empty on success
};

// Makes and seeds the machine when it has no hive yet, all or nothing; an
// existing machine is left exactly as it is.
Outcome ensure();

// Where the program's shipped data lies (the seed registry and drive C's
// template files).
std::filesystem::path dataDirectory();

}  // namespace machine
