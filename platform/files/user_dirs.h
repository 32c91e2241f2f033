// The user's folders on this computer: the home folder and the XDG base
// folders below it, each found by one rule that every caller shares.
#pragma once

#include <filesystem>

namespace user_dirs {

// $HOME when it is an absolute path, else the home folder the password
// database gives, else "/".
std::filesystem::path home();
// $XDG_DATA_HOME when it is an absolute path, else ~/.local/share.
std::filesystem::path dataHome();
// $XDG_STATE_HOME when it is an absolute path, else ~/.local/state.
std::filesystem::path stateHome();

}  // namespace user_dirs
