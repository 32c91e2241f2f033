// Pictures loaded from files.
#pragma once

#include <QIODevice>
#include <QImage>
#include <QSize>
#include <QString>
#include <stdexcept>
#include <string>

// Why a picture could not be loaded; what() is a sentence for the user.
class PictureError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

namespace picture {

// The largest picture a file may hold: no side longer than kMaxSide pixels,
// no more than kMaxPixels in all, and no more than kMaxMegabytes of memory
// for its decoding.
inline constexpr int kMaxSide = 16384;
inline constexpr long long kMaxPixels = 64LL * 1024 * 1024;
inline constexpr int kMaxMegabytes = 256;

// Whether a picture of this size is within those limits.
bool fitsLimits(QSize size);

// The picture that `device` (open for reading) holds, decoded within those
// limits; `quoted` names it in the messages. Throws PictureError.
QImage decode(QIODevice& device, const std::string& quoted);

}  // namespace picture

// The picture in a file given by its Windows path (bitmap, icon, GIF, JPEG,
// PNG, ...). An empty path gives no picture. Throws PictureError when the
// file does not exist, cannot be read, holds no picture that can be read,
// or holds one larger than the limits above.
QImage LoadPicture(const QString& windowsPath);
