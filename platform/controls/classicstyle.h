// The look of the windows: Qt's built-in "Windows" style with the classic
// grey palette, and the few things that style draws differently from the
// system the windows were designed for.
#pragma once

#include <QFont>
#include <QPalette>
#include <QProxyStyle>

class ClassicStyle : public QProxyStyle {
  public:
    ClassicStyle();

    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget = nullptr) const override;
    int styleHint(StyleHint hint, const QStyleOption* option = nullptr,
                  const QWidget* widget = nullptr,
                  QStyleHintReturn* returnData = nullptr) const override;
};

namespace classic {

// The 3D face every window and control is painted in.
inline constexpr QRgb kFace = qRgb(192, 192, 192);

// Window face RGB(192, 192, 192), white highlights, grey and black shadows,
// black text, navy selection.
QPalette palette();

// A font asked for by its Windows face name and size in points.
QFont font(const QString& face, double points, bool bold = false);

// The font controls have unless they are given another one: Arial 8.25 pt.
QFont defaultFont();

// Makes ClassicStyle, the palette and the default font the application's.
// Needs the QApplication to exist.
void install();

}  // namespace classic
