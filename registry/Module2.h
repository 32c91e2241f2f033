// The registry procedures: the only code of the program that touches the
// registry. setvalue, getvalue and deletevalue open a key, do one thing with
// one value and close the key again; failures are swallowed.
#pragma once

#include <QString>
#include <cstdint>

#include "registry/regvalue.h"
#include "winreg/winreg.h"

namespace Module2 {

// Every key is opened with these rights, for reads as for writes.
inline constexpr REGSAM kAccess = 0x3F;

// Writes one value into an open key: type 1 as code-page text without a
// terminating NUL, type 4 as a 32-bit integer. Other types write nothing and
// give 0; otherwise the status of the write.
std::int32_t writevalue(HKEY hKey, const QString& valueName, std::int32_t type,
                        const RegValue& value);

// Reads one value of an open key into `value`: 0 on success, the registry's
// code on failure, -1 for a type other than REG_SZ and REG_DWORD.
std::int32_t readvalue(HKEY hKey, const QString& valueName, RegValue& value);

void setvalue(std::uint32_t root, const QString& keyPath, const QString& valueName,
              const RegValue& value, std::int32_t type);
RegValue getvalue(std::uint32_t root, const QString& keyPath, const QString& valueName);
void deletevalue(std::uint32_t root, const QString& keyPath, const QString& valueName);

}  // namespace Module2
