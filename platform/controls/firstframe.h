// A benchmark hook, nothing the program's users set: with
// KNOBWISE_EXIT_AFTER_FIRST_FRAME=1 in the environment, the program prints
// the moment its window's first frame has been drawn and handed to the
// display, and the number of widgets in the window, then exits at once:
//
//     first-frame-ns <CLOCK_MONOTONIC nanoseconds> widgets <count>
//     phase <name> <CLOCK_MONOTONIC nanoseconds>
//     ...
//
// The phase lines, one for each phase() marked before the frame in the order
// they were marked, tell where the start-up went. bench/startup_bench starts
// the program with it to time start-up.
#pragma once

class QWidget;

namespace firstframe {

// Watches `window` when the hook is asked for; otherwise does nothing.
// Call before the window is first shown.
void watch(QWidget& window);

// Marks the end of a phase of start-up named `name` (a literal without
// blanks, which is kept, not copied) when the hook is asked for; otherwise
// does nothing. Marks after the first 48 are dropped.
void phase(const char* name);

}  // namespace firstframe
