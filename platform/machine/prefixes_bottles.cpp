// Bottles: every bottle is a folder of its bottles/ folder, and its prefix
// itself, with its configuration in bottle.yml, whose "Name" is the name the
// user gave it.
#include "machine/prefixes_sources.h"

namespace prefixes::sources {

namespace fs = std::filesystem;

namespace {

std::string bottleName(const fs::path& bottle, Found& found) {
    const std::optional<YAML::Node> config = readYaml(bottle / "bottle.yml", found);
    if (!config) return {};
    try {
        const YAML::Node name = (*config)["Name"];
        return name.IsScalar() ? name.as<std::string>() : std::string();
    } catch (const YAML::Exception&) {
        return {};
    }
}

}  // namespace

void bottles(const fs::path& home, Found& found) {
    const fs::path places[] = {
        home / ".local" / "share" / "bottles" / "bottles",
        home / ".var" / "app" / "com.usebottles.bottles" / "data" / "bottles" / "bottles",
    };
    for (const fs::path& place : places) {
        for (const fs::path& bottle : subfolders(place)) {
            found.candidates.push_back({bottle, Source::Bottles, bottleName(bottle, found)});
        }
    }
}

}  // namespace prefixes::sources
