// Fuzzes the reading of .reg files as reg.exe reads them, and strictly:
// decoding (code page 1252 or UTF-16), the header and every line, down to
// the list of changes. A file is either refused with the line of its fault
// or read into changes and warnings that each name a line of the file.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "dotreg/dotreg.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    // More lines than bytes cannot be; each line names one at most.
    const int most = static_cast<int>(size) + 1;
    for (dotreg::Reading reading : {dotreg::Reading::AsRegExe, dotreg::Reading::Strict}) {
        for (regstore::TextData text : {regstore::TextData::CodePage, regstore::TextData::Utf16}) {
            try {
                const dotreg::Parsed parsed = dotreg::read(bytes, text, reading);
                int previous = 0;
                for (const dotreg::Change& change : parsed.changes) {
                    if (change.line < 1 || change.line > most || change.line < previous)
                        __builtin_trap();
                    previous = change.line;
                    if (change.kind == dotreg::Change::CreateKey &&
                        change.keyPath.find('\0') != std::string::npos)
                        __builtin_trap();
                }
                for (const dotreg::Warning& w : parsed.warnings) {
                    if (w.line < 1 || w.line > most || w.what.empty()) __builtin_trap();
                }
                if (reading == dotreg::Reading::Strict && !parsed.warnings.empty())
                    __builtin_trap();
            } catch (const dotreg::ImportError& error) {
                if (error.line() < 0 || error.line() > most) __builtin_trap();
            }
        }
    }
    return 0;
}
