// The user's machine: a directory holding the registry hive and drive C.
#pragma once

#include <filesystem>

namespace machine {

// $XDG_DATA_HOME/knobwise, or ~/.local/share/knobwise when XDG_DATA_HOME is
// unset or not an absolute path.
std::filesystem::path directory();
std::filesystem::path hivePath();
std::filesystem::path driveC();

}  // namespace machine
