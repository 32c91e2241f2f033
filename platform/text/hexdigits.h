// Hex digits: numbers written in lower-case hex, as registry files write
// them, and digits read in either case.
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

// The value of one hex digit, either case; -1 when it is none.
inline int value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace hexdigits
