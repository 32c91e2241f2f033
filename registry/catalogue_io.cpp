#include "registry/catalogue_io.h"

#include "registry/Module2.h"
#include "winreg/failed_writes.h"

namespace catalogue {

RegValue get(const Row& row) {
    return Module2::getvalue(row.root, row.keyPath, row.valueName);
}

void set(const Row& row, const RegValue& value) {
    const failed_writes::Mark before = failed_writes::mark();
    Module2::setvalue(row.root, row.keyPath, row.valueName, value,
                      static_cast<std::int32_t>(row.type));
    failed_writes::nameSince(before, row.label);
}

void remove(const Row& row) {
    const failed_writes::Mark before = failed_writes::mark();
    Module2::deletevalue(row.root, row.keyPath, row.valueName);
    failed_writes::nameSince(before, row.label);
}

}  // namespace catalogue
