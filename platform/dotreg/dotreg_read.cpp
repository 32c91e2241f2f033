// Reading .reg files: decoding into lines, the header, and applying the
// changes in one transaction.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "dotreg/dotreg.h"
#include "dotreg/dotreg_lines.h"
#include "text/ascii.h"
#include "text/codepage.h"
#include "text/excerpt.h"
#include "text/utf16.h"

namespace dotreg {

ImportError::ImportError(int line, const std::string& reason)
    : std::runtime_error(line > 0 ? "line " + std::to_string(line) + ": " + reason : reason),
      line_(line),
      reason_(reason) {}

namespace {

using lines::Layout;
using lines::Line;
using lines::Report;

constexpr std::string_view kRegedit4 = "REGEDIT4";
constexpr std::string_view kUnicode = "Windows Registry Editor Version 5.00";
constexpr std::string_view kWin31 = "REGEDIT";
// More than any registry file has reason to hold; refused before it is read.
constexpr off_t kLargestFile = 64 * 1024 * 1024;

[[noreturn]] void throwImportError(int line, const std::string& what) {
    throw ImportError(line, what);
}

// A line break is CR LF, LF or a CR alone.
bool isBreak(char32_t c) {
    return c == '\n' || c == '\r';
}

// Splits 8-bit text (code page 1252) into lines; a NUL ends the text, as
// it ends it for reg.exe.
lines::Text decode8(std::string_view bytes, Report& report) {
    lines::Text t;
    size_t start = 0;
    for (size_t i = 0;; ++i) {
        const bool nul = i < bytes.size() && bytes[i] == '\0';
        if (i == bytes.size() || nul || isBreak(static_cast<unsigned char>(bytes[i]))) {
            t.lines.push_back({codepage::toUtf8(bytes.substr(start, i - start)), true});
            if (nul)
                report.warn(static_cast<int>(t.lines.size()),
                            "the text holds a NUL character; what follows it is not read");
            if (i == bytes.size() || nul) break;
            if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') ++i;
            start = i + 1;
        }
    }
    return t;
}

// Splits UTF-16LE text (after its byte order mark) into lines, each decoded
// on its own: a line that is not valid UTF-16 is marked so, and a NUL ends
// the text.
lines::Text decode16(std::string_view bytes, Report& report) {
    lines::Text t;
    t.utf16 = true;
    const bool odd = bytes.size() % 2 != 0;
    if (odd) bytes.remove_suffix(1);
    auto unit = [&](size_t i) {
        return static_cast<char32_t>(static_cast<unsigned char>(bytes[i]) |
                                     static_cast<unsigned char>(bytes[i + 1]) << 8);
    };
    size_t start = 0;
    for (size_t i = 0;; i += 2) {
        const bool nul = i < bytes.size() && unit(i) == 0;
        if (i == bytes.size() || nul || isBreak(unit(i))) {
            std::string_view line = bytes.substr(start, i - start);
            utf16::Decoded d = utf16::toUtf8(line);
            t.lines.push_back(d.ok ? Line{std::move(d.utf8), true}
                                   : Line{utf16::toUtf8Lenient(line), false});
            if (nul)
                report.warn(static_cast<int>(t.lines.size()),
                            "the text holds a NUL character; what follows it is not read");
            if (nul) break;
            if (i == bytes.size()) {
                if (odd)
                    report.warn(static_cast<int>(t.lines.size()),
                                "the UTF-16 text has an odd number of bytes; the last is not read");
                break;
            }
            if (unit(i) == '\r' && i + 2 < bytes.size() && unit(i + 2) == '\n') i += 2;
            start = i + 2;
        }
    }
    return t;
}

}  // namespace

Parsed read(std::string_view bytes, regstore::TextData text, Reading reading) {
    Report report(reading);
    if (bytes.starts_with("\xFE\xFF"))
        throwImportError(1, "big-endian UTF-16 files are not supported");
    const lines::Text t =
        bytes.starts_with("\xFF\xFE") ? decode16(bytes.substr(2), report) : decode8(bytes, report);
    // Blanks may come before the header, nothing after it. Any other
    // REGEDIT header is one of a version reg.exe does not know: it reads
    // nothing of the file, and calls that a success.
    std::string_view header = ascii::trimLeft(t.lines.front().text);
    Layout layout = Layout::Keys;
    if (header == kWin31) {
        layout = Layout::Win31;
    } else if (header != kRegedit4 && header != kUnicode) {
        if (!header.starts_with(kWin31))
            throwImportError(1, "not a registry file: the first line must be REGEDIT4 or \"" +
                                    std::string(kUnicode) + "\"");
        report.skip(1, "the whole file: the header " + excerpt::of(header) +
                           " is of no version known (REGEDIT4, REGEDIT or \"" +
                           std::string(kUnicode) + "\")");
        return {{}, std::move(report.warnings)};
    }
    std::vector<Change> changes = lines::read(t, layout, text, report);
    std::stable_sort(report.warnings.begin(), report.warnings.end(),
                     [](const Warning& a, const Warning& b) { return a.line < b.line; });
    return {std::move(changes), std::move(report.warnings)};
}

std::vector<Change> parse(std::string_view bytes, regstore::TextData text) {
    return read(bytes, text, Reading::Strict).changes;
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

std::vector<Warning> importFile(regstore::Store& hive, const std::filesystem::path& file,
                                Reading reading) {
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
    Parsed parsed = read(bytes, hive.textData(), reading);
    dotreg::apply(hive, parsed.changes);
    return std::move(parsed.warnings);
}

}  // namespace dotreg
