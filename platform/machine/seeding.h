// How a new machine is made: built aside in a private directory, then moved
// into place in one step, so that a machine is either absent or complete.
#pragma once

#include <filesystem>
#include <functional>
#include <string_view>

#include "machine/machine.h"

namespace machine::seeding {

// machine::ensure() with the shipped data taken from `data` (default.reg and
// an optional drive_c/ template tree) instead of dataDirectory().
Outcome ensureFrom(const std::filesystem::path& data);

// Test seam: called at each step of making a machine, with the step's name:
// "aside" (private directory made), "registry" (hive seeded), "drive" (drive
// C made), "ready" (about to move into place), "placed" (moved into place).
void setProbe(std::function<void(std::string_view step)> probe);

// The prefix of the private directories that machines are built in.
inline constexpr std::string_view kAsidePrefix = ".knobwise-seed-";

}  // namespace machine::seeding
