// A fresh Wine prefix for the benchmarks: made by Debian's wineboot (or
// taken from $KNOBWISE_BENCH_PREFIX, a prefix made that way), its registry
// files copied into a folder of the benchmark's own with its drive C linked,
// and the keys of the settings created so that the program neither asks for
// them nor skips a write.
#pragma once

#include <filesystem>
#include <string>

namespace bench_prefix {

// The prefix made in `work`; empty, with the reason in *why, when Wine is
// not installed and no prefix was given.
std::filesystem::path make(const std::filesystem::path& work, std::string* why);

}  // namespace bench_prefix
