// Fuzzes the mapping between Windows paths and host paths over a small
// drive C of its own. The first byte chooses the direction.
//
// A Windows path on drive C (or relative, from a current directory on drive
// C) must map inside drive_c/ as the system would open it, never above it;
// other drive letters and UNC paths map to nothing. A host path maps to a
// path on C: or Z:.
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "machine/drives.h"
#include "machine/machine.h"

namespace {

namespace fs = std::filesystem;

fs::path driveC;

// Whether `inner` lies in `outer` component by component.
bool inside(const fs::path& inner, const fs::path& outer) {
    auto i = inner.begin();
    for (auto o = outer.begin(); o != outer.end(); ++o, ++i) {
        if (o->empty()) continue;
        if (i == inner.end() || *i != *o) return false;
    }
    return true;
}

// The path the system opens for a host path: its text up to the first NUL,
// with every link and "..", as far as it exists, resolved.
fs::path asOpened(const fs::path& host) {
    std::error_code ec;
    fs::path opened = fs::weakly_canonical(fs::path(std::string(host.c_str())), ec);
    return ec ? fs::path(std::string(host.c_str())).lexically_normal() : opened;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    char pattern[] = "/tmp/knobwise-drives-fuzz-XXXXXX";
    if (!mkdtemp(pattern)) __builtin_trap();
    setenv("XDG_DATA_HOME", pattern, 1);
    driveC = fs::weakly_canonical(machine::driveC());
    fs::create_directories(driveC / "WINDOWS" / "SYSTEM");
    fs::create_directories(driveC / "WINDOWS" / "Start Menu" / "Programs" / "StartUp");
    std::ofstream(driveC / "WINDOWS" / "SYSTEM" / "shell32.dll") << "x";
    std::ofstream(driveC / "WINDOWS" / "Start Menu" / "Programs" / "StartUp" / "Notes.lnk") << "x";
    // Relative paths start on drive C.
    if (chdir((driveC / "WINDOWS").c_str()) != 0) __builtin_trap();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
    if (data[0] & 1) {
        const std::string windows = drives::toWindows(text);
        if (windows.rfind("C:\\", 0) != 0 && windows.rfind("Z:\\", 0) != 0) __builtin_trap();
        return 0;
    }
    const std::optional<fs::path> host = drives::toHost(text);
    const std::string seen = text.substr(0, text.find('\0'));
    const bool unc = seen.size() >= 2 && (seen[0] == '\\' || seen[0] == '/') &&
                     (seen[1] == '\\' || seen[1] == '/');
    const char drive = seen.size() >= 2 && seen[1] == ':' ? static_cast<char>(seen[0] | 0x20) : 'c';
    if (seen.empty() || unc || (drive != 'c' && drive != 'z')) {
        if (host) __builtin_trap();
        return 0;
    }
    if (!host) __builtin_trap();
    if (host->string().find('\0') != std::string::npos) __builtin_trap();
    if (drive == 'c' && !inside(asOpened(*host), driveC)) __builtin_trap();
    return 0;
}
