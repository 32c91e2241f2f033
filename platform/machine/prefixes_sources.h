// The places each program keeps its prefixes (prefixes.cpp puts them
// together). Each adds what it finds to `found`, as the program names it
// (a folder's path as wineprefix::configuredPath() reads it), without
// checking that it is a prefix; a file it cannot read or make sense of adds
// nothing. The helpers they share are in prefixes_sources.cpp.
//
// These files are other programs' (and a shared or removable Steam library
// may hold anyone's): each is read as files/untrusted_file.h reads them,
// within kConfigCap, and parsed only when its nesting is within reason.
// One skipped for its kind, size or depth is named in a warning.
#pragma once

#include <yaml-cpp/yaml.h>

#include <cstdint>
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

struct Found {
    std::vector<Candidate> candidates;
    std::vector<std::string> warnings;  // a sentence for each file skipped
};

void steam(const std::filesystem::path& home, Found& found);
void lutris(const std::filesystem::path& home, Found& found);
void bottles(const std::filesystem::path& home, Found& found);
void heroic(const std::filesystem::path& home, Found& found);

// The launchers' configuration files are a few KB; none comes near this.
inline constexpr std::uintmax_t kConfigCap = 256 << 10;
// Nor does any nest collections nearly this deep.
inline constexpr int kMaxNesting = 64;

// The whole of a configuration file; nullopt when it is missing, or (with
// a warning) when it is not a regular file, cannot be read or is larger
// than kConfigCap.
std::optional<std::string> readSmallFile(const std::filesystem::path& file, Found& found);
// A YAML file's document; nullopt when it cannot be read or is no YAML,
// or (with a warning) when it nests too deeply.
std::optional<YAML::Node> readYaml(const std::filesystem::path& file, Found& found);
// Warns that `file` is skipped for nesting too deeply (deeper than
// kMaxNesting, or than its parser goes).
void warnTooDeep(const std::filesystem::path& file, Found& found);
// The folders in `dir`, in no particular order; none when it cannot be read.
std::vector<std::filesystem::path> subfolders(const std::filesystem::path& dir);

}  // namespace prefixes::sources
