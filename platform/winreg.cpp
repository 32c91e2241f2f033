// The Reg* functions over the process's current hive. Handles are
// process-local numbers standing for an open key and the rights it was opened
// with; the three predefined roots are handles that are always open.
#include "winreg.h"

#include <cstring>
#include <new>
#include <unordered_map>

#include "codepage.h"
#include "hive.h"

namespace hive {
void markDamaged(const std::string& why);

namespace {

constexpr REGSAM kAllRights = 0xF003F;

struct OpenKey {
    KeyId key;
    REGSAM rights;
};

struct Handles {
    std::unordered_map<std::uintptr_t, OpenKey> open;
    std::uintptr_t next = 0x100;
};

Handles& handles() {
    static Handles h;
    return h;
}

std::optional<Root> predefined(HKEY h) {
    if (h == HKEY_LOCAL_MACHINE) return Root::LocalMachine;
    if (h == HKEY_CURRENT_USER) return Root::CurrentUser;
    if (h == HKEY_CLASSES_ROOT) return Root::ClassesRoot;
    return std::nullopt;
}

// The key a handle stands for, or the error to return.
LONG resolve(Hive& hv, HKEY h, OpenKey* out) {
    if (std::optional<Root> r = predefined(h)) {
        std::optional<KeyId> key = hv.root(*r);
        if (!key) return ERROR_FILE_NOT_FOUND;
        *out = {*key, kAllRights};
        return ERROR_SUCCESS;
    }
    auto it = handles().open.find(reinterpret_cast<std::uintptr_t>(h));
    if (it == handles().open.end()) return ERROR_INVALID_HANDLE;
    *out = it->second;
    return ERROR_SUCCESS;
}

LONG unavailable() {
    return state() == State::Missing ? ERROR_FILE_NOT_FOUND : ERROR_REGISTRY_CORRUPT;
}

std::string nameOf(LPCSTR name) {
    return name ? codepage::toUtf8(name) : std::string();
}

// Runs a registry operation, turning the hive's failures into return codes.
template <typename F>
LONG guarded(F&& f) {
    try {
        return f();
    } catch (const Error& e) {
        if (e.code() == ERROR_REGISTRY_CORRUPT) markDamaged(e.what());
        return e.code();
    } catch (const std::bad_alloc&) {
        return ERROR_OUTOFMEMORY;
    }
}

}  // namespace

void forgetHandles() {
    handles().open.clear();
}

}  // namespace hive

using namespace hive;

LONG RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD /*ulOptions*/, REGSAM samDesired,
                   PHKEY phkResult) {
    if (!phkResult) return ERROR_INVALID_PARAMETER;
    *phkResult = nullptr;
    Hive* hv = current();
    if (!hv) return unavailable();
    if (lpSubKey && lpSubKey[0] == '\\') return ERROR_BAD_PATHNAME;
    return guarded([&] {
        OpenKey base{};
        if (LONG rc = resolve(*hv, hKey, &base)) return rc;
        if ((samDesired & KEY_WRITE_RIGHTS) && !hv->writable()) return ERROR_ACCESS_DENIED;
        std::optional<KeyId> key = hv->findKey(base.key, nameOf(lpSubKey));
        if (!key) return ERROR_FILE_NOT_FOUND;
        Handles& h = handles();
        std::uintptr_t handle = h.next;
        h.next += 4;
        h.open[handle] = {*key, samDesired};
        *phkResult = reinterpret_cast<HKEY>(handle);
        return ERROR_SUCCESS;
    });
}

LONG RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                      LPBYTE lpData, LPDWORD lpcbData) {
    if (lpReserved || (lpData && !lpcbData)) return ERROR_INVALID_PARAMETER;
    Hive* hv = current();
    if (!hv) return unavailable();
    return guarded([&] {
        OpenKey open{};
        if (LONG rc = resolve(*hv, hKey, &open)) return rc;
        if (!(open.rights & KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
        std::optional<Value> v = hv->value(open.key, nameOf(lpValueName));
        if (!v) return ERROR_FILE_NOT_FOUND;
        auto size = static_cast<DWORD>(v->data.size());
        if (lpType) *lpType = v->type;
        if (!lpData) {
            if (lpcbData) *lpcbData = size;
            return ERROR_SUCCESS;
        }
        if (*lpcbData < size) {
            *lpcbData = size;
            return ERROR_MORE_DATA;
        }
        if (size) std::memcpy(lpData, v->data.data(), size);
        *lpcbData = size;
        return ERROR_SUCCESS;
    });
}

LONG RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD /*Reserved*/, DWORD dwType,
                    const BYTE* lpData, DWORD cbData) {
    if (!lpData && cbData) return ERROR_INVALID_PARAMETER;
    Hive* hv = current();
    if (!hv) return unavailable();
    return guarded([&] {
        OpenKey open{};
        if (LONG rc = resolve(*hv, hKey, &open)) return rc;
        if (!(open.rights & KEY_SET_VALUE) || !hv->writable()) return ERROR_ACCESS_DENIED;
        hv->setValue(open.key, nameOf(lpValueName), dwType,
                     std::string_view(reinterpret_cast<const char*>(lpData), cbData));
        return ERROR_SUCCESS;
    });
}

LONG RegDeleteValueA(HKEY hKey, LPCSTR lpValueName) {
    Hive* hv = current();
    if (!hv) return unavailable();
    return guarded([&] {
        OpenKey open{};
        if (LONG rc = resolve(*hv, hKey, &open)) return rc;
        if (!(open.rights & KEY_SET_VALUE) || !hv->writable()) return ERROR_ACCESS_DENIED;
        return hv->deleteValue(open.key, nameOf(lpValueName)) ? ERROR_SUCCESS
                                                              : ERROR_FILE_NOT_FOUND;
    });
}

LONG RegCloseKey(HKEY hKey) {
    if (predefined(hKey)) return ERROR_SUCCESS;
    return handles().open.erase(reinterpret_cast<std::uintptr_t>(hKey)) ? ERROR_SUCCESS
                                                                        : ERROR_INVALID_HANDLE;
}
