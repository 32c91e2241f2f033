// Pictures loaded from files and from the program's own resources.
#pragma once

#include <QImage>
#include <QSize>
#include <QString>
#include <stdexcept>

// Why a picture could not be loaded; what() is a sentence for the user.
class PictureError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// The picture in a file given by its Windows path (bitmap, icon, GIF, JPEG,
// PNG, ...). An empty path gives no picture. Throws PictureError when the
// file does not exist or holds no picture that can be read.
QImage LoadPicture(const QString& windowsPath);

// A picture compiled into the program (":/pictures/..."), drawn at `size`
// when it is a drawing (SVG). Throws PictureError when there is none.
QImage ResourcePicture(const QString& resource, QSize size);
