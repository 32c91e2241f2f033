// Bottles: every bottle is a folder of its bottles/ folder, and its prefix
// itself, with its configuration in bottle.yml, whose "Name" is the name the
// user gave it.
#include <yaml-cpp/yaml.h>

#include "machine/prefixes_sources.h"

namespace prefixes::sources {

namespace fs = std::filesystem;

namespace {

std::string bottleName(const fs::path& bottle) {
    const std::optional<std::string> text = readSmallFile(bottle / "bottle.yml");
    if (!text) return {};
    try {
        const YAML::Node name = YAML::Load(*text)["Name"];
        return name.IsScalar() ? name.as<std::string>() : std::string();
    } catch (const YAML::Exception&) {
        return {};
    }
}

}  // namespace

void bottles(const fs::path& home, Candidates& out) {
    const fs::path places[] = {
        home / ".local" / "share" / "bottles" / "bottles",
        home / ".var" / "app" / "com.usebottles.bottles" / "data" / "bottles" / "bottles",
    };
    for (const fs::path& place : places) {
        for (const fs::path& bottle : subfolders(place)) {
            out.push_back({bottle, Source::Bottles, bottleName(bottle)});
        }
    }
}

}  // namespace prefixes::sources
