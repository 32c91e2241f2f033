// Wine's registry files ("WINE REGISTRY Version 2": a prefix's system.reg and
// user.reg), read as the bytes they hold so that a change rewrites only the
// keys it touches.
//
// A file is a header (the version line, ";;" comments, "#arch=" and other
// option lines), then one section a key: "[escaped\\path] seconds", option
// lines ("#time=" with the key's FILETIME in hex, "#link", "#class=", ...)
// and value lines:
//   @=... or "name"=...      the default value, or a named one
//   "text"  str:"text"       REG_SZ, stored as UTF-16LE with one NUL
//   str(N):"text"            type N (hex), the same way (2 and 7 as Wine writes)
//   dword:1a2b3c4d           REG_DWORD
//   hex:01,02  hex(N):01,02  REG_BINARY or type N, raw bytes, continued over
//                            lines that end in a backslash
// Names and strings escape \\ \" \n \r \t, control characters in octal
// (\1, \037) and other characters as the hex of their UTF-16 code unit
// (\xe9, \x20ac); a key line escapes [ and ] too.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "winreg/regtypes.h"

namespace wine_format {

inline constexpr std::string_view kSignature = "WINE REGISTRY Version 2";

// A file that is not one Wine reads: the line (from 1) and what is wrong.
class ParseError : public std::runtime_error {
  public:
    ParseError(int line, const std::string& reason)
        : std::runtime_error("line " + std::to_string(line) + ": " + reason),
          line_(line),
          reason_(reason) {}
    int line() const { return line_; }
    const std::string& reason() const { return reason_; }

  private:
    int line_;
    std::string reason_;
};

// One key's section of a file.
struct Section {
    std::size_t begin = 0;      // the first byte of its key line
    std::size_t pathEnd = 0;    // where the escaped path ends (at the closing ])
    std::size_t bodyBegin = 0;  // the first byte after the key line
    std::size_t end = 0;        // where the next section or the file begins
    int line = 0;               // of the key line
    std::string path;           // UTF-8, components separated by single backslashes

    // The path as the file spells it, escapes and all.
    std::string_view rawPath(std::string_view text) const {
        return text.substr(begin + 1, pathEnd - begin - 1);
    }
};

// The layout of a whole file; every line is checked.
struct Layout {
    std::size_t headerEnd = 0;  // where the first section begins
    std::vector<Section> sections;
    std::string eol = "\n";  // the file's line end, for lines written into it
};

// Checks the text line by line and finds its sections. Throws ParseError.
Layout parse(std::string_view text);

// A section's key path in UTF-8, components separated by single
// backslashes, into `out`.
void pathOf(std::string_view text, const Section& section, std::string& out);
// A section's key names in UTF-8, in `parts`: views into the text itself
// for a plain path (ASCII, no escapes but the separators), else into
// `scratch`, which then holds the decoded path.
void namesOf(std::string_view text, const Section& section, std::vector<std::string_view>& parts,
             std::string& scratch);

// One line (or, for hex data, lines) of a section's body, in file order.
struct Item {
    enum Kind { Option, Value, Other };  // Other: blank and comment lines
    Kind kind = Other;
    std::size_t begin = 0;  // its bytes, with the line end
    std::size_t end = 0;
    // Value lines:
    std::size_t nameEnd = 0;  // the name as spelled is text[begin, nameEnd)
    std::string name;         // UTF-8; empty for the default value
    DWORD type = REG_NONE;
    std::string data;
};

// A section's body, every value decoded. Throws ParseError.
std::vector<Item> body(std::string_view text, const Section& section);

// ---- Writing ----

// A value name as a value line spells it: @ or a quoted, escaped name.
std::string nameText(std::string_view utf8Name);
// A key path (components in UTF-8, separated by single backslashes) as a key
// line spells it.
std::string pathText(std::string_view utf8Path);
// A value line in the form Wine writes: text as "..." or str(N):"..." when
// it is UTF-16 ending in exactly one NUL, a four-byte REG_DWORD as dword:,
// anything else as hex: or hex(N): wrapped as Wine wraps it.
std::string valueText(std::string_view nameText, DWORD type, std::string_view data,
                      std::string_view eol);
// A key line and the #time= option line.
std::string keyLine(std::string_view rawPath, std::int64_t unixSeconds, std::string_view eol);
std::string timeLine(std::uint64_t filetime, std::string_view eol);
// The time now, in both forms Wine keeps it.
std::int64_t unixNow();
std::uint64_t filetimeNow();

}  // namespace wine_format
