// Conversion between UTF-8 and UTF-16LE (the text of Unicode .reg files),
// strict in both directions: a sequence that is not valid is reported, never
// replaced.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace utf16 {

struct Decoded {
    std::string utf8;      // the text converted up to the first fault
    bool ok = true;        // false when the input holds an invalid sequence
    std::size_t stop = 0;  // offset in the input of the first byte not converted
};

// UTF-16LE (without a byte order mark) to UTF-8. An odd trailing byte, an
// unpaired surrogate and the like stop the conversion.
Decoded toUtf8(std::string_view utf16le);

// UTF-16LE to UTF-8 for showing and matching: each unpaired surrogate and
// an odd last byte become U+FFFD.
std::string toUtf8Lenient(std::string_view utf16le);

// UTF-8 to UTF-16LE; false when the input is not valid UTF-8.
bool fromUtf8(std::string_view utf8, std::string& utf16le);

}  // namespace utf16
