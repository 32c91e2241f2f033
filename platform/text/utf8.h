// Reading UTF-8 one sequence at a time.
#pragma once

#include <cstddef>
#include <string_view>

namespace utf8 {

// The length of the sequence that starts `s` by its lead byte and
// continuation bytes (1 to 4), with its code point; 0 when it is cut short
// or malformed. Overlong forms, surrogates and code points past U+10FFFF
// pass: see decode().
inline std::size_t sequence(std::string_view s, char32_t* codePoint) {
    if (s.empty()) return 0;
    auto byte = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
    const unsigned lead = byte(0);
    const std::size_t n = lead < 0x80           ? 1
                          : (lead >> 5) == 0x6  ? 2
                          : (lead >> 4) == 0xE  ? 3
                          : (lead >> 3) == 0x1E ? 4
                                                : 0;
    if (n == 0 || n > s.size()) return 0;
    char32_t cp = n == 1 ? lead : lead & (0x7Fu >> n);
    for (std::size_t i = 1; i < n; ++i) {
        if ((byte(i) & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (byte(i) & 0x3F);
    }
    *codePoint = cp;
    return n;
}

// The length of the valid UTF-8 sequence that starts `s`, with its code
// point; 0 when it is not one (also an overlong form, a surrogate or a code
// point past U+10FFFF).
inline std::size_t decode(std::string_view s, char32_t* codePoint) {
    char32_t cp = 0;
    const std::size_t n = sequence(s, &cp);
    static constexpr char32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
    if (n == 0 || cp < kLeast[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    *codePoint = cp;
    return n;
}

}  // namespace utf8
