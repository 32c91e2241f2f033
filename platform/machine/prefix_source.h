// The programs a Wine prefix can be found through.
#pragma once

namespace prefixes {

// Where a prefix was found; the order of the list.
enum class Source { Wine, Steam, Lutris, Bottles, Heroic, PlayOnLinux };

// "Wine", "Steam", ...
const char* sourceName(Source s);

}  // namespace prefixes
