#include "controls/checkbox.h"

#include <stdexcept>

CheckBox::CheckBox(const QString& caption, QWidget* parent) : QCheckBox(caption, parent) {
    // Tristate only so that state 2 can be shown; nextCheckState keeps
    // clicks out of it.
    setTristate(true);
    setAutoFillBackground(true);
    setAttribute(Qt::WA_NoMousePropagation);
}

std::int16_t CheckBox::Value() const {
    switch (checkState()) {
        case Qt::Checked:
            return 1;
        case Qt::PartiallyChecked:
            return 2;
        default:
            return 0;
    }
}

void CheckBox::setValue(std::int16_t value) {
    switch (value) {
        case 0:
            setCheckState(Qt::Unchecked);
            break;
        case 1:
            setCheckState(Qt::Checked);
            break;
        case 2:
            setCheckState(Qt::PartiallyChecked);
            break;
        default:
            throw std::out_of_range("a check box holds 0, 1 or 2");
    }
}

void CheckBox::nextCheckState() {
    setCheckState(checkState() == Qt::Checked ? Qt::Unchecked : Qt::Checked);
}
