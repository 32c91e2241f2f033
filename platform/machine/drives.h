// Drive letters mapped onto directories, as the current machine has them (on
// the embedded machine C: is its drive_c/ and Z: the host's root; a Wine
// prefix has its dosdevices/ links). Other drive letters and UNC paths do
// not exist.
//
// Windows paths are UTF-8 here and resolved component by component without
// regard to letter case, as the Windows file system does.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace drives {

// The host path a Windows path names. Each component is matched without
// regard to case against what exists; components that do not exist are kept
// as written (so that a file or folder can be created there). "." and ".."
// are resolved, never above the drive's root. A path without a drive letter
// is taken relative to the current directory (or its drive's root when it
// starts with a backslash). The path ends at its first NUL, if it has one.
// nullopt for another drive letter, a UNC path or an empty path.
std::optional<std::filesystem::path> toHost(std::string_view windowsPath);

// On a Wine prefix, for a file of drive C, the file of the same name among
// the embedded machine's own shipped ones (its stand-ins for Windows'
// files), to be read where the prefix lacks the file or what is asked of it
// (Wine's explorer.exe has no icons), and never written; nullopt on the
// embedded machine, and for a file none of ours is named like.
std::optional<std::filesystem::path> standIn(std::string_view windowsPath);

// The Windows path of a host path, on the drive whose folder holds it most
// closely (C:\... inside drive C, Z:\... elsewhere on the embedded machine).
// A relative host path is taken from the current directory.
std::string toWindows(const std::filesystem::path& hostPath);

// The process's current directory as a Windows path.
std::string currentDirectory();

}  // namespace drives
