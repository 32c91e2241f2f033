// The lines of a .reg file, read as Windows' reg import reads them: what it
// skips, a line or a value, is skipped and reported; what it accepts
// besides what our own files hold (comments after values, blank and comment
// lines inside a continued hex value, blanks where they do no harm) is
// accepted. Strict reading turns each report into a fault.
#include "dotreg/dotreg_lines.h"

#include "text/ascii.h"
#include "text/codepage.h"
#include "text/excerpt.h"
#include "text/hexdigits.h"
#include "text/utf16.h"
#include "text/utf8.h"

namespace dotreg::lines {

void Report::warn(int line, const std::string& what) {
    if (reading_ == Reading::Strict) throw ImportError(line, what);
    if (warnings.size() < kMostWarnings) {
        warnings.push_back({line, what});
    } else {
        ++moreWarnings;
    }
}

void Report::skip(int line, const std::string& why) {
    if (reading_ == Reading::Strict) throw ImportError(line, why);
    warn(line, "skipped: " + why);
}

namespace {

// Why the line being read is skipped, thrown within its reading.
struct Skip {
    std::string why;
};

size_t skipBlanks(std::string_view s, size_t i) {
    while (i < s.size() && ascii::isBlank(s[i])) ++i;
    return i;
}

// Whether nothing but blanks and a ; comment follow `i`.
bool endsAt(std::string_view s, size_t i) {
    i = skipBlanks(s, i);
    return i == s.size() || s[i] == ';';
}

// Roots Windows has that our stores do not keep.
bool isRootElsewhere(std::string_view name) {
    for (std::string_view other : {"HKEY_USERS", "HKU", "HKEY_CURRENT_CONFIG", "HKCC"}) {
        if (ascii::equalNoCase(name, other)) return true;
    }
    return false;
}

// Text from the file in the hive's code page; skipped when it has a
// character the code page cannot hold (only a UTF-16 file can have one).
std::string toCodePage(std::string_view utf8) {
    std::string bytes = codepage::fromUtf8(utf8);
    if (codepage::toUtf8(bytes) != utf8)
        throw Skip{"the text " + excerpt::of(utf8) +
                   " has characters that code page 1252 cannot hold"};
    return bytes;
}

// A text value's data, NUL-terminated, in the store's encoding.
std::string storedText(const std::string& utf8, regstore::TextData target) {
    std::string data;
    if (target == regstore::TextData::Utf16) {
        utf16::fromUtf8(utf8, data);  // the decoded file is valid UTF-8
        data.append(2, '\0');
    } else {
        data = toCodePage(utf8);
        data.push_back('\0');
    }
    return data;
}

class Reader {
  public:
    Reader(Lines& lines, regstore::TextData target, Report& report, const Sink& sink)
        : lines_(lines),
          target_(target),
          report_(report),
          sink_(sink),
          asRegExe_(report.reading() == Reading::AsRegExe) {}

    void keys() {
        while (lines_.next(line_)) {
            std::string_view line = ascii::trimLeft(line_.text);
            if (line.empty() || line.front() == ';' || line.front() == '#') continue;
            if (!line_.valid) {
                report_.skip(lineNo(), "the line is not valid UTF-16 text");
                continue;
            }
            const int first = lineNo();
            if (line.front() != '[' && line.front() != '"' && line.front() != '@') {
                // The commonest junk, and a file may be all of it: said
                // without the cost of a throw, in words only while they are
                // kept.
                if (report_.kept()) {
                    report_.skip(first,
                                 "expected a [key], a \"value\"= or @=, not " + excerpt::of(line));
                } else {
                    ++report_.moreWarnings;
                }
                continue;
            }
            notes_.clear();
            try {
                if (line.front() == '[') {
                    key(line);
                } else {
                    value(line);
                }
                for (const std::string& note : notes_) report_.warn(first, note);
            } catch (const Skip& s) {
                report_.skip(first, s.why);
            }
        }
    }

    // Windows 3.1: "HKEY_CLASSES_ROOT\path = text" sets the key's default
    // value; the path ends at the first blank, one space after the = belongs
    // to it, and the text is the rest of the line as it stands.
    void win31() {
        constexpr std::string_view kRoot = "HKEY_CLASSES_ROOT";
        while (lines_.next(line_)) {
            std::string_view line = line_.text;
            try {
                if (!line.starts_with(kRoot)) {
                    std::string_view rest = ascii::trimLeft(line);
                    if (!rest.empty() && rest.front() != ';')
                        throw Skip{"a REGEDIT file sets only lines that start with " +
                                   std::string(kRoot) + ", not " + excerpt::of(line)};
                    continue;
                }
                if (!line_.valid) throw Skip{"the line is not valid UTF-16 text"};
                size_t end = 0;
                while (end < line.size() && !ascii::isBlank(line[end])) ++end;
                std::string_view name = line.substr(0, end);
                if (name.size() > kRoot.size() && name[kRoot.size()] != '\\')
                    throw Skip{"unknown root key " + excerpt::of(name.substr(0, name.find('\\')))};
                std::string_view rest = line.substr(skipBlanks(line, end));
                if (rest.starts_with('=')) {
                    rest.remove_prefix(1);
                    if (rest.starts_with(' ')) rest.remove_prefix(1);
                }
                std::string data = storedText(std::string(rest), target_);
                Change key;
                key.line = lineNo();
                key.root = regstore::Root::ClassesRoot;
                key.keyPath = std::string(name.substr(std::min(name.size(), kRoot.size() + 1)));
                sink_(std::move(key));
                Change value;
                value.kind = Change::SetValue;
                value.line = lineNo();
                value.type = REG_SZ;
                value.data = std::move(data);
                sink_(std::move(value));
            } catch (const Skip& s) {
                report_.skip(lineNo(), s.why);
            }
        }
    }

  private:
    int lineNo() const { return lines_.number(); }

    // [key] or [-key]: the name runs to the last ], text after it is ignored.
    void key(std::string_view line) {
        state_ = State::Skipped;
        const bool remove = line.size() > 1 && line[1] == '-';
        const size_t start = remove ? 2 : 1;
        if (start < line.size() && ascii::isBlank(line[start]))
            throw Skip{"a key name cannot start with a blank: " + excerpt::of(line)};
        const size_t close = line.rfind(']');
        if (close == std::string_view::npos || close < start)
            throw Skip{"the key line has no closing ]: " + excerpt::of(line)};
        if (!endsAt(line, close + 1)) {
            notes_.push_back("the text after the ] is ignored: " +
                             excerpt::of(ascii::trimRight(line.substr(close + 1))));
        }
        std::string_view inner = line.substr(start, close - start);
        const size_t cut = inner.find('\\');
        std::string_view rootPart = inner.substr(0, cut);
        std::optional<regstore::Root> root = regstore::rootNamed(rootPart);
        if (!root && isRootElsewhere(rootPart))
            throw Skip{excerpt::of(rootPart) + " is a root key this registry does not keep"};
        if (!root) throw Skip{"unknown root key " + excerpt::of(rootPart)};
        std::string_view path =
            cut == std::string_view::npos ? std::string_view() : inner.substr(cut + 1);
        if (remove && regstore::splitKeyPath(path).empty())
            throw Skip{"a root key cannot be deleted"};
        Change c;
        c.kind = remove ? Change::DeleteKey : Change::CreateKey;
        c.line = lineNo();
        c.root = *root;
        c.keyPath = std::string(path);
        state_ = remove ? State::Deleted : State::InKey;
        sink_(std::move(c));
    }

    // A "quoted" text starting at line[*pos]; leaves *pos after the closing
    // quote. \\, \", \n and \r are known; \0 makes the line skipped; any
    // other character after a backslash stands for itself.
    std::string quoted(std::string_view line, size_t* pos) {
        std::string out;
        size_t i = *pos + 1;
        while (true) {
            if (i >= line.size())
                throw Skip{"the string " + excerpt::of(line.substr(*pos)) +
                           " has no closing quote"};
            char c = line[i++];
            if (c == '"') break;
            if (c == '\\' && i < line.size()) {
                c = line[i++];
                if (c == 'n' || c == 'r') {
                    c = c == 'n' ? '\n' : '\r';
                } else if (c == '0') {
                    throw Skip{"the string " + excerpt::of(line.substr(*pos)) + " holds \\0"};
                } else if (c != '\\' && c != '"') {
                    char32_t cp = 0;
                    const size_t n = std::max<size_t>(1, utf8::sequence(line.substr(i - 1), &cp));
                    std::string_view ch = line.substr(i - 1, n);
                    notes_.push_back("unknown escape \\" + std::string(ch) + " read as " +
                                     std::string(ch));
                    out.append(ch);
                    i += n - 1;
                    continue;
                }
            } else if (c == '\\') {
                continue;  // reported as unterminated above
            }
            out.push_back(c);
        }
        *pos = i;
        return out;
    }

    void value(std::string_view line) {
        Change c;
        c.line = lineNo();
        size_t pos = 1;
        if (line.front() == '"') {
            pos = 0;
            c.name = quoted(line, &pos);
        }
        pos = skipBlanks(line, pos);
        if (pos == line.size() || line[pos] != '=')
            throw Skip{"expected = after the value name in " + excerpt::of(line)};
        std::string_view rest = line.substr(skipBlanks(line, pos + 1));
        if (rest.starts_with('-') && endsAt(rest, 1)) {
            c.kind = Change::DeleteValue;
        } else if (rest.starts_with('"')) {
            size_t end = 0;
            std::string text = quoted(rest, &end);
            if (!endsAt(rest, end))
                throw Skip{"unexpected text after the string: " +
                           excerpt::of(ascii::trimRight(rest.substr(end)))};
            c.kind = Change::SetValue;
            c.type = REG_SZ;
            c.data = storedText(text, target_);
        } else if (rest.starts_with("dword:")) {
            c.kind = Change::SetValue;
            c.type = REG_DWORD;
            c.data = dword(rest);
        } else if (rest.starts_with("hex")) {
            c.kind = Change::SetValue;
            c.data = hex(rest, &c.type);
        } else {
            throw Skip{"unknown kind of value data " + excerpt::of(ascii::trimRight(rest)) +
                       " (expected \"text\", dword:, hex:, hex(n): or -)"};
        }
        // Read in full (a hex value's continued lines too), then dropped when
        // there is no key to hold it.
        if (state_ == State::None) throw Skip{"a value before any [key]"};
        if (state_ == State::Skipped) throw Skip{"a value under a [key] line that was skipped"};
        if (state_ == State::Deleted) throw Skip{"a value under a key that is being deleted"};
        sink_(std::move(c));
    }

    // dword: and 1 to 8 hex digits.
    static std::string dword(std::string_view rest) {
        const size_t start = skipBlanks(rest, 6);
        size_t end = start;
        std::uint32_t n = 0;
        while (end < rest.size() && hexdigits::value(rest[end]) >= 0)
            n = n << 4 | static_cast<std::uint32_t>(hexdigits::value(rest[end++]));
        if (end == start || end - start > 8 || !endsAt(rest, end))
            throw Skip{excerpt::of(ascii::trimRight(rest.substr(0, rest.find(';')))) +
                       " is not a number"};
        std::string bytes(4, '\0');
        for (int i = 0; i < 4; ++i)
            bytes[static_cast<size_t>(i)] = static_cast<char>(n >> (8 * i) & 0xFF);
        return bytes;
    }

    // The type of hex(n): blanks, a sign and hex digits; hex() is type 0.
    static DWORD hexType(std::string_view digits) {
        auto refuse = [&]() -> Skip {
            return Skip{"hex(" + std::string(digits) + ") does not name a type of value"};
        };
        size_t i = skipBlanks(digits, 0);
        if (digits.empty()) return REG_NONE;
        const bool negative = i < digits.size() && digits[i] == '-';
        if (i < digits.size() && (digits[i] == '+' || digits[i] == '-')) ++i;
        if (i == digits.size()) throw refuse();
        std::uint64_t n = 0;
        for (; i < digits.size(); ++i) {
            const int d = hexdigits::value(digits[i]);
            if (d < 0) throw refuse();
            n = n << 4 | static_cast<std::uint64_t>(d);
            if (n > 0xFFFFFFFFu) throw refuse();
        }
        const auto type = static_cast<DWORD>(negative ? 0u - n : n);
        if (type == 0xFFFFFFFFu) throw refuse();
        return type;
    }

    enum class HexEnd { Value, Continues };

    // One byte at s[i] (a sign and 0x may come first): leaves i after it.
    static void hexByte(std::string_view s, size_t* i, std::string* out) {
        const size_t start = *i;
        size_t at = start;
        const bool negative = at < s.size() && s[at] == '-';
        if (at < s.size() && (s[at] == '+' || s[at] == '-')) ++at;
        if (at + 2 < s.size() && s[at] == '0' && (s[at + 1] == 'x' || s[at + 1] == 'X') &&
            hexdigits::value(s[at + 2]) >= 0)
            at += 2;
        const size_t digits = at;
        unsigned n = 0;
        while (at < s.size() && hexdigits::value(s[at]) >= 0 && n <= 0xFF)
            n = n << 4 | static_cast<unsigned>(hexdigits::value(s[at++]));
        size_t end = at;
        while (end < s.size() && s[end] != ',' && s[end] != ';' && !ascii::isBlank(s[end])) ++end;
        if (end == start)
            throw Skip{"a hex byte is missing before " + excerpt::of(s.substr(start))};
        if (at == digits || end != at || n > 0xFF || (negative && n != 0))
            throw Skip{excerpt::of(s.substr(start, end - start)) + " is not a hex byte"};
        out->push_back(static_cast<char>(n));
        *i = at;
    }

    // After a backslash that continues the value: only blanks and a comment.
    static HexEnd continued(std::string_view s, size_t i) {
        if (!endsAt(s, i + 1))
            throw Skip{"text after the \\ that continues the value: " +
                       excerpt::of(ascii::trimRight(s.substr(i)))};
        return HexEnd::Continues;
    }

    // The comma-separated bytes of one line. A comma may end the list; a
    // backslash after a comma, or first after hex:, continues it on the next
    // line.
    static HexEnd hexBytes(std::string_view s, bool dataStart, std::string* out) {
        size_t i = skipBlanks(s, 0);
        if (endsAt(s, i)) return HexEnd::Value;
        if (dataStart && s[i] == '\\') return continued(s, i);
        while (true) {
            hexByte(s, &i, out);
            if (i < s.size() && s[i] == ',') {
                i = skipBlanks(s, i + 1);
                if (endsAt(s, i)) return HexEnd::Value;
                if (s[i] == '\\') return continued(s, i);
                continue;
            }
            if (!endsAt(s, i))
                throw Skip{"a hex byte must be followed by a comma, not " +
                           excerpt::of(ascii::trimRight(s.substr(i)))};
            return HexEnd::Value;
        }
    }

    // hex:... or hex(n):...; continues over lines, past blank and comment
    // lines, while a line ends in a backslash. The end of the file ends it.
    std::string hex(std::string_view rest, DWORD* type) {
        *type = REG_BINARY;
        rest.remove_prefix(3);
        if (rest.starts_with('(')) {
            const size_t close = rest.find(')');
            if (close == std::string_view::npos) throw Skip{"hex( has no closing )"};
            *type = hexType(rest.substr(1, close - 1));
            rest.remove_prefix(close + 1);
        }
        if (!rest.starts_with(':'))
            throw Skip{"expected : after hex or hex(n), not " + excerpt::of(rest)};
        std::string bytes;
        HexEnd end = hexBytes(rest.substr(1), true, &bytes);
        while (end == HexEnd::Continues) {
            std::string_view next;
            while (next.empty()) {
                if (!lines_.next(line_)) {
                    notes_.push_back("the value continues past the end of the file");
                    return textData(bytes, *type);
                }
                next = ascii::trimLeft(line_.text);
                if (next.starts_with(';')) next = {};
            }
            try {
                if (!line_.valid) throw Skip{"text that is not valid UTF-16"};
                end = hexBytes(next, false, &bytes);
            } catch (const Skip& s) {
                throw Skip{"the value continues on line " + std::to_string(lineNo()) + ": " +
                           s.why};
            }
        }
        return textData(bytes, *type);
    }

    // The data of hex(1), hex(2) and hex(7) in the store's encoding, with a
    // terminating NUL added where it lacks one (as reg.exe adds it).
    std::string textData(std::string bytes, DWORD type) const {
        if (!isTextType(type)) return bytes;
        const size_t unit = lines_.utf16() ? 2 : 1;
        if (bytes.size() % unit != 0)
            throw Skip{"the UTF-16 text of the value has an odd number of bytes"};
        if (asRegExe_ && !bytes.empty() &&
            bytes.find_first_not_of('\0', bytes.size() - unit) != std::string::npos)
            bytes.append(unit, '\0');
        if (target_ == regstore::TextData::Utf16)
            return lines_.utf16() ? bytes : codepage::toUtf16(bytes);
        if (!lines_.utf16()) return bytes;
        utf16::Decoded d = utf16::toUtf8(bytes);
        if (!d.ok) throw Skip{"the data of the value is not valid UTF-16 text"};
        return toCodePage(d.utf8);
    }

    enum class State { None, InKey, Skipped, Deleted };
    Lines& lines_;
    regstore::TextData target_;
    Report& report_;
    const Sink& sink_;
    bool asRegExe_;
    Line line_;  // the line being read
    State state_ = State::None;
    std::vector<std::string> notes_;  // warnings about the line being read
};

}  // namespace

void read(Lines& lines, Layout layout, regstore::TextData target, Report& report,
          const Sink& sink) {
    Reader reader(lines, target, report, sink);
    if (layout == Layout::Win31) {
        reader.win31();
    } else {
        reader.keys();
    }
}

}  // namespace dotreg::lines
