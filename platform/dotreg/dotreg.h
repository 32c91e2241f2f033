// Registry files (.reg): reading them into changes of a hive, and writing a
// key with everything below it.
//
// Two formats: "REGEDIT4" text in code page 1252, and "Windows Registry Editor
// Version 5.00" text in UTF-16LE with a byte order mark. Values are written as
// "quoted text", dword:, hex: or hex(n):, the default value as @, deletions as
// "name"=- and [-key]. A string read from a file is stored as its text and a
// terminating NUL, in the store's text encoding (code-page bytes in the hive,
// UTF-16LE in a Wine prefix). In a Unicode file the hex(1), hex(2) and hex(7)
// data of text values are UTF-16LE, in a REGEDIT4 file code-page bytes; they
// are converted to the store's encoding and back.
//
// Writing and reading back gives the same names, types and data bytes.
//
// A file from elsewhere is read as Windows' reg import reads it (Reading::
// AsRegExe): a line it skips (a bad number, an unknown root key, the values
// of a key that was skipped...) is skipped here too and reported as a
// Warning, the rest is imported; "REGEDIT" files of Windows 3.1 set default
// values below HKEY_CLASSES_ROOT; text data in hex gets the terminating NUL
// it lacks. Our own files are read strictly: every line in full and data
// exactly as written, the first line that is not being a fault.
#pragma once

#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "winreg/regtypes.h"
#include "winreg/store.h"

namespace dotreg {

enum class Format {
    Regedit4,  // "REGEDIT4", code page 1252
    Unicode,   // "Windows Registry Editor Version 5.00", UTF-16LE with BOM
};

// A file that cannot be imported: the line of the first fault (counted from
// 1; 0 when the fault is not on one line) and what is wrong there.
class ImportError : public std::runtime_error {
  public:
    ImportError(int line, const std::string& reason);
    int line() const { return line_; }
    const std::string& reason() const { return reason_; }

  private:
    int line_;
    std::string reason_;
};

enum class Reading {
    Strict,    // every line read in full and as written, or ImportError
    AsRegExe,  // as reg.exe: lines it skips are skipped with a Warning
};

// A line skipped, or read other than it is written, when reading AsRegExe.
// The text of the file it quotes is escaped (text/excerpt.h), so that it
// can be shown on a terminal as it is.
struct Warning {
    int line = 0;  // counted from 1
    std::string what;
};

// A file of junk has a warning for each of its lines: only the first of
// them are kept, and the others counted.
inline constexpr std::size_t kMostWarnings = 100;

// One change a file asks for, in file order. Values follow the CreateKey
// of their key.
struct Change {
    enum Kind { CreateKey, DeleteKey, SetValue, DeleteValue };
    Kind kind = CreateKey;
    int line = 0;
    regstore::Root root = regstore::Root::CurrentUser;
    std::string keyPath;  // below the root, UTF-8 (CreateKey, DeleteKey)
    std::string name;     // value name, UTF-8; empty for the default value
    DWORD type = REG_NONE;
    std::string data;  // the bytes as the store holds them
};

struct Parsed {
    std::vector<Change> changes;
    std::vector<Warning> warnings;  // the first kMostWarnings, by line
    std::size_t moreWarnings = 0;   // how many more there were
};

// What an import skipped.
struct Skipped {
    std::vector<Warning> warnings;  // the first kMostWarnings, by line
    std::size_t moreWarnings = 0;   // how many more there were
};

// Reads a whole file's bytes into its changes, text data in the encoding
// of the store they are meant for. Throws ImportError for what is not a
// registry file at all and, when Strict, for the first line that would be
// skipped or warned about.
Parsed read(std::string_view bytes, regstore::TextData text, Reading reading);
// The changes of a file read strictly.
std::vector<Change> parse(std::string_view bytes,
                          regstore::TextData text = regstore::TextData::CodePage);

// Makes the changes in one transaction: all of them or, when one fails,
// none. Throws ImportError naming the line of the change that failed.
void apply(regstore::Store& store, const std::vector<Change>& changes);

// Reads a file and makes its changes, each as it is read, in one
// transaction, and returns what was skipped. Memory and time go with the
// file's size: it is read whole (when it is a regular file of at most 64
// MiB, as files/untrusted_file.h reads a file from anywhere), but no more
// than a line of it is decoded at a time, and no change is kept once made.
// Throws ImportError, also when the file cannot be read.
Skipped importFile(regstore::Store& store, const std::filesystem::path& file,
                   Reading reading = Reading::Strict);

// The file that holds `key` (shown as `name`, such as
// HKEY_CURRENT_USER\Software) and everything below it. Throws
// std::runtime_error for a name the format cannot carry (a line break, or a
// character code page 1252 lacks in a REGEDIT4 file), and for text data a
// REGEDIT4 file cannot carry.
std::string write(regstore::Store& store, regstore::KeyId key, const std::string& name,
                  Format format);

}  // namespace dotreg
