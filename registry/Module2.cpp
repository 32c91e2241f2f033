#include "registry/Module2.h"

#include "text/codepage.h"

namespace Module2 {
namespace {

HKEY openKey(std::uint32_t root, const QString& keyPath) {
    HKEY hKey = nullptr;
    RegOpenKeyExA(rootKey(root), codepage::fromText(keyPath).c_str(), 0, kAccess, &hKey);
    return hKey;
}

}  // namespace

std::int32_t writevalue(HKEY hKey, const QString& valueName, std::int32_t type,
                        const RegValue& value) {
    std::string name = codepage::fromText(valueName);
    if (type == static_cast<std::int32_t>(REG_SZ)) {
        std::string data = codepage::fromText(regvalue::text(value));
        return RegSetValueExA(hKey, name.c_str(), 0, REG_SZ,
                              reinterpret_cast<const BYTE*>(data.data()),
                              static_cast<DWORD>(data.size()));
    }
    if (type == static_cast<std::int32_t>(REG_DWORD)) {
        std::optional<std::int32_t> number = regvalue::toInteger(value);
        if (!number) return ERROR_INVALID_PARAMETER;  // no number: nothing is written
        BYTE data[4];
        auto bits = static_cast<std::uint32_t>(*number);
        for (int i = 0; i < 4; ++i) data[i] = static_cast<BYTE>(bits >> (8 * i));
        return RegSetValueExA(hKey, name.c_str(), 0, REG_DWORD, data, 4);
    }
    return 0;
}

std::int32_t readvalue(HKEY hKey, const QString& valueName, RegValue& value) {
    std::string name = codepage::fromText(valueName);
    DWORD type = 0;
    DWORD size = 0;
    LONG rc = RegQueryValueExA(hKey, name.c_str(), nullptr, &type, nullptr, &size);
    if (rc != ERROR_SUCCESS) return rc;
    if (type == REG_SZ) {
        std::string buffer(size, '\0');
        rc = RegQueryValueExA(hKey, name.c_str(), nullptr, &type,
                              reinterpret_cast<BYTE*>(buffer.data()), &size);
        if (rc != ERROR_SUCCESS) {
            value = std::monostate{};
            return rc;
        }
        buffer.resize(size);
        if (!buffer.empty() && buffer.back() == '\0') buffer.pop_back();
        value = codepage::toText(buffer);
        return 0;
    }
    if (type == REG_DWORD) {
        BYTE data[4] = {0, 0, 0, 0};
        size = 4;
        rc = RegQueryValueExA(hKey, name.c_str(), nullptr, &type, data, &size);
        if (rc != ERROR_SUCCESS) return rc;
        std::uint32_t bits = 0;
        for (int i = 0; i < 4; ++i) bits |= static_cast<std::uint32_t>(data[i]) << (8 * i);
        value = static_cast<std::int32_t>(bits);
        return 0;
    }
    return -1;
}

void setvalue(std::uint32_t root, const QString& keyPath, const QString& valueName,
              const RegValue& value, std::int32_t type) {
    HKEY hKey = openKey(root, keyPath);
    writevalue(hKey, valueName, type, value);
    RegCloseKey(hKey);
}

RegValue getvalue(std::uint32_t root, const QString& keyPath, const QString& valueName) {
    RegValue result;
    HKEY hKey = openKey(root, keyPath);
    readvalue(hKey, valueName, result);
    RegCloseKey(hKey);
    return result;
}

void deletevalue(std::uint32_t root, const QString& keyPath, const QString& valueName) {
    HKEY hKey = openKey(root, keyPath);
    RegDeleteValueA(hKey, codepage::fromText(valueName).c_str());
    RegCloseKey(hKey);
}

}  // namespace Module2
