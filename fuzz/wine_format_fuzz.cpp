// Fuzzes the reading of Wine's registry files: every line of the file, then
// every section's values. A file is either refused with the line of its
// fault, or its sections lie in order within it and each value decodes.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "wineprefix/wine_format.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const int most = static_cast<int>(size) + 1;
    try {
        wine_format::Layout layout = wine_format::parse(text);
        std::size_t previous = layout.headerEnd;
        for (const wine_format::Section& s : layout.sections) {
            if (s.begin != previous || s.pathEnd < s.begin || s.bodyBegin > s.end || s.end > size)
                __builtin_trap();
            previous = s.end;
            for (const wine_format::Item& item : wine_format::body(text, s)) {
                if (item.begin < s.bodyBegin || item.end > s.end || item.begin >= item.end)
                    __builtin_trap();
            }
        }
        if (previous != size) __builtin_trap();
    } catch (const wine_format::ParseError& error) {
        if (error.line() < 1 || error.line() > most) __builtin_trap();
    }
    return 0;
}
