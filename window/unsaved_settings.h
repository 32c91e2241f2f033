// Telling the user which settings a write did not take. The registry
// procedures ignore a key that does not exist, as they must; a write the
// registry refused for another reason (a full disk, Wine running in the
// prefix, ...) is told once, after the writes, naming the settings and why.
#pragma once

namespace unsaved_settings {

// Forgets failures from before (call before the writes).
void forget();

// Shows one message naming the settings not saved since forget() and the
// reasons; false, showing nothing, when every write was taken.
bool tell();

}  // namespace unsaved_settings
