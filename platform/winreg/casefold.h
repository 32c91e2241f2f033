// Case-insensitive matching of names, as Windows matches registry names and
// file names: Unicode simple case folding.
#pragma once

#include <string>
#include <string_view>

namespace casefold {

// The folded form of a UTF-8 name; two names match when their folds are equal.
std::string fold(std::string_view utf8);

// ASCII letters only, for keywords of file formats and command lines.
inline char lowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

inline bool equalAscii(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (lowerAscii(a[i]) != lowerAscii(b[i])) return false;
    }
    return true;
}

}  // namespace casefold
