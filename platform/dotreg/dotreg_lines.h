// Reading the lines of a .reg file into changes: dotreg_read.cpp decodes
// the file a line at a time (Lines), dotreg_lines.cpp reads each line as it
// comes. Nothing holds more than the line being read: a file of millions of
// lines costs its own bytes and the changes made of it.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "dotreg/dotreg.h"

namespace dotreg::lines {

struct Line {
    std::string text;   // UTF-8, without its line break
    bool valid = true;  // false when its UTF-16 is not valid (text then shows U+FFFD)
};

// Where what is skipped or read differently goes: into warnings (the
// first kMostWarnings of them, and the count of the others), or, when
// reading strictly, out as the ImportError of that line.
class Report {
  public:
    explicit Report(Reading reading) : reading_(reading) {}
    void warn(int line, const std::string& what);
    void skip(int line, const std::string& why);
    Reading reading() const { return reading_; }
    // Whether a warning now would be kept (or, reading strictly, thrown);
    // when it would only be counted, its words need not be made.
    bool kept() const { return reading_ == Reading::Strict || warnings.size() < kMostWarnings; }
    std::vector<Warning> warnings;
    std::size_t moreWarnings = 0;

  private:
    Reading reading_;
};

// The lines of a file's text, decoded one at a time as they are asked
// for. A line break is CR LF, LF or a CR alone; a NUL ends the text, as it
// ends it for reg.exe. The encoding they came in tells how hex data of text
// values is read: UTF-16LE in a UTF-16 file, code-page bytes in an 8-bit
// one, whatever the header says.
class Lines {
  public:
    // `bytes`: the whole file (a UTF-16 one with its byte order mark).
    Lines(std::string_view bytes, Report& report);
    bool utf16() const { return utf16_; }
    // The next line into `line`; false after the last one. A file has at
    // least one line, empty if need be.
    bool next(Line& line);
    // The number of the line last read, counted from 1.
    int number() const { return number_; }

  private:
    std::string_view bytes_;
    Report& report_;
    bool utf16_ = false;
    bool odd_ = false;  // a UTF-16 text with a byte left over
    bool done_ = false;
    std::size_t at_ = 0;
    int number_ = 0;
};

// Each change, in file order, as it is read.
using Sink = std::function<void(Change&&)>;

enum class Layout {
    Keys,   // REGEDIT4 and version 5.00: [key] lines and their values
    Win31,  // REGEDIT: "HKEY_CLASSES_ROOT\key = text" lines
};

// Reads the lines after the header (the first line, read already) into
// changes for `sink`.
void read(Lines& lines, Layout layout, regstore::TextData target, Report& report, const Sink& sink);

}  // namespace dotreg::lines
