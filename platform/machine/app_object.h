// The running program as the windows see it: its directory, its instance
// handle and its title.
#pragma once

#include <QString>

#include "wintypes.h"

namespace App {

// The directory of the running executable (links resolved), as a Windows
// path: "C:\..." inside drive C, otherwise "Z:\...". A drive's root ends in
// a backslash, other directories do not.
QString Path();

// The program's instance handle. It stands for the program only; nothing
// behind it is ever released.
HINSTANCE hInstance();

// The application title that message boxes carry: "Knobwise".
QString Title();

}  // namespace App
