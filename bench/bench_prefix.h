// A fresh Wine prefix for the benchmarks: made by Debian's wineboot (or
// taken from $KNOBWISE_BENCH_PREFIX, a prefix made that way), its registry
// files copied into a folder of the benchmark's own with its drive C linked,
// and the keys of the settings created so that the program neither asks for
// them nor skips a write.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "wineprefix/live_wine.h"

namespace bench_prefix {

// The prefix made in `work` under `name` (further ones copy the files of the
// same wineboot); empty, with the reason in *why, when Wine is not installed
// and no prefix was given.
std::filesystem::path make(const std::filesystem::path& work, std::string* why,
                           const char* name = "prefix");

// Keeps a Wine server running in the prefix, with Wine's services started,
// as while a Wine program runs there, until stopWine(); false, with the
// reason, when it cannot.
bool startWine(const std::filesystem::path& prefix, std::string* why);
void stopWine(const std::filesystem::path& prefix);

// The keys the settings live in, as the program reads them from a running
// Wine.
std::vector<regstore::KeyPath> settingsKeys();

}  // namespace bench_prefix
