#include "wineprefix/wine_format.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include "text/ascii.h"
#include "text/excerpt.h"
#include "text/hexdigits.h"
#include "text/utf16.h"
#include "text/utf8.h"

namespace wine_format {
namespace {

[[noreturn]] void throwParseError(int line, const std::string& what) {
    throw ParseError(line, what);
}

// The line that starts at `begin`, without its line end; *next is where the
// following line starts.
std::string_view lineFrom(std::string_view text, size_t begin, size_t* next) {
    const void* nl = std::memchr(text.data() + begin, '\n', text.size() - begin);
    size_t end = nl ? static_cast<size_t>(static_cast<const char*>(nl) - text.data()) : text.size();
    *next = nl ? end + 1 : end;
    std::string_view line = text.substr(begin, end - begin);
    if (line.ends_with('\r')) line.remove_suffix(1);
    return line;
}

// The code point of the UTF-8 sequence at s[*i]; moves *i past it. -1 when
// it is not valid UTF-8.
long utf8At(std::string_view s, size_t* i) {
    char32_t cp = 0;
    const size_t n = utf8::decode(s.substr(*i), &cp);
    if (n == 0) return -1;
    *i += n;
    return static_cast<long>(cp);
}

void appendUnit(std::string& utf16le, unsigned unit) {
    utf16le.push_back(static_cast<char>(unit & 0xFF));
    utf16le.push_back(static_cast<char>(unit >> 8));
}

// Whether s holds a byte outside ASCII, eight bytes at a time.
bool anyHighBit(std::string_view s) {
    size_t k = 0;
    for (; k + 8 <= s.size(); k += 8) {
        std::uint64_t word;
        std::memcpy(&word, s.data() + k, 8);
        if (word & 0x8080808080808080ull) return true;
    }
    for (; k < s.size(); ++k) {
        if (static_cast<unsigned char>(s[k]) >= 0x80) return true;
    }
    return false;
}

// Checks escaped text from line[*i] up to an unescaped `close`, as
// unescape() reads it, without decoding it: the close is found with memchr
// and counted backslashes, the UTF-8 checked only where there is some.
bool skipEscaped(std::string_view line, size_t* i, char close) {
    const size_t from = *i;
    size_t k = from;
    while (true) {
        const void* hit =
            k < line.size() ? std::memchr(line.data() + k, close, line.size() - k) : nullptr;
        if (!hit) return false;
        const size_t at = static_cast<size_t>(static_cast<const char*>(hit) - line.data());
        size_t backslashes = 0;
        while (at - backslashes > from && line[at - backslashes - 1] == '\\') ++backslashes;
        if (backslashes % 2 == 0) {
            std::string_view text = line.substr(from, at - from);
            if (anyHighBit(text)) {
                for (size_t p = 0; p < text.size();) {
                    if (static_cast<unsigned char>(text[p]) < 0x80) {
                        ++p;
                    } else if (utf8At(text, &p) < 0) {
                        return false;
                    }
                }
            }
            *i = at + 1;
            return true;
        }
        k = at + 1;
    }
}

// Reads escaped text from line[*i] up to an unescaped `close` into UTF-16LE
// code units (only checks it when `out` is null); leaves *i after `close`.
// False when there is no `close`, or the text is not valid UTF-8.
bool unescape(std::string_view line, size_t* i, char close, std::string* out) {
    if (!out) return skipEscaped(line, i, close);
    size_t k = *i;
    while (k < line.size()) {
        // Plain ASCII, nearly all of a file, goes in runs.
        size_t run = k;
        while (run < line.size() && line[run] != close && line[run] != '\\' &&
               static_cast<unsigned char>(line[run]) < 0x80)
            ++run;
        if (out) {
            for (size_t r = k; r < run; ++r) {
                out->push_back(line[r]);
                out->push_back('\0');
            }
        }
        k = run;
        if (k >= line.size()) break;
        char c = line[k];
        if (c == close) {
            *i = k + 1;
            return true;
        }
        if (static_cast<unsigned char>(c) >= 0x80) {
            long cp = utf8At(line, &k);
            if (cp < 0) return false;
            if (!out) continue;
            if (cp >= 0x10000) {
                cp -= 0x10000;
                appendUnit(*out, 0xD800 | static_cast<unsigned>(cp >> 10));
                appendUnit(*out, 0xDC00 | static_cast<unsigned>(cp & 0x3FF));
            } else {
                appendUnit(*out, static_cast<unsigned>(cp));
            }
            continue;
        }
        ++k;  // the backslash
        if (k >= line.size()) return false;
        char e = line[k++];
        unsigned unit = static_cast<unsigned char>(e);
        switch (e) {
            case 'n':
                unit = '\n';
                break;
            case 'r':
                unit = '\r';
                break;
            case 't':
                unit = '\t';
                break;
            case 'a':
                unit = '\a';
                break;
            case 'b':
                unit = '\b';
                break;
            case 'f':
                unit = '\f';
                break;
            case 'v':
                unit = '\v';
                break;
            case 'x': {
                int digits = 0;
                unit = 0;
                while (digits < 4 && k < line.size() && hexdigits::value(line[k]) >= 0) {
                    unit = unit << 4 | static_cast<unsigned>(hexdigits::value(line[k++]));
                    ++digits;
                }
                if (digits == 0) unit = 'x';
                break;
            }
            default:
                if (e >= '0' && e <= '7') {
                    unit = static_cast<unsigned>(e - '0');
                    for (int digits = 1;
                         digits < 3 && k < line.size() && line[k] >= '0' && line[k] <= '7';
                         ++digits)
                        unit = unit << 3 | static_cast<unsigned>(line[k++] - '0');
                    unit &= 0xFFFF;
                } else if (static_cast<unsigned char>(e) >= 0x80) {
                    --k;  // an escaped non-ASCII character stands for itself
                    continue;
                }
                break;
        }
        if (out) appendUnit(*out, unit);
    }
    return false;
}

std::uint32_t hexNumber(std::string_view digits, int line, const char* what) {
    if (digits.empty() || digits.size() > 8)
        throwParseError(line, std::string(what) + " needs 1 to 8 hex digits");
    std::uint32_t n = 0;
    for (char ch : digits) {
        int d = hexdigits::value(ch);
        if (d < 0)
            throwParseError(
                line, std::string(what) + " needs 1 to 8 hex digits, not " + excerpt::of(digits));
        n = n << 4 | static_cast<std::uint32_t>(d);
    }
    return n;
}

// Decodes the value line (and its continuation lines) at `begin` into
// `item`; returns where the next line starts.
// With `decode` false the line is only checked; the item keeps its place
// and kind.
// `line` and `next` are the line at `begin` and where the one after starts.
size_t valueAt(std::string_view text, size_t begin, std::string_view line, size_t next, int* lineNo,
               Item& item, bool decode) {
    const int first = *lineNo;
    item.kind = Item::Value;
    item.begin = begin;
    item.data.clear();
    size_t i = 0;
    if (line[0] == '@') {
        i = 1;
        item.name.clear();
    } else {
        i = 1;
        std::string units;
        if (!unescape(line, &i, '"', decode ? &units : nullptr))
            throwParseError(first, "the value name " + excerpt::of(line) +
                                       " has no closing quote or is not UTF-8");
        if (decode) item.name = utf16::toUtf8Lenient(units);
    }
    item.nameEnd = begin + i;
    if (i >= line.size() || line[i] != '=')
        throwParseError(first, "expected = after the value name");
    std::string_view rest = line.substr(i + 1);
    auto quotedData = [&](std::string_view from) {
        size_t k = 1;
        if (from.empty() || from[0] != '"')
            throwParseError(first, "expected a quoted string, not " + excerpt::of(from));
        if (!unescape(from, &k, '"', decode ? &item.data : nullptr))
            throwParseError(
                first, "the string " + excerpt::of(from) + " has no closing quote or is not UTF-8");
        if (!ascii::trimRight(from.substr(k)).empty())
            throwParseError(first,
                            "unexpected text after the string: " + excerpt::of(from.substr(k)));
        if (decode) appendUnit(item.data, 0);
    };
    if (rest.starts_with('"')) {
        item.type = REG_SZ;
        quotedData(rest);
    } else if (rest.starts_with("str:")) {
        item.type = REG_SZ;
        quotedData(rest.substr(4));
    } else if (rest.starts_with("str(")) {
        size_t close = rest.find("):");
        if (close == std::string_view::npos) throwParseError(first, "expected ): after str(n");
        item.type = hexNumber(rest.substr(4, close - 4), first, "str(n):");
        quotedData(rest.substr(close + 2));
    } else if (rest.starts_with("dword:")) {
        item.type = REG_DWORD;
        std::uint32_t n = hexNumber(ascii::trimRight(rest.substr(6)), first, "dword:");
        for (int b = 0; b < 4 && decode; ++b)
            item.data.push_back(static_cast<char>(n >> (8 * b) & 0xFF));
    } else if (rest.starts_with("hex")) {
        rest.remove_prefix(3);
        item.type = REG_BINARY;
        if (rest.starts_with('(')) {
            size_t close = rest.find(')');
            if (close == std::string_view::npos) throwParseError(first, "expected ) after hex(n");
            item.type = hexNumber(rest.substr(1, close - 1), first, "hex(n):");
            rest.remove_prefix(close + 1);
        }
        if (!rest.starts_with(':')) throwParseError(first, "expected : after hex or hex(n)");
        rest.remove_prefix(1);
        while (true) {
            std::string_view part = ascii::trimRight(rest);
            bool more = part.ends_with('\\');
            if (more) part.remove_suffix(1);
            size_t k = 0;
            while (true) {
                while (k < part.size() && ascii::isBlank(part[k])) ++k;
                if (k == part.size()) break;
                int hi = hexdigits::value(part[k]);
                if (hi < 0) throwParseError(*lineNo, "bad hex byte " + excerpt::of(part.substr(k)));
                int byte = hi;
                if (++k < part.size() && hexdigits::value(part[k]) >= 0)
                    byte = byte << 4 | hexdigits::value(part[k++]);
                if (decode) item.data.push_back(static_cast<char>(byte));
                while (k < part.size() && ascii::isBlank(part[k])) ++k;
                if (k == part.size()) break;
                if (part[k] != ',')
                    throwParseError(*lineNo, "bad hex byte list at " + excerpt::of(part.substr(k)));
                ++k;
            }
            if (!more) break;
            if (next >= text.size())
                throwParseError(*lineNo, "the value continues past the end of the file");
            ++*lineNo;
            rest = lineFrom(text, next, &next);
            while (!rest.empty() && ascii::isBlank(rest.front())) rest.remove_prefix(1);
        }
    } else {
        throwParseError(first, "unknown kind of value data " + excerpt::of(rest) +
                                   " (expected \"text\", str:, str(n):, dword:, hex: or hex(n):)");
    }
    item.end = next;
    return next;
}

// What kind of line a section's body line is; throws for one it cannot hold.
Item::Kind kindOf(std::string_view line, int lineNo) {
    std::string_view t = ascii::trimRight(line);
    if (t.empty() || t.front() == ';') return Item::Other;
    if (t.front() == '#') return Item::Option;
    if (t.front() == '"' || t.front() == '@') return Item::Value;
    throwParseError(lineNo,
                    "expected a [key], a value, an #option or a ;comment, not " + excerpt::of(t));
}

// The section whose key line `line` starts at `begin`; `next` is where the
// line after it starts.
Section keyLineAt(std::string_view line, size_t begin, size_t next, int lineNo) {
    size_t i = 1;
    if (!unescape(line, &i, ']', nullptr))
        throwParseError(lineNo, "the key line has no closing ] or is not UTF-8");
    Section s;
    s.begin = begin;
    s.pathEnd = begin + i - 1;
    s.bodyBegin = next;
    s.line = lineNo;
    std::string_view rest = ascii::trimRight(line.substr(i));
    while (!rest.empty() && ascii::isBlank(rest.front())) rest.remove_prefix(1);
    for (char c : rest) {
        if (c < '0' || c > '9')
            throwParseError(lineNo, "unexpected text after the key: " + excerpt::of(rest));
    }
    return s;
}

// The first line, which must be the signature; sets the file's line end.
size_t signatureLine(std::string_view text, Layout& layout) {
    size_t next = 0;
    std::string_view first = lineFrom(text, 0, &next);
    if (ascii::trimRight(first) != kSignature)
        throwParseError(1, "not a Wine registry file: the first line must be \"" +
                               std::string(kSignature) + "\"");
    if (next >= 2 && text[next - 2] == '\r') layout.eol = "\r\n";
    return next;
}

}  // namespace

Layout parse(std::string_view text) {
    Layout layout;
    size_t next = signatureLine(text, layout);
    int lineNo = 1;
    size_t pos = next;
    bool inSection = false;
    Item item;
    while (pos < text.size()) {
        ++lineNo;
        const size_t begin = pos;
        std::string_view line = lineFrom(text, begin, &next);
        if (!line.empty() && line.front() == '[') {
            if (!inSection) layout.headerEnd = begin;
            if (!layout.sections.empty()) layout.sections.back().end = begin;
            inSection = true;
            layout.sections.push_back(keyLineAt(line, begin, next, lineNo));
            pos = next;
            continue;
        }
        if (!inSection) {
            std::string_view t = ascii::trimRight(line);
            if (!t.empty() && t.front() != ';' && t.front() != '#')
                throwParseError(
                    lineNo, "expected a [key], an #option or a ;comment, not " + excerpt::of(t));
            pos = next;
            continue;
        }
        if (kindOf(line, lineNo) == Item::Value) {
            pos = valueAt(text, begin, line, next, &lineNo, item, false);
        } else {
            pos = next;
        }
    }
    if (!inSection) layout.headerEnd = text.size();
    if (!layout.sections.empty()) layout.sections.back().end = text.size();
    return layout;
}

void pathOf(std::string_view text, const Section& section, std::string& out) {
    std::string_view line = text.substr(section.begin, section.pathEnd + 1 - section.begin);
    size_t i = 1;
    std::string units;
    unescape(line, &i, ']', &units);  // checked when the file was read
    out = utf16::toUtf8Lenient(units);
}

void namesOf(std::string_view text, const Section& section, std::vector<std::string_view>& parts,
             std::string& scratch) {
    parts.clear();
    std::string_view raw = section.rawPath(text);
    auto add = [&](std::string_view name) {
        if (!name.empty()) parts.push_back(name);
    };
    if (!anyHighBit(raw)) {
        bool plain = true;
        for (size_t k = 0;;) {
            size_t slash = raw.find('\\', k);
            if (slash == std::string_view::npos) {
                add(raw.substr(k));
                break;
            }
            if (slash + 1 >= raw.size() || raw[slash + 1] != '\\') {
                plain = false;
                break;
            }
            add(raw.substr(k, slash - k));
            k = slash + 2;
        }
        if (plain) return;
        parts.clear();
    }
    pathOf(text, section, scratch);
    std::string_view rest = scratch;
    while (!rest.empty()) {
        size_t cut = rest.find('\\');
        add(rest.substr(0, cut));
        if (cut == std::string_view::npos) break;
        rest.remove_prefix(cut + 1);
    }
}

std::vector<Item> body(std::string_view text, const Section& section) {
    std::vector<Item> items;
    int lineNo = section.line;
    size_t pos = section.bodyBegin;
    while (pos < section.end) {
        ++lineNo;
        size_t next = 0;
        std::string_view line = lineFrom(text, pos, &next);
        Item item;
        item.kind = kindOf(line, lineNo);
        if (item.kind == Item::Value) {
            next = valueAt(text, pos, line, next, &lineNo, item, true);
        } else {
            item.begin = pos;
            item.end = next;
        }
        items.push_back(std::move(item));
        pos = next;
    }
    return items;
}

// ---- Writing ----

namespace {

bool isOctal(unsigned unit) {
    return unit >= '0' && unit <= '7';
}

bool isHex(unsigned unit) {
    return unit < 0x80 && hexdigits::value(static_cast<char>(unit)) >= 0;
}

// UTF-16LE code units escaped as Wine escapes them; in a key line [ and ]
// are escaped and quotes are not.
std::string escape(std::string_view utf16le, bool keyLine) {
    std::string out;
    out.reserve(utf16le.size() / 2);
    const size_t count = utf16le.size() / 2;
    auto unitAt = [&](size_t k) {
        return static_cast<unsigned>(static_cast<unsigned char>(utf16le[2 * k]) |
                                     static_cast<unsigned char>(utf16le[2 * k + 1]) << 8);
    };
    for (size_t k = 0; k < count; ++k) {
        unsigned u = unitAt(k);
        unsigned following = k + 1 < count ? unitAt(k + 1) : 0;
        if (u == '\\' || (u == '"' && !keyLine) || ((u == '[' || u == ']') && keyLine)) {
            out.push_back('\\');
            out.push_back(static_cast<char>(u));
        } else if (u == '\n') {
            out += "\\n";
        } else if (u == '\r') {
            out += "\\r";
        } else if (u == '\t') {
            out += "\\t";
        } else if (u < 0x20) {
            std::string digits;
            for (unsigned v = u; v != 0 || digits.empty(); v >>= 3)
                digits.insert(digits.begin(), static_cast<char>('0' + (v & 7)));
            if (isOctal(following)) digits.insert(0, 3 - digits.size(), '0');
            out += "\\" + digits;
        } else if (u < 0x80) {
            out.push_back(static_cast<char>(u));
        } else {
            out += "\\x" + hexdigits::of(u, isHex(following) ? 4 : 1);
        }
    }
    return out;
}

std::string utf16Of(std::string_view utf8) {
    std::string units;
    if (!utf16::fromUtf8(utf8, units)) units.clear();
    return units;
}

// Text data Wine writes as a quoted string: whole code units, the last one
// the only terminating NUL.
bool quotable(DWORD type, std::string_view data) {
    if (!isTextType(type) || data.size() < 2 || data.size() % 2 != 0) return false;
    return data[data.size() - 1] == '\0' && data[data.size() - 2] == '\0';
}

}  // namespace

std::string nameText(std::string_view utf8Name) {
    if (utf8Name.empty()) return "@";
    return "\"" + escape(utf16Of(utf8Name), false) + "\"";
}

std::string pathText(std::string_view utf8Path) {
    return escape(utf16Of(utf8Path), true);
}

std::string valueText(std::string_view nameText, DWORD type, std::string_view data,
                      std::string_view eol) {
    std::string line(nameText);
    line.push_back('=');
    if (quotable(type, data)) {
        if (type != REG_SZ) line += "str(" + hexdigits::of(type, 1) + "):";
        return line + "\"" + escape(data.substr(0, data.size() - 2), false) + "\"" +
               std::string(eol);
    }
    if (type == REG_DWORD && data.size() == 4) {
        std::uint32_t n = 0;
        for (int b = 3; b >= 0; --b)
            n = n << 8 | static_cast<unsigned char>(data[static_cast<size_t>(b)]);
        return line + "dword:" + hexdigits::of(n, 8) + std::string(eol);
    }
    line += type == REG_BINARY ? "hex:" : "hex(" + hexdigits::of(type, 1) + "):";
    // Wrapped as Wine wraps: after a byte and its comma, a line that has
    // passed column 76 ends with a backslash and the next is indented.
    std::string out;
    for (size_t k = 0; k < data.size(); ++k) {
        line += hexdigits::of(static_cast<unsigned char>(data[k]), 2);
        if (k + 1 == data.size()) break;
        line.push_back(',');
        if (line.size() > 76) {
            out += line + "\\" + std::string(eol);
            line = "  ";
        }
    }
    return out + line + std::string(eol);
}

std::string keyLine(std::string_view rawPath, std::int64_t unixSeconds, std::string_view eol) {
    return "[" + std::string(rawPath) + "] " + std::to_string(unixSeconds) + std::string(eol);
}

std::string timeLine(std::uint64_t filetime, std::string_view eol) {
    std::string digits = filetime >> 32
                             ? hexdigits::of(static_cast<std::uint32_t>(filetime >> 32), 1) +
                                   hexdigits::of(static_cast<std::uint32_t>(filetime), 8)
                             : hexdigits::of(static_cast<std::uint32_t>(filetime), 1);
    return "#time=" + digits + std::string(eol);
}

std::int64_t unixNow() {
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

std::uint64_t filetimeNow() {
    // FILETIME counts 100-nanosecond intervals since 1601-01-01.
    constexpr std::uint64_t kEpochDifference = 116444736000000000ull;
    auto ticks = std::chrono::duration_cast<std::chrono::nanoseconds>(
                     std::chrono::system_clock::now().time_since_epoch())
                     .count() /
                 100;
    return kEpochDifference + static_cast<std::uint64_t>(ticks);
}

}  // namespace wine_format
