// Conversion between the program's text (UTF-8) and the registry's 8-bit text
// in code page 1252, the ANSI code page of a Western Windows machine.
#pragma once

#include <QString>
#include <string>
#include <string_view>

namespace codepage {

// UTF-8 to code page 1252. A character the code page cannot hold, and a byte
// sequence that is not valid UTF-8, become '?'.
std::string fromUtf8(std::string_view utf8);

// Code page 1252 to UTF-8. The five bytes the code page leaves undefined
// (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the C1 controls of the same number, as
// Windows does, so that every byte string survives the round trip.
std::string toUtf8(std::string_view cp1252);

// Code page 1252 to UTF-16LE, one code unit for each byte, for stores that
// keep text in UTF-16. Every byte string survives the round trip.
std::string toUtf16(std::string_view cp1252);
// UTF-16LE to code page 1252. A character the code page cannot hold and an
// unpaired surrogate become '?'; an odd last byte is dropped.
std::string fromUtf16(std::string_view utf16le);

// The program's own text to and from the code page, for the functions that
// take 8-bit text.
std::string fromText(const QString& text);
QString toText(std::string_view cp1252);

}  // namespace codepage
