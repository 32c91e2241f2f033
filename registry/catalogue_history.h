// What an entry of the history of changes touched, as the user knows it.
#pragma once

#include <string>
#include <vector>

#include "winreg/history.h"

namespace catalogue {

// Each setting of the window by its label, other values and keys by their
// full names ("HKEY_CURRENT_USER\Software\X (Name)"); once each, in the
// order the change made them.
std::vector<std::string> describe(const history::Entry& entry);

}  // namespace catalogue
