// Window positions and sizes are given in twips: 1/1440 inch, 15 to the
// pixel at 96 dots per inch. Qt's high-DPI scaling takes care of larger
// screens.
#pragma once

#include <QRect>

namespace twips {

inline constexpr int kPerPixel = 15;

inline constexpr int px(int twips) {
    return (twips + kPerPixel / 2) / kPerPixel;
}

inline QRect rect(int left, int top, int width, int height) {
    return QRect(px(left), px(top), px(width), px(height));
}

}  // namespace twips
