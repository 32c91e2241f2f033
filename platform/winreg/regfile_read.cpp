// Reading .reg files: decoding, parsing every line with each field checked,
// and applying the changes in one transaction.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "text/ascii.h"
#include "text/codepage.h"
#include "text/excerpt.h"
#include "text/hexdigits.h"
#include "text/utf16.h"
#include "winreg/regfile.h"

namespace regfile {

ImportError::ImportError(int line, const std::string& reason)
    : std::runtime_error(line > 0 ? "line " + std::to_string(line) + ": " + reason : reason),
      line_(line),
      reason_(reason) {}

namespace {

constexpr std::string_view kRegedit4 = "REGEDIT4";
constexpr std::string_view kUnicode = "Windows Registry Editor Version 5.00";
// More than any registry file has reason to hold; refused before it is read.
constexpr off_t kLargestFile = 64 * 1024 * 1024;

[[noreturn]] void throwImportError(int line, const std::string& what) {
    throw ImportError(line, what);
}

// The number of the line that `text`, from the start of the file, ends on.
int lineNumberAt(std::string_view text) {
    int line = 1;
    for (char c : text) line += c == '\n';
    return line;
}

// The file as UTF-8 lines, and which format its encoding says it is.
struct Text {
    Format format = Format::Regedit4;
    std::vector<std::string> lines;
};

Text decode(std::string_view bytes) {
    Text t;
    std::string utf8;
    if (bytes.starts_with("\xFF\xFE")) {
        std::string_view body = bytes.substr(2);
        utf16::Decoded d = utf16::toUtf8(body);
        if (!d.ok) {
            bool halfAtEnd = body.size() % 2 == 1 && d.stop == body.size() - 1;
            throwImportError(lineNumberAt(d.utf8),
                             halfAtEnd ? "the UTF-16 text has an odd number of bytes"
                                       : "the text is not valid UTF-16");
        }
        t.format = Format::Unicode;
        utf8 = std::move(d.utf8);
    } else if (bytes.starts_with("\xFE\xFF")) {
        throwImportError(1, "big-endian UTF-16 files are not supported");
    } else {
        utf8 = codepage::toUtf8(bytes);
    }
    if (size_t nul = utf8.find('\0'); nul != std::string::npos) {
        throwImportError(lineNumberAt(std::string_view(utf8).substr(0, nul)),
                         "the text holds a NUL character");
    }
    std::string_view rest = utf8;
    while (true) {
        size_t cut = rest.find('\n');
        std::string_view line = rest.substr(0, cut);
        if (line.ends_with('\r')) line.remove_suffix(1);
        t.lines.emplace_back(line);
        if (cut == std::string_view::npos) break;
        rest.remove_prefix(cut + 1);
    }
    return t;
}

// Text from the file in the hive's code page; refused when it has a character
// the code page cannot hold (only a Unicode file can have one).
std::string toCodePage(std::string_view utf8, int line) {
    std::string bytes = codepage::fromUtf8(utf8);
    if (codepage::toUtf8(bytes) != utf8) {
        throwImportError(line, "the text " + excerpt::of(utf8) +
                                   " has characters that code page 1252 cannot hold");
    }
    return bytes;
}

class Parser {
  public:
    Parser(Text text, regstore::TextData target) : text_(std::move(text)), target_(target) {}

    std::vector<Change> run() {
        checkHeader();
        for (index_ = 1; index_ < text_.lines.size(); ++index_) {
            std::string_view line = ascii::trimLeft(text_.lines[index_]);
            if (ascii::trimRight(line).empty() || line.front() == ';') continue;
            if (line.front() == '[') {
                key(line);
            } else if (line.front() == '"' || line.front() == '@') {
                value(line);
            } else {
                throwImportError(lineNo(),
                                 "expected a [key], a \"value\"= or @=, not " + excerpt::of(line));
            }
        }
        return std::move(changes_);
    }

  private:
    int lineNo() const { return static_cast<int>(index_) + 1; }

    void checkHeader() {
        std::string_view first = ascii::trimRight(text_.lines.front());
        std::string_view expected = text_.format == Format::Unicode ? kUnicode : kRegedit4;
        if (first == expected) return;
        if (first == kUnicode)
            throwImportError(
                1, "a \"" + std::string(kUnicode) + "\" file must be UTF-16LE text with a BOM");
        if (first == kRegedit4)
            throwImportError(1, "a REGEDIT4 file must be 8-bit text, not UTF-16");
        throwImportError(1, "not a registry file: the first line must be REGEDIT4 or \"" +
                                std::string(kUnicode) + "\"");
    }

    void key(std::string_view line) {
        line = ascii::trimRight(line);
        if (line.size() < 2 || line.back() != ']')
            throwImportError(lineNo(), "the key line has no closing ]");
        std::string_view inner = line.substr(1, line.size() - 2);
        bool remove = inner.starts_with('-');
        if (remove) inner.remove_prefix(1);
        size_t cut = inner.find('\\');
        std::string_view rootPart = inner.substr(0, cut);
        std::optional<regstore::Root> root = regstore::rootNamed(rootPart);
        if (!root) throwImportError(lineNo(), "unknown root key " + excerpt::of(rootPart));
        std::string_view path =
            cut == std::string_view::npos ? std::string_view() : inner.substr(cut + 1);
        if (remove && regstore::splitKeyPath(path).empty())
            throwImportError(lineNo(), "a root key cannot be deleted");
        Change c;
        c.kind = remove ? Change::DeleteKey : Change::CreateKey;
        c.line = lineNo();
        c.root = *root;
        c.keyPath = std::string(path);
        changes_.push_back(std::move(c));
        state_ = remove ? State::Deleted : State::InKey;
    }

    // A "quoted" text starting at line[*pos]; leaves *pos after the closing quote.
    std::string quoted(std::string_view line, size_t* pos) {
        std::string out;
        size_t i = *pos + 1;
        while (true) {
            if (i >= line.size())
                throwImportError(lineNo(), "the string " + excerpt::of(line.substr(*pos)) +
                                               " has no closing quote");
            char c = line[i++];
            if (c == '"') break;
            if (c == '\\') {
                if (i >= line.size()) continue;  // reported as unterminated above
                char next = line[i++];
                if (next != '\\' && next != '"') {
                    throwImportError(lineNo(), std::string("unknown escape \\") + next +
                                                   " (only \\\\ and \\\" are known)");
                }
                c = next;
            }
            out.push_back(c);
        }
        *pos = i;
        return out;
    }

    void value(std::string_view line) {
        if (state_ == State::None) throwImportError(lineNo(), "a value before any [key]");
        if (state_ == State::Deleted)
            throwImportError(lineNo(), "a value under a key that is being deleted");
        Change c;
        c.line = lineNo();
        size_t pos = 0;
        if (line.front() == '@') {
            pos = 1;
        } else {
            c.name = quoted(line, &pos);
        }
        std::string_view rest = ascii::trimLeft(line.substr(pos));
        if (!rest.starts_with('=')) throwImportError(lineNo(), "expected = after the value name");
        rest = ascii::trimLeft(rest.substr(1));
        if (rest.starts_with('-') && ascii::trimRight(rest.substr(1)).empty()) {
            c.kind = Change::DeleteValue;
        } else if (rest.starts_with('"')) {
            size_t end = 0;
            std::string text = quoted(rest, &end);
            if (!ascii::trimRight(rest.substr(end)).empty()) {
                throwImportError(lineNo(), "unexpected text after the string: " +
                                               excerpt::of(ascii::trimRight(rest.substr(end))));
            }
            c.kind = Change::SetValue;
            c.type = REG_SZ;
            if (target_ == regstore::TextData::Utf16) {
                utf16::fromUtf8(text, c.data);  // the decoded file is valid UTF-8
                c.data.append(2, '\0');
            } else {
                c.data = toCodePage(text, lineNo());
                c.data.push_back('\0');
            }
        } else if (ascii::startsNoCase(rest, "dword:")) {
            c.kind = Change::SetValue;
            c.type = REG_DWORD;
            c.data = dword(ascii::trimRight(rest.substr(6)));
        } else if (ascii::startsNoCase(rest, "hex")) {
            c.kind = Change::SetValue;
            c.data = hex(rest.substr(3), &c.type);
        } else {
            throwImportError(lineNo(), "unknown kind of value data " + excerpt::of(rest) +
                                           " (expected \"text\", dword:, hex:, hex(n): or -)");
        }
        changes_.push_back(std::move(c));
    }

    std::string dword(std::string_view digits) {
        if (digits.empty() || digits.size() > 8)
            throwImportError(lineNo(), "dword: needs 1 to 8 hex digits");
        std::uint32_t n = 0;
        for (char ch : digits) {
            int d = hexdigits::value(ch);
            if (d < 0)
                throwImportError(lineNo(),
                                 "dword: needs 1 to 8 hex digits, not " + excerpt::of(digits));
            n = n << 4 | static_cast<std::uint32_t>(d);
        }
        std::string bytes(4, '\0');
        for (int i = 0; i < 4; ++i)
            bytes[static_cast<size_t>(i)] = static_cast<char>(n >> (8 * i) & 0xFF);
        return bytes;
    }

    // hex:... or hex(n):..., after the word hex; continues over lines that end in a backslash.
    std::string hex(std::string_view rest, DWORD* type) {
        const int first = lineNo();
        *type = REG_BINARY;
        if (rest.starts_with('(')) {
            size_t close = rest.find(')');
            std::string_view digits =
                rest.substr(1, close == std::string_view::npos ? 0 : close - 1);
            if (close == std::string_view::npos || digits.empty() || digits.size() > 8) {
                throwImportError(lineNo(), "hex(n): needs a type of 1 to 8 hex digits");
            }
            std::uint32_t n = 0;
            for (char ch : digits) {
                int d = hexdigits::value(ch);
                if (d < 0)
                    throwImportError(lineNo(), "hex(n): needs a type of 1 to 8 hex digits, not " +
                                                   excerpt::of(digits));
                n = n << 4 | static_cast<std::uint32_t>(d);
            }
            *type = n;
            rest.remove_prefix(close + 1);
        }
        if (!rest.starts_with(':')) throwImportError(lineNo(), "expected : after hex or hex(n)");
        rest.remove_prefix(1);
        std::string bytes;
        while (true) {
            std::string_view part = ascii::trimRight(rest);
            bool more = part.ends_with('\\');
            if (more) part.remove_suffix(1);
            hexBytes(part, &bytes);
            if (!more) break;
            if (index_ + 1 >= text_.lines.size())
                throwImportError(lineNo(), "the value continues past the end of the file");
            ++index_;
            rest = ascii::trimLeft(text_.lines[index_]);
        }
        if (!isTextType(*type)) return bytes;
        const bool utf16File = text_.format == Format::Unicode;
        if (target_ == regstore::TextData::Utf16)
            return utf16File ? bytes : codepage::toUtf16(bytes);
        return utf16File ? textFromUtf16(bytes, first) : bytes;
    }

    // Comma-separated bytes of one line; a comma may end the line.
    void hexBytes(std::string_view s, std::string* bytes) {
        size_t i = 0;
        while (true) {
            while (i < s.size() && ascii::isBlank(s[i])) ++i;
            if (i == s.size()) return;
            int hi = hexdigits::value(s[i]);
            if (hi < 0) throwImportError(lineNo(), "bad hex byte " + excerpt::of(s.substr(i)));
            int value = hi;
            ++i;
            if (i < s.size() && hexdigits::value(s[i]) >= 0)
                value = value << 4 | hexdigits::value(s[i++]);
            bytes->push_back(static_cast<char>(value));
            while (i < s.size() && ascii::isBlank(s[i])) ++i;
            if (i == s.size()) return;
            if (s[i] != ',')
                throwImportError(lineNo(), "bad hex byte list at " + excerpt::of(s.substr(i)));
            ++i;
        }
    }

    // The UTF-16LE data of a text value in a Unicode file, as code-page bytes.
    static std::string textFromUtf16(std::string_view bytes, int line) {
        if (bytes.size() % 2 != 0)
            throwImportError(line, "the UTF-16 text of the value has an odd number of bytes");
        utf16::Decoded d = utf16::toUtf8(bytes);
        if (!d.ok) throwImportError(line, "the data of the value is not valid UTF-16 text");
        return toCodePage(d.utf8, line);
    }

    enum class State { None, InKey, Deleted };
    Text text_;
    regstore::TextData target_;
    size_t index_ = 0;
    State state_ = State::None;
    std::vector<Change> changes_;
};

}  // namespace

std::vector<Change> parse(std::string_view bytes, regstore::TextData text) {
    return Parser(decode(bytes), text).run();
}

void apply(regstore::Store& hive, const std::vector<Change>& changes) {
    int line = 0;
    try {
        hive.begin();
        std::optional<regstore::KeyId> key;
        for (const Change& c : changes) {
            line = c.line;
            switch (c.kind) {
                case Change::CreateKey:
                    key = hive.createKey(c.root, c.keyPath);
                    break;
                case Change::DeleteKey:
                    if (std::optional<regstore::KeyId> doomed = hive.findKey(c.root, c.keyPath))
                        hive.deleteKey(*doomed);
                    key.reset();
                    break;
                case Change::SetValue:
                case Change::DeleteValue:
                    if (!key) throw ImportError(c.line, "a value outside a key");
                    if (c.kind == Change::SetValue) {
                        hive.setValue(*key, c.name, c.type, c.data);
                    } else {
                        hive.deleteValue(*key, c.name);
                    }
                    break;
            }
        }
        line = 0;
        hive.commit();
    } catch (const ImportError&) {
        hive.rollback();
        throw;
    } catch (const std::exception& e) {
        hive.rollback();
        throw ImportError(line, e.what());
    }
}

void importFile(regstore::Store& hive, const std::filesystem::path& file) {
    int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) throwImportError(0, "cannot read " + file.string() + ": " + std::strerror(errno));
    std::string bytes;
    struct stat st {};
    int error = 0;
    if (::fstat(fd, &st) != 0) {
        error = errno;
    } else if (S_ISDIR(st.st_mode)) {
        error = EISDIR;
    } else if (S_ISREG(st.st_mode) && st.st_size > kLargestFile) {
        error = EFBIG;
    } else {
        char buffer[65536];
        while (true) {
            ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) error = errno;
            if (n <= 0) break;
            bytes.append(buffer, static_cast<size_t>(n));
            if (static_cast<off_t>(bytes.size()) > kLargestFile) {
                error = EFBIG;
                break;
            }
        }
    }
    ::close(fd);
    if (error) throwImportError(0, "cannot read " + file.string() + ": " + std::strerror(error));
    regfile::apply(hive, parse(bytes, hive.textData()));
}

}  // namespace regfile
