// Numbers in lower-case hex, as registry files write them.
#pragma once

#include <cstdint>
#include <string>

namespace hexdigits {

// At least `width` digits, zero-padded.
inline std::string of(std::uint32_t n, int width) {
    static const char kDigits[] = "0123456789abcdef";
    std::string out;
    do {
        out.insert(out.begin(), kDigits[n & 0xF]);
        n >>= 4;
    } while (n != 0);
    if (static_cast<int>(out.size()) < width)
        out.insert(0, static_cast<size_t>(width) - out.size(), '0');
    return out;
}

}  // namespace hexdigits
