// The Reg* functions over the process's current store. Handles are
// process-local numbers standing for an open key and the rights it was opened
// with; the three predefined roots are handles that are always open.
//
// These are the A functions: names and text data cross them in code page
// 1252. A store that keeps text in UTF-16 gets it converted here, both ways,
// byte for code unit, with no terminator added or taken away.
#include "winreg.h"

#include <cstring>
#include <new>
#include <unordered_map>

#include "codepage.h"
#include "current_store.h"

namespace {

using namespace hive;

constexpr REGSAM kAllRights = 0xF003F;

struct OpenKey {
    KeyId key;
    REGSAM rights;
};

struct Handles {
    std::unordered_map<std::uintptr_t, OpenKey> open;
    std::uintptr_t next = 0x100;
    std::uint64_t generation = 0;  // of the store the handles belong to
};

// The open handles, all forgotten when another store has been selected.
Handles& handles() {
    static Handles h;
    if (h.generation != generation()) {
        h.open.clear();
        h.generation = generation();
    }
    return h;
}

std::optional<Root> predefined(HKEY h) {
    if (h == HKEY_LOCAL_MACHINE) return Root::LocalMachine;
    if (h == HKEY_CURRENT_USER) return Root::CurrentUser;
    if (h == HKEY_CLASSES_ROOT) return Root::ClassesRoot;
    return std::nullopt;
}

// The key a handle stands for, or the error to return.
LONG resolve(Store& store, HKEY h, OpenKey* out) {
    if (std::optional<Root> r = predefined(h)) {
        std::optional<KeyId> key = store.root(*r);
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

// Text data as the store keeps it, from code-page bytes and back.
std::string toStore(const Store& store, DWORD type, std::string_view data) {
    if (store.textData() == TextData::Utf16 && isTextType(type)) return codepage::toUtf16(data);
    return std::string(data);
}

std::string fromStore(const Store& store, const Value& v) {
    if (store.textData() == TextData::Utf16 && isTextType(v.type))
        return codepage::fromUtf16(v.data);
    return v.data;
}

// Runs a registry operation, turning the store's failures into return codes.
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

LONG RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD /*ulOptions*/, REGSAM samDesired,
                   PHKEY phkResult) {
    if (!phkResult) return ERROR_INVALID_PARAMETER;
    *phkResult = nullptr;
    Store* store = current();
    if (!store) return unavailable();
    if (lpSubKey && lpSubKey[0] == '\\') return ERROR_BAD_PATHNAME;
    return guarded([&] {
        OpenKey base{};
        if (LONG rc = resolve(*store, hKey, &base)) return rc;
        if ((samDesired & KEY_WRITE_RIGHTS) && !store->writable()) return ERROR_ACCESS_DENIED;
        std::optional<KeyId> key = store->findKey(base.key, nameOf(lpSubKey));
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
    Store* store = current();
    if (!store) return unavailable();
    return guarded([&] {
        OpenKey open{};
        if (LONG rc = resolve(*store, hKey, &open)) return rc;
        if (!(open.rights & KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
        std::optional<Value> v = store->value(open.key, nameOf(lpValueName));
        if (!v) return ERROR_FILE_NOT_FOUND;
        const std::string data = fromStore(*store, *v);
        auto size = static_cast<DWORD>(data.size());
        if (lpType) *lpType = v->type;
        if (!lpData) {
            if (lpcbData) *lpcbData = size;
            return ERROR_SUCCESS;
        }
        if (*lpcbData < size) {
            *lpcbData = size;
            return ERROR_MORE_DATA;
        }
        if (size) std::memcpy(lpData, data.data(), size);
        *lpcbData = size;
        return ERROR_SUCCESS;
    });
}

LONG RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD /*Reserved*/, DWORD dwType,
                    const BYTE* lpData, DWORD cbData) {
    if (!lpData && cbData) return ERROR_INVALID_PARAMETER;
    Store* store = current();
    if (!store) return unavailable();
    return guarded([&] {
        OpenKey open{};
        if (LONG rc = resolve(*store, hKey, &open)) return rc;
        if (!(open.rights & KEY_SET_VALUE) || !store->writable()) return ERROR_ACCESS_DENIED;
        store->setValue(open.key, nameOf(lpValueName), dwType,
                        toStore(*store, dwType,
                                std::string_view(reinterpret_cast<const char*>(lpData), cbData)));
        return ERROR_SUCCESS;
    });
}

LONG RegDeleteValueA(HKEY hKey, LPCSTR lpValueName) {
    Store* store = current();
    if (!store) return unavailable();
    return guarded([&] {
        OpenKey open{};
        if (LONG rc = resolve(*store, hKey, &open)) return rc;
        if (!(open.rights & KEY_SET_VALUE) || !store->writable()) return ERROR_ACCESS_DENIED;
        return store->deleteValue(open.key, nameOf(lpValueName)) ? ERROR_SUCCESS
                                                                 : ERROR_FILE_NOT_FOUND;
    });
}

LONG RegCloseKey(HKEY hKey) {
    if (predefined(hKey)) return ERROR_SUCCESS;
    return handles().open.erase(reinterpret_cast<std::uintptr_t>(hKey)) ? ERROR_SUCCESS
                                                                        : ERROR_INVALID_HANDLE;
}
