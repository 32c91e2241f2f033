// Opening documents and web addresses with the desktop's associated program,
// behind the Windows shell's interface and result codes.
#pragma once

#include <QUrl>
#include <cstdint>
#include <functional>

#include "wintypes.h"

// Result codes of ShellExecuteA (values of 32 or less are errors).
inline constexpr int SE_ERR_FNF = 2;             // file not found
inline constexpr int SE_ERR_PNF = 3;             // path not found
inline constexpr int SE_ERR_OOM = 8;             // out of memory
inline constexpr int SE_ERR_NOASSOC = 31;        // no program for it
inline constexpr int SHELL_OPEN_SUCCEEDED = 42;  // what a successful open returns

// The desktop window: the owner handed to the shell.
HWND GetDesktopWindow();

// Opens lpFile (a Windows path, or an http:, https:, ftp: or mailto:
// address) with the operation "Open" (any case) or null. lpDirectory, when
// given, is where a relative lpFile is looked for. lpParameters, nShowCmd and
// hwnd are accepted and not needed for documents. The strings are code page
// 1252. The result is a number cast to HINSTANCE: greater than 32 on
// success, 2 when the file does not exist, 3 when its folder or drive does
// not exist, 31 for another operation or when nothing could open it.
HINSTANCE ShellExecuteA(HWND hwnd, LPCSTR lpOperation, LPCSTR lpFile, LPCSTR lpParameters,
                        LPCSTR lpDirectory, INT nShowCmd);

namespace shell {

// What hands a URL (a web address, or a file URL) to the desktop; true when
// it was taken.
using Opener = std::function<bool(const QUrl&)>;

// Replaces the opener; an empty function restores the desktop's one.
void setOpener(Opener opener);

// ShellExecuteA's result as an integer.
inline int resultCode(HINSTANCE h) {
    return static_cast<int>(reinterpret_cast<std::intptr_t>(h));
}

}  // namespace shell
