// Text quoted in a message: at most a few dozen bytes of it, escaped as
// escape.h escapes text for a terminal (the text quoted comes from a file).
#pragma once

#include <algorithm>
#include <string>
#include <string_view>

#include "text/escape.h"

namespace excerpt {

inline std::string of(std::string_view s) {
    constexpr size_t kMost = 40;
    size_t cut = std::min(s.size(), kMost);
    // Not within a UTF-8 sequence, which would then show as bytes.
    for (int back = 0; back < 3 && cut < s.size() && cut > 0 &&
                       (static_cast<unsigned char>(s[cut]) & 0xC0) == 0x80;
         ++back)
        --cut;
    return "\"" + escape::forTerminal(s.substr(0, cut)) + (cut < s.size() ? "...\"" : "\"");
}

}  // namespace excerpt
