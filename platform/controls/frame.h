// A frame: an etched box with its caption in the top line, holding other
// controls at positions measured from its outer top-left corner.
#pragma once

#include <QGroupBox>

class Frame : public QGroupBox {
    Q_OBJECT

  public:
    explicit Frame(const QString& caption, QWidget* parent = nullptr);

    QString Caption() const { return title(); }
    void setCaption(const QString& caption) { setTitle(caption); }
};
