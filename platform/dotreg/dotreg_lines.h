// Reading the lines of a .reg file into changes, once the file is decoded
// and its header known (dotreg_read.cpp decodes, dotreg_lines.cpp reads).
#pragma once

#include <string>
#include <vector>

#include "dotreg/dotreg.h"

namespace dotreg::lines {

struct Line {
    std::string text;   // UTF-8, without its line break
    bool valid = true;  // false when its UTF-16 is not valid (text then shows U+FFFD)
};

// The file's lines, and the encoding they came in: hex data of text values
// is UTF-16LE in a UTF-16 file and code-page bytes in an 8-bit one, whatever
// the header says.
struct Text {
    bool utf16 = false;
    std::vector<Line> lines;
};

// Where what is skipped or read differently goes: into warnings, or, when
// reading strictly, out as the ImportError of that line.
class Report {
  public:
    explicit Report(Reading reading) : reading_(reading) {}
    void warn(int line, const std::string& what);
    void skip(int line, const std::string& why);
    Reading reading() const { return reading_; }
    std::vector<Warning> warnings;

  private:
    Reading reading_;
};

enum class Layout {
    Keys,   // REGEDIT4 and version 5.00: [key] lines and their values
    Win31,  // REGEDIT: "HKEY_CLASSES_ROOT\key = text" lines
};

// The changes of the lines after the header (text.lines[0]).
std::vector<Change> read(const Text& text, Layout layout, regstore::TextData target,
                         Report& report);

}  // namespace dotreg::lines
