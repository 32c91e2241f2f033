// The places each program keeps its prefixes (prefixes.cpp puts them
// together). Each adds what it finds to `out`, as the program names it
// (a folder's path as wineprefix::configuredPath() reads it), without
// checking that it is a prefix; a file it cannot read or make sense of adds
// nothing. The helpers they share are in prefixes_sources.cpp.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "machine/prefix_source.h"

namespace prefixes::sources {

struct Candidate {
    std::filesystem::path path;
    Source source;
    std::string name;  // empty: it goes by its folder's name (wineprefix::nameOf)
};
using Candidates = std::vector<Candidate>;

void steam(const std::filesystem::path& home, Candidates& out);
void lutris(const std::filesystem::path& home, Candidates& out);
void bottles(const std::filesystem::path& home, Candidates& out);
void heroic(const std::filesystem::path& home, Candidates& out);

// The whole of a small file; nullopt when it cannot be read or is larger
// than `limit` (no configuration file comes near it).
std::optional<std::string> readSmallFile(const std::filesystem::path& file, size_t limit = 4 << 20);
// The folders in `dir`, in no particular order; none when it cannot be read.
std::vector<std::filesystem::path> subfolders(const std::filesystem::path& dir);

}  // namespace prefixes::sources
