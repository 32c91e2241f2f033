// Colours as the windows give them: 32-bit values laid out 0x00BBGGRR, red
// in the low byte.
#pragma once

#include <QColor>
#include <cstdint>

namespace colors {

inline QColor fromBGR(std::uint32_t bgr) {
    return QColor(static_cast<int>(bgr & 0xFF), static_cast<int>((bgr >> 8) & 0xFF),
                  static_cast<int>((bgr >> 16) & 0xFF));
}

inline std::uint32_t toBGR(const QColor& c) {
    return static_cast<std::uint32_t>(c.red()) | (static_cast<std::uint32_t>(c.green()) << 8) |
           (static_cast<std::uint32_t>(c.blue()) << 16);
}

// RGB(r, g, b) as a 0x00BBGGRR value.
inline constexpr std::uint32_t RGB(int r, int g, int b) {
    return static_cast<std::uint32_t>(r & 0xFF) | (static_cast<std::uint32_t>(g & 0xFF) << 8) |
           (static_cast<std::uint32_t>(b & 0xFF) << 16);
}

}  // namespace colors
