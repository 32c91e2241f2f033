// Reading .reg files: decoding into lines, the header, and applying the
// changes in one transaction.
#include <algorithm>
#include <optional>

#include "dotreg/dotreg.h"
#include "dotreg/dotreg_lines.h"
#include "files/untrusted_file.h"
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
constexpr std::uintmax_t kLargestFile = 64 * 1024 * 1024;

[[noreturn]] void throwImportError(int line, const std::string& what) {
    throw ImportError(line, what);
}

// The header, read from the first line: the layout of the lines after it;
// nullopt for a REGEDIT header of a version reg.exe does not know, which
// it takes as a file to read nothing of (a success). Blanks may come
// before the header, nothing after it.
std::optional<Layout> layoutOf(std::string_view firstLine, Report& report) {
    std::string_view header = ascii::trimLeft(firstLine);
    if (header == kWin31) return Layout::Win31;
    if (header == kRegedit4 || header == kUnicode) return Layout::Keys;
    if (!header.starts_with(kWin31))
        throwImportError(1, "not a registry file: the first line must be REGEDIT4 or \"" +
                                std::string(kUnicode) + "\"");
    report.skip(1, "the whole file: the header " + excerpt::of(header) +
                       " is of no version known (REGEDIT4, REGEDIT or \"" + std::string(kUnicode) +
                       "\")");
    return std::nullopt;
}

// Reads the file, giving each change to `sink` as it is read.
void readInto(std::string_view bytes, regstore::TextData text, Report& report,
              const lines::Sink& sink) {
    if (bytes.starts_with("\xFE\xFF"))
        throwImportError(1, "big-endian UTF-16 files are not supported");
    lines::Lines lines(bytes, report);
    Line first;
    lines.next(first);
    if (const std::optional<Layout> layout = layoutOf(first.text, report))
        lines::read(lines, *layout, text, report, sink);
    // In line order: a warning about a line within a value continued over
    // lines comes when that line is decoded, before the value's own.
    std::stable_sort(report.warnings.begin(), report.warnings.end(),
                     [](const Warning& a, const Warning& b) { return a.line < b.line; });
}

// Makes changes in the store as they come, keeping the key the values go
// in; the caller begins and ends the transaction. A change that fails
// throws ImportError naming its line.
class Applier {
  public:
    explicit Applier(regstore::Store& store) : store_(store) {}

    void operator()(const Change& c) {
        try {
            switch (c.kind) {
                case Change::CreateKey:
                    key_ = store_.createKey(c.root, c.keyPath);
                    break;
                case Change::DeleteKey:
                    if (std::optional<regstore::KeyId> doomed = store_.findKey(c.root, c.keyPath))
                        store_.deleteKey(*doomed);
                    key_.reset();
                    break;
                case Change::SetValue:
                case Change::DeleteValue:
                    if (!key_) throw ImportError(c.line, "a value outside a key");
                    if (c.kind == Change::SetValue) {
                        store_.setValue(*key_, c.name, c.type, c.data);
                    } else {
                        store_.deleteValue(*key_, c.name);
                    }
                    break;
            }
        } catch (const ImportError&) {
            throw;
        } catch (const std::exception& e) {
            throw ImportError(c.line, e.what());
        }
    }

  private:
    regstore::Store& store_;
    std::optional<regstore::KeyId> key_;
};

// Runs `changes` (which makes them through an Applier, calling `begin`
// first) in one transaction of the store: all of them or, when one fails,
// none. The transaction begins with the first change, so that a file that
// turns out to be no registry file never touches the store; one without a
// change is still begun and committed, as reg.exe's import succeeds.
template <typename F>
void inOneTransaction(regstore::Store& store, F&& changes) {
    bool begun = false;
    const auto begin = [&] {
        if (begun) return;
        begun = true;
        store.begin();
    };
    try {
        changes(begin);
        begin();
        store.commit();
    } catch (const ImportError&) {
        if (begun) store.rollback();
        throw;
    } catch (const std::exception& e) {
        if (begun) store.rollback();
        throw ImportError(0, e.what());
    }
}

}  // namespace

namespace lines {

namespace {

bool isBreak(char32_t c) {
    return c == '\n' || c == '\r';
}

constexpr std::string_view kNul = "the text holds a NUL character; what follows it is not read";

}  // namespace

Lines::Lines(std::string_view bytes, Report& report) : bytes_(bytes), report_(report) {
    if (bytes_.starts_with("\xFF\xFE")) {
        utf16_ = true;
        bytes_.remove_prefix(2);
        odd_ = bytes_.size() % 2 != 0;
        if (odd_) bytes_.remove_suffix(1);
    }
}

bool Lines::next(Line& line) {
    if (done_) return false;
    ++number_;
    if (!utf16_) {
        // 8-bit text, code page 1252.
        size_t end = at_;
        while (end < bytes_.size() && bytes_[end] != '\0' &&
               !isBreak(static_cast<unsigned char>(bytes_[end])))
            ++end;
        line.text = codepage::toUtf8(bytes_.substr(at_, end - at_));
        line.valid = true;
        if (end == bytes_.size() || bytes_[end] == '\0') {
            if (end < bytes_.size()) report_.warn(number_, std::string(kNul));
            done_ = true;
            return true;
        }
        if (bytes_[end] == '\r' && end + 1 < bytes_.size() && bytes_[end + 1] == '\n') ++end;
        at_ = end + 1;
        return true;
    }
    // UTF-16LE, each line decoded on its own: one that is not valid UTF-16
    // is marked so.
    auto unit = [&](size_t i) {
        return static_cast<char32_t>(static_cast<unsigned char>(bytes_[i]) |
                                     static_cast<unsigned char>(bytes_[i + 1]) << 8);
    };
    size_t end = at_;
    while (end < bytes_.size() && unit(end) != 0 && !isBreak(unit(end))) end += 2;
    const std::string_view units = bytes_.substr(at_, end - at_);
    utf16::Decoded d = utf16::toUtf8(units);
    line.valid = d.ok;
    line.text = d.ok ? std::move(d.utf8) : utf16::toUtf8Lenient(units);
    if (end == bytes_.size() || unit(end) == 0) {
        if (end < bytes_.size()) {
            report_.warn(number_, std::string(kNul));
        } else if (odd_) {
            report_.warn(number_,
                         "the UTF-16 text has an odd number of bytes; the last is not read");
        }
        done_ = true;
        return true;
    }
    if (unit(end) == '\r' && end + 2 < bytes_.size() && unit(end + 2) == '\n') end += 2;
    at_ = end + 2;
    return true;
}

}  // namespace lines

Parsed read(std::string_view bytes, regstore::TextData text, Reading reading) {
    Report report(reading);
    Parsed parsed;
    readInto(bytes, text, report, [&](Change&& c) { parsed.changes.push_back(std::move(c)); });
    parsed.warnings = std::move(report.warnings);
    parsed.moreWarnings = report.moreWarnings;
    return parsed;
}

std::vector<Change> parse(std::string_view bytes, regstore::TextData text) {
    return read(bytes, text, Reading::Strict).changes;
}

void apply(regstore::Store& store, const std::vector<Change>& changes) {
    Applier applier(store);
    inOneTransaction(store, [&](const auto& begin) {
        begin();
        for (const Change& c : changes) applier(c);
    });
}

Skipped importFile(regstore::Store& store, const std::filesystem::path& file, Reading reading) {
    std::string bytes;
    try {
        bytes = untrusted_file::read(file, kLargestFile);
    } catch (const untrusted_file::Refused& e) {
        throwImportError(0, e.what());
    }
    // Each change is made as it is read, none kept: the import costs the
    // file's bytes and what the store keeps of it.
    Report report(reading);
    Applier applier(store);
    inOneTransaction(store, [&](const auto& begin) {
        readInto(bytes, store.textData(), report, [&](Change&& c) {
            begin();
            applier(c);
        });
    });
    return {std::move(report.warnings), report.moreWarnings};
}

}  // namespace dotreg
