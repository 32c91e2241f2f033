// Ending the program.
#pragma once

#include <functional>

// Stops the program at once: every window disappears and the event loop
// ends (nested ones too); nothing more is asked or written.
void End();

namespace program {

// Whether End has been called in this run.
bool ended();

// What a test puts in place of stopping the program (called instead); an
// empty function restores it.
void setEndHandler(std::function<void()> handler);

}  // namespace program
