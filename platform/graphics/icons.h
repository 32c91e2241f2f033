// Icons from files, by the Windows functions the program calls: ExtractIconA
// reads an icon from a PE image or an .ico file at a Windows path, DrawIcon
// draws it through a device context (gdi.h).
#pragma once

#include "wintypes.h"

class QImage;

// The nIconIndex-th icon group of the file, for a path in code page 1252. The
// result is 0 when the file is missing or has no icon at that index, 1 when it
// is neither a PE image nor an .ico file, and otherwise a handle to the icon,
// valid until the program ends. The index 0xFFFFFFFF asks instead for the
// number of icon groups in the file (1 for an .ico file). hInst is not used.
HICON ExtractIconA(HINSTANCE hInst, LPCSTR lpszExeFileName, UINT nIconIndex);

// Draws the icon at its standard size, 32 x 32, with its top-left corner at
// (X, Y) on the device context's image, through the icon's mask or alpha.
// Nonzero when it drew; handles 0 and 1, and handles that are not icons, draw
// nothing and give 0.
BOOL DrawIcon(HDC hDC, int X, int Y, HICON hIcon);

namespace icons {

// The 32 x 32 picture of an icon handle (transparent where the icon is);
// nullptr for 0, 1 and handles that are not icons.
const QImage* image(HICON icon);

}  // namespace icons
