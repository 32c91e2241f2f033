// ASCII text: the fast path of the conversions and comparisons (registry
// names nearly always are ASCII), the keywords of file formats and command
// lines, which match without regard to case, and the blanks of their lines.
#pragma once

#include <string>
#include <string_view>

namespace ascii {

inline bool isAscii(std::string_view s) {
    for (char c : s) {
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    }
    return true;
}

inline char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

inline char upper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// The text with its ASCII letters in lower (upper) case; other bytes as they are.
inline std::string lowered(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = lower(c);
    return out;
}
inline std::string uppered(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = upper(c);
    return out;
}

inline bool equalNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

// The blanks of a line: space and tab.
inline bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

inline std::string_view trimLeft(std::string_view s) {
    while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
    return s;
}

inline std::string_view trimRight(std::string_view s) {
    while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
    return s;
}

inline bool startsNoCase(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && equalNoCase(s.substr(0, prefix.size()), prefix);
}

}  // namespace ascii
