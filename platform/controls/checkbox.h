// A check box holding 0 (unchecked), 1 (checked) or 2 (indeterminate, drawn
// grayed). Only code can put it in state 2: a click or the space bar moves
// it to checked, or from checked to unchecked.
#pragma once

#include <QCheckBox>
#include <cstdint>

class CheckBox : public QCheckBox {
    Q_OBJECT

  public:
    explicit CheckBox(const QString& caption, QWidget* parent = nullptr);

    std::int16_t Value() const;
    // Throws std::out_of_range for anything but 0, 1 and 2.
    void setValue(std::int16_t value);

  protected:
    void nextCheckState() override;
};
