// Module2's procedures addressed by a row of the settings catalogue. A
// change the registry did not take is kept with the row's label, for the
// window to name (see failed_writes.h).
#pragma once

#include "registry/catalogue.h"
#include "registry/regvalue.h"

namespace catalogue {

RegValue get(const Row& row);
void set(const Row& row, const RegValue& value);
void remove(const Row& row);

}  // namespace catalogue
