// Device contexts: an HDC stands for an image that drawing goes to. A
// picture box hands out the HDC of its persistent image; DrawIcon and other
// drawing functions find the image through it.
#pragma once

#include "wintypes.h"

class QImage;

namespace gdi {

// A new device context drawing on `target`, which must outlive it.
HDC createDC(QImage* target);
// Ends a device context; the handle is invalid afterwards.
void deleteDC(HDC dc);
// The image a device context draws on; nullptr for a handle that is not open.
QImage* target(HDC dc);

}  // namespace gdi
