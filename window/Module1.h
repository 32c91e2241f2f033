// The program's one program-wide variable.
#pragma once

#include <QVariant>

namespace Module1 {

// The icon handle of the row drawicons is drawing, as a 32-bit integer; after
// drawicons it holds the last row's.
extern QVariant iconhandle;

}  // namespace Module1
