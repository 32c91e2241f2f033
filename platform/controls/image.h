// An image control: shows a picture, takes no focus, and carries a free
// string Tag. With Stretch on the picture is drawn at the control's own size.
#pragma once

#include <QImage>
#include <QWidget>

class Image : public QWidget {
    Q_OBJECT

  public:
    explicit Image(QWidget* parent = nullptr);

    const QImage& Picture() const { return picture_; }
    void setPicture(const QImage& picture);

    bool Stretch() const { return stretch_; }
    void setStretch(bool on);

    QString Tag() const { return tag_; }
    void setTag(const QString& tag) { tag_ = tag; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QImage picture_;
    QString tag_;
    bool stretch_ = false;
};
