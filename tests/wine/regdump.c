/* regdump KEY: prints each value of a registry key as Windows programs see
 * it through Wine, one line each: the name (UTF-8, "@" for the default
 * value), the type and the data as hex bytes, exactly as stored. KEY starts
 * with HKLM, HKCU or HKCR. Exit code 1 when the key cannot be opened.
 * regdump --wait: runs until it is ended, keeping Wine running. */
#include <stdio.h>
#include <string.h>
#include <wchar.h>
#include <windows.h>

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: regdump KEY\n");
        return 2;
    }
    const wchar_t* path = argv[1];
    if (!wcscmp(path, L"--wait")) {
        for (;;) Sleep(INFINITE);
    }
    HKEY root = NULL;
    if (!wcsncmp(path, L"HKLM\\", 5)) root = HKEY_LOCAL_MACHINE;
    if (!wcsncmp(path, L"HKCU\\", 5)) root = HKEY_CURRENT_USER;
    if (!wcsncmp(path, L"HKCR\\", 5)) root = HKEY_CLASSES_ROOT;
    HKEY key;
    if (!root || RegOpenKeyExW(root, path + 5, 0, KEY_READ, &key) != ERROR_SUCCESS) {
        fprintf(stderr, "cannot open the key\n");
        return 1;
    }
    for (DWORD i = 0;; ++i) {
        wchar_t name[16384];
        BYTE data[65536];
        DWORD nameLen = 16384, dataLen = sizeof data, type = 0;
        if (RegEnumValueW(key, i, name, &nameLen, NULL, &type, data, &dataLen) != ERROR_SUCCESS)
            break;
        char utf8[65536];
        int n =
            WideCharToMultiByte(CP_UTF8, 0, name, (int)nameLen, utf8, sizeof utf8 - 1, NULL, NULL);
        utf8[n] = '\0';
        printf("%s %lu", n ? utf8 : "@", (unsigned long)type);
        for (DWORD k = 0; k < dataLen; ++k) printf("%c%02x", k ? ',' : ' ', data[k]);
        printf("\n");
    }
    RegCloseKey(key);
    return 0;
}
