// The Reg* functions over the process's current store. Handles are
// process-local numbers standing for an open key and the rights it was opened
// with; the three predefined roots are handles that are always open.
//
// These are the A functions: names and text data cross them in code page
// 1252. A store that keeps text in UTF-16 gets it converted here, both ways,
// byte for code unit; a string written there without its terminating NUL
// gets one (see toStore).
#include "winreg/winreg.h"

#include <cstring>
#include <new>
#include <optional>
#include <string>
#include <unordered_map>

#include "text/codepage.h"
#include "winreg/batch.h"
#include "winreg/current_store.h"
#include "winreg/failed_writes.h"

namespace {

using namespace regstore;

constexpr REGSAM kAllRights = 0xF003F;

struct OpenKey {
    KeyId key;
    REGSAM rights;
};

// An open that failed: a change asked of the null handle it left did not
// happen for that reason.
struct FailedOpen {
    std::string key;
    LONG code = 0;
    std::string reason;
    failed_writes::Cause cause = failed_writes::Cause::Failed;
};

// What the functions keep between calls.
struct Kept {
    // The open handles, all forgotten when another store has been selected.
    std::unordered_map<std::uintptr_t, OpenKey> open;
    std::uintptr_t next = 0x100;
    std::uint64_t generation = 0;  // of the store the handles belong to
    // Why the store failed, when it said (the message of the last failure).
    std::string lastReason;
    failed_writes::Cause lastCause = failed_writes::Cause::Failed;
    // The last open, when it failed for a reason.
    std::optional<FailedOpen> failedOpen;
};

Kept& kept() {
    static Kept k;
    if (k.generation != generation()) {
        k.open.clear();
        k.generation = generation();
    }
    return k;
}

std::optional<Root> predefined(HKEY h) {
    for (const RootKey& k : kRootKeys) {
        if (h == rootKey(k.handle)) return k.root;
    }
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
    auto it = kept().open.find(reinterpret_cast<std::uintptr_t>(h));
    if (it == kept().open.end()) return ERROR_INVALID_HANDLE;
    *out = it->second;
    return ERROR_SUCCESS;
}

LONG unavailable() {
    return state() == State::Missing ? ERROR_FILE_NOT_FOUND : ERROR_REGISTRY_CORRUPT;
}

std::string nameOf(LPCSTR name) {
    return name ? codepage::toUtf8(name) : std::string();
}

// Text data as the store keeps it, from code-page bytes and back. A store
// of UTF-16 text (a Wine prefix) keeps a string with its terminating NUL,
// as Wine and Windows NT store one the A functions are given without it:
// Wine's own tools take a string's last unit for its NUL and would cut a
// real character off.
std::string toStore(const Store& store, DWORD type, std::string_view data) {
    if (store.textData() == TextData::Utf16 && isTextType(type)) {
        std::string utf16 = codepage::toUtf16(data);
        if (data.empty() || data.back() != '\0') utf16.append(2, '\0');
        return utf16;
    }
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
    kept().lastReason.clear();
    kept().lastCause = failed_writes::Cause::Failed;
    try {
        return f();
    } catch (const NotWritable& e) {
        kept().lastReason = e.what();
        kept().lastCause = failed_writes::Cause::NotWritable;
        return e.code();
    } catch (const Error& e) {
        if (e.code() == ERROR_REGISTRY_CORRUPT) markDamaged(e.what());
        kept().lastReason = e.what();
        return e.code();
    } catch (const std::bad_alloc&) {
        return ERROR_OUTOFMEMORY;
    }
}

std::string reasonFor(LONG code) {
    if (!kept().lastReason.empty()) return kept().lastReason;
    if (code == ERROR_ACCESS_DENIED) return "The registry cannot be written.";
    if (code == ERROR_REGISTRY_CORRUPT)
        return problem().empty() ? "The registry is damaged." : problem();
    if (code == ERROR_OUTOFMEMORY) return "There is not enough memory.";
    return "The registry failed (error " + std::to_string(code) + ").";
}

// The full name of the key an open asked for; HKEY_CLASSES_ROOT keys under
// HKEY_LOCAL_MACHINE\Software\Classes, as the store names them.
std::string requestedName(HKEY root, LPCSTR subKey) {
    std::string name = "(an open key)";
    if (std::optional<Root> r = predefined(root)) {
        name = rootKey(*r == Root::ClassesRoot ? Root::LocalMachine : *r).longName;
        if (*r == Root::ClassesRoot) name += "\\" + std::string(kClassesPath);
    }
    const std::string path = nameOf(subKey);  // the parts below point into it
    for (std::string_view part : splitKeyPath(path)) name += "\\" + std::string(part);
    return name;
}

// A key's full name for the record of changes; "(a key)" when the store
// cannot tell.
std::string nameOfKey(Store& store, KeyId key) {
    try {
        return store.keyName(key);
    } catch (const std::exception&) {
        return "(a key)";
    }
}

// Keeps a change that was not made, for the program to tell the user of.
// A value to be deleted that is not there is gone, as asked: not one.
LONG noteChange(LONG rc, Store* store, HKEY hKey, LPCSTR valueName, bool deleting) {
    if (rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND || rc == ERROR_KEY_DELETED) return rc;
    if (rc == ERROR_INVALID_HANDLE) {
        // The open before it failed: for a missing key, or for a reason.
        if (hKey == nullptr && kept().failedOpen) {
            const FailedOpen& f = *kept().failedOpen;
            if (deleting && f.cause == failed_writes::Cause::KeyMissing) return rc;
            failed_writes::record({f.key, nameOf(valueName), f.code, f.reason, {}, f.cause});
        }
        return rc;
    }
    std::string key = "(a key)";
    try {
        OpenKey open{};
        if (store && resolve(*store, hKey, &open) == ERROR_SUCCESS)
            key = nameOfKey(*store, open.key);
    } catch (const std::exception&) {
        // Named as unknown: the store cannot tell.
    }
    failed_writes::record({key, nameOf(valueName), rc, reasonFor(rc), {}, kept().lastCause});
    return rc;
}

// A change of one value of an open key, with the rights it needs, its
// failures kept when they are not about a missing key or value.
template <typename F>
LONG changeValue(HKEY hKey, LPCSTR valueName, bool deleting, F&& change) {
    Store* store = current();
    if (!store) {
        LONG rc = unavailable();
        noteChange(hKey ? rc : ERROR_INVALID_HANDLE, nullptr, hKey, valueName, deleting);
        return rc;
    }
    Batch* batch = Batch::open();
    LONG rc = guarded([&] {
        OpenKey open{};
        if (LONG rc = resolve(*store, hKey, &open)) return rc;
        if (!(open.rights & KEY_SET_VALUE) || !store->writable()) {
            if (!store->writable()) kept().lastCause = failed_writes::Cause::NotWritable;
            return ERROR_ACCESS_DENIED;
        }
        // A batch that a failure has stopped changes nothing more: it is
        // rolled back when it ends.
        if (std::optional<failed_writes::Failure> stop =
                batch ? batch->stoppedBy() : std::nullopt) {
            kept().lastReason = stop->reason;
            return stop->code;
        }
        LONG rc = change(*store, open.key);
        if (rc == ERROR_SUCCESS && batch)
            failed_writes::noteBatched({nameOfKey(*store, open.key), nameOf(valueName), 0, {}, {}});
        return rc;
    });
    return noteChange(rc, store, hKey, valueName, deleting);
}

}  // namespace

LONG RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD /*ulOptions*/, REGSAM samDesired,
                   PHKEY phkResult) {
    if (!phkResult) return ERROR_INVALID_PARAMETER;
    *phkResult = nullptr;
    kept().failedOpen.reset();
    Store* store = current();
    if (!store) {
        LONG rc = unavailable();
        if (rc != ERROR_FILE_NOT_FOUND)
            kept().failedOpen = FailedOpen{requestedName(hKey, lpSubKey), rc, reasonFor(rc)};
        return rc;
    }
    if (lpSubKey && lpSubKey[0] == '\\') return ERROR_BAD_PATHNAME;
    LONG rc = guarded([&] {
        OpenKey base{};
        if (LONG rc = resolve(*store, hKey, &base)) return rc;
        if ((samDesired & KEY_WRITE_RIGHTS) && !store->writable()) {
            kept().lastCause = failed_writes::Cause::NotWritable;
            return ERROR_ACCESS_DENIED;
        }
        std::optional<KeyId> key = store->findKey(base.key, nameOf(lpSubKey));
        if (!key) return ERROR_FILE_NOT_FOUND;
        Kept& h = kept();
        std::uintptr_t handle = h.next;
        h.next += 4;
        h.open[handle] = {*key, samDesired};
        *phkResult = reinterpret_cast<HKEY>(handle);
        return ERROR_SUCCESS;
    });
    if (rc == ERROR_FILE_NOT_FOUND) {
        // A key that could not be made where its file may not be written
        // is missing for that reason.
        const std::string name = requestedName(hKey, lpSubKey);
        const std::optional<Root> root = predefined(hKey);
        const std::string denied = root ? store->writeProblem(*root) : std::string();
        kept().failedOpen =
            denied.empty()
                ? FailedOpen{name, rc, "The key " + name + " does not exist.",
                             failed_writes::Cause::KeyMissing}
                : FailedOpen{name, ERROR_ACCESS_DENIED, denied, failed_writes::Cause::NotWritable};
    } else if (rc != ERROR_SUCCESS) {
        kept().failedOpen =
            FailedOpen{requestedName(hKey, lpSubKey), rc, reasonFor(rc), kept().lastCause};
    }
    return rc;
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
    return changeValue(hKey, lpValueName, false, [&](Store& store, KeyId key) {
        store.setValue(key, nameOf(lpValueName), dwType,
                       toStore(store, dwType,
                               std::string_view(reinterpret_cast<const char*>(lpData), cbData)));
        return ERROR_SUCCESS;
    });
}

LONG RegDeleteValueA(HKEY hKey, LPCSTR lpValueName) {
    return changeValue(hKey, lpValueName, true, [&](Store& store, KeyId key) {
        return store.deleteValue(key, nameOf(lpValueName)) ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
    });
}

LONG RegCloseKey(HKEY hKey) {
    if (predefined(hKey)) return ERROR_SUCCESS;
    return kept().open.erase(reinterpret_cast<std::uintptr_t>(hKey)) ? ERROR_SUCCESS
                                                                     : ERROR_INVALID_HANDLE;
}
