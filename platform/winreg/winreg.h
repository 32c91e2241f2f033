// The registry functions of the Windows API that the program calls, with the
// Windows names, argument order, types and return codes. Here they work on the
// machine's registry store (see store.h and current_store.h); on Windows they
// would be the real ones.
#pragma once

#include <cstdint>

#include "winerror.h"
#include "winreg/regtypes.h"
#include "winreg/store.h"
#include "wintypes.h"

using REGSAM = DWORD;
struct HKEY__;
using HKEY = HKEY__*;
using PHKEY = HKEY*;

// A predefined root key from its 32-bit handle value, sign-extended as Windows does.
inline HKEY rootKey(std::uint32_t value) {
    return reinterpret_cast<HKEY>(static_cast<std::intptr_t>(static_cast<std::int32_t>(value)));
}

inline constexpr std::uint32_t HKEY_CLASSES_ROOT_VALUE =
    regstore::rootKey(regstore::Root::ClassesRoot).handle;
inline constexpr std::uint32_t HKEY_CURRENT_USER_VALUE =
    regstore::rootKey(regstore::Root::CurrentUser).handle;
inline constexpr std::uint32_t HKEY_LOCAL_MACHINE_VALUE =
    regstore::rootKey(regstore::Root::LocalMachine).handle;
#define HKEY_CLASSES_ROOT (rootKey(HKEY_CLASSES_ROOT_VALUE))
#define HKEY_CURRENT_USER (rootKey(HKEY_CURRENT_USER_VALUE))
#define HKEY_LOCAL_MACHINE (rootKey(HKEY_LOCAL_MACHINE_VALUE))

inline constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
inline constexpr REGSAM KEY_SET_VALUE = 0x0002;
inline constexpr REGSAM KEY_CREATE_SUB_KEY = 0x0004;
inline constexpr REGSAM KEY_ENUMERATE_SUB_KEYS = 0x0008;
inline constexpr REGSAM KEY_NOTIFY = 0x0010;
inline constexpr REGSAM KEY_CREATE_LINK = 0x0020;
inline constexpr REGSAM KEY_READ = 0x20019;
inline constexpr REGSAM KEY_WRITE = 0x20006;
// Rights that change the hive: refused on a hive the user cannot write.
inline constexpr REGSAM KEY_WRITE_RIGHTS = KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_CREATE_LINK;

LONG RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions, REGSAM samDesired, PHKEY phkResult);
LONG RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                      LPBYTE lpData, LPDWORD lpcbData);
LONG RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD Reserved, DWORD dwType, const BYTE* lpData,
                    DWORD cbData);
LONG RegDeleteValueA(HKEY hKey, LPCSTR lpValueName);
LONG RegCloseKey(HKEY hKey);
