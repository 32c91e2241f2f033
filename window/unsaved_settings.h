// Telling the user which settings a write did not take. The registry
// procedures pass no status on, as they must; what the registry did not
// take (a full disk, Wine running in the prefix, a file that may not be
// written, a key that does not exist...) is told once, after the writes,
// naming the settings and why. A setting the user did not change is not
// named for a file that may not be written or a key that does not exist:
// what is stored for it is what the window shows.
#pragma once

#include <set>
#include <string>

namespace unsaved_settings {

// Forgets failures from before (call before the writes).
void forget();

// Shows one message naming the settings not saved since forget() and the
// reasons, and returns those settings (by their labels); empty, showing
// nothing, when every write that matters was taken. `changed`: the labels
// of the settings the user changed.
std::set<std::string> tell(const std::set<std::string>& changed);

}  // namespace unsaved_settings
