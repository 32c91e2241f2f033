// Text quoted in a message: at most a few dozen characters of it.
#pragma once

#include <string>
#include <string_view>

namespace excerpt {

inline std::string of(std::string_view s) {
    constexpr size_t kMost = 40;
    return "\"" + std::string(s.substr(0, kMost)) + (s.size() > kMost ? "...\"" : "\"");
}

}  // namespace excerpt
