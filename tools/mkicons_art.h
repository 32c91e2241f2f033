// The pictures of the machine's icons: our own artwork, drawn at the sizes
// icon files hold.
#pragma once

#include <QImage>
#include <QString>

namespace mkicons {

// An SVG file rendered into a size x size picture with alpha; a null image
// when the file cannot be read.
QImage renderSvg(const QString& path, int size);

// The plain icon that stands in a library's unused slots: a sheet of paper
// with a coloured mark, the mark's shape and colour chosen by `variant`, so
// that every variant up to 64 looks different.
QImage fillerIcon(int variant, int size);

}  // namespace mkicons
