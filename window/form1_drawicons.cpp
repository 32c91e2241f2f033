// drawicons: the folder icons of the "Info Tips" page, then the info-tips
// switch.
#include <QLocale>

#include "Form1.h"
#include "catalogue_io.h"

namespace {

// A numeric comparison with 1: the Integer 1, or a String that reads as the
// number 1 (blanks around it allowed). Empty counts as 0, and a String that
// is no number is not 1.
bool equalsNumberOne(const RegValue& value) {
    if (regvalue::isInteger(value)) return std::get<std::int32_t>(value) == 1;
    if (!regvalue::isString(value)) return false;
    bool ok = false;
    double number = QLocale::c().toDouble(std::get<QString>(value).trimmed(), &ok);
    return ok && number == 1.0;
}

}  // namespace

// The last block of drawicons: the info-tips switch. Loading never clears
// Check1; it only checks it.
void Form1::drawicons() {
    if (equalsNumberOne(catalogue::get(catalogue::ShowInfoTip))) Check1->setValue(1);
}
