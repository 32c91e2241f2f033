// Text from files the user did not write (other programs' names and
// folders, lines of a downloaded .reg file), made safe to print on a
// terminal: nothing in it can move the cursor, clear the screen or talk to
// the terminal (ESC sequences, OSC 52 writing the clipboard...).
//
// Control characters (C0, DEL, and C1 in their UTF-8 form) and bytes that
// are not UTF-8 become \xNN, one for each byte, and a backslash becomes \\;
// printable UTF-8 is kept. So the original bytes can always be had back,
// for example with the shell's printf '%b'.
#pragma once

#include <string>
#include <string_view>

namespace escape {

// The text on one line: its line breaks escaped too.
std::string forTerminal(std::string_view text);

// A message of our own that embeds such text: each of its lines escaped,
// the line breaks between them kept, and its backslashes left as they are
// (a message is read, never taken apart again; and the text quoted in it
// may have been escaped already, see excerpt.h).
std::string linesForTerminal(std::string_view text);

}  // namespace escape
