// Module2's procedures addressed by a row of the settings catalogue.
#pragma once

#include "registry/Module2.h"
#include "registry/catalogue.h"

namespace catalogue {

inline RegValue get(const Row& row) {
    return Module2::getvalue(row.root, row.keyPath, row.valueName);
}
inline void set(const Row& row, const RegValue& value) {
    Module2::setvalue(row.root, row.keyPath, row.valueName, value, row.type);
}
inline void remove(const Row& row) {
    Module2::deletevalue(row.root, row.keyPath, row.valueName);
}

}  // namespace catalogue
