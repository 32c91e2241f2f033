// A label: an opaque box of text that wraps at its width. A label with room
// for one line only draws its caption on that line, condensed as far as it
// must be to show it whole. It takes no focus.
// Colours are 0x00BBGGRR values. It reports clicks and mouse moves (button
// and shift state, position in twips) for the windows that handle them.
// A label made a link reads as a link to assistive technology, which can
// press it as a click; it still takes no focus.
#pragma once

#include <QLabel>
#include <cstdint>

class Label : public QLabel {
    Q_OBJECT

  public:
    // A link is one from the start: Qt describes a label to assistive
    // technology once, as soon as it has a caption.
    enum Kind { Plain, Link };
    explicit Label(const QString& caption, QWidget* parent = nullptr, Kind kind = Plain);

    QString Caption() const { return text(); }
    void setCaption(const QString& caption) { setText(caption); }

    std::uint32_t ForeColor() const;
    void setForeColor(std::uint32_t bgr);
    std::uint32_t BackColor() const;
    void setBackColor(std::uint32_t bgr);

    bool FontUnderline() const { return font().underline(); }
    void setFontUnderline(bool on);

  signals:
    void Click();
    void MouseMove(int button, int shift, float x, float y);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

  private:
    bool pressed_ = false;
};
