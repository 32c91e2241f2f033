// A picture box: a sunken box with a persistent image inside its border.
//
// hDC is a device context on that image. With AutoRedraw on, painting the
// box shows the image, so what is drawn through hDC survives covering and
// uncovering; with it off, the box shows its background only. AutoSize fits
// the box to a picture assigned to it.
#pragma once

#include <QFrame>
#include <QImage>

#include "wintypes.h"

class PictureBox : public QFrame {
    Q_OBJECT

  public:
    explicit PictureBox(QWidget* parent = nullptr);
    ~PictureBox() override;

    bool AutoSize() const { return autoSize_; }
    void setAutoSize(bool on);
    bool AutoRedraw() const { return autoRedraw_; }
    void setAutoRedraw(bool on);

    // Draws the picture into the persistent image (and, with AutoSize on,
    // first fits the box to it).
    void setPicture(const QImage& picture);

    // The device context on the persistent image, which it first fits to
    // the box (a box placed while hidden has not been told its size yet);
    // valid while the box lives.
    HDC hDC();
    // Repaints the box at once from its persistent image.
    void Refresh();

    QString ToolTipText() const { return toolTip(); }
    void setToolTipText(const QString& text) { setToolTip(text); }

    // The persistent image, the size of the area inside the border.
    const QImage& image() const { return image_; }

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    void fitImage();

    QImage image_;  // its address is what dc_ stands for: assigned, never replaced
    HDC dc_ = nullptr;
    bool autoSize_ = false;
    bool autoRedraw_ = false;
};
