/* knobwise-regread [/s] KEY...: run inside a prefix's running Wine, writes
 * the values of each key that opens to standard output as a registry file
 * ("Windows Registry Editor Version 5.00", UTF-16LE with a byte order mark):
 * a [key] line and every value as hex(type) of its bytes exactly as stored;
 * with /s, every key below each one too. A key that does not open is left
 * out. KEY starts with HKLM\ or HKCU\. One process for all keys: each Wine
 * process costs far more than the reading. */
#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>
#include <windows.h>

static wchar_t* out;
static size_t outLen, outCap;

static void put(const wchar_t* s, size_t n) {
    if (outLen + n > outCap) {
        outCap = (outLen + n) * 2 + 4096;
        out = realloc(out, outCap * sizeof *out);
        if (!out) exit(3);
    }
    memcpy(out + outLen, s, n * sizeof *s);
    outLen += n;
}

static void puts16(const wchar_t* s) {
    put(s, wcslen(s));
}

static void hexByte(BYTE b) {
    static const wchar_t digits[] = L"0123456789abcdef";
    wchar_t pair[2] = {digits[b >> 4], digits[b & 15]};
    put(pair, 2);
}

static void dumpKey(HKEY root, const wchar_t* rootName, const wchar_t* path, int below) {
    HKEY key;
    if (RegOpenKeyExW(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return;
    puts16(L"\r\n[");
    /* The root itself without a backslash after its name. */
    put(rootName, wcslen(rootName) - (*path ? 0 : 1));
    puts16(path);
    puts16(L"]\r\n");
    static wchar_t name[16384];
    static BYTE data[1 << 20];
    for (DWORD i = 0;; ++i) {
        DWORD nameLen = sizeof name / sizeof *name, dataLen = sizeof data, type = 0;
        const LONG rc = RegEnumValueW(key, i, name, &nameLen, NULL, &type, data, &dataLen);
        if (rc == ERROR_NO_MORE_ITEMS) break;
        /* A value that cannot be read whole (larger than the buffer): fail
         * rather than leave it out, so that the files are shown instead. */
        if (rc != ERROR_SUCCESS) exit(4);
        if (nameLen == 0) {
            puts16(L"@");
        } else {
            puts16(L"\"");
            for (DWORD k = 0; k < nameLen; ++k) {
                if (name[k] == L'\\' || name[k] == L'"') puts16(L"\\");
                put(&name[k], 1);
            }
            puts16(L"\"");
        }
        wchar_t head[32];
        swprintf(head, 32, L"=hex(%lx):", (unsigned long)type);
        puts16(head);
        for (DWORD k = 0; k < dataLen; ++k) {
            if (k) puts16(L",");
            hexByte(data[k]);
        }
        puts16(L"\r\n");
    }
    for (DWORD i = 0; below; ++i) {
        wchar_t sub[256];
        DWORD subLen = sizeof sub / sizeof *sub;
        const LONG rc = RegEnumKeyExW(key, i, sub, &subLen, NULL, NULL, NULL, NULL);
        if (rc == ERROR_NO_MORE_ITEMS) break;
        if (rc != ERROR_SUCCESS) exit(4);
        const size_t pathLen = wcslen(path);
        wchar_t* child = malloc((pathLen + subLen + 2) * sizeof *child);
        if (!child) exit(3);
        swprintf(child, pathLen + subLen + 2, pathLen ? L"%ls\\%ls" : L"%ls%ls", path, sub);
        dumpKey(root, rootName, child, below);
        free(child);
    }
    RegCloseKey(key);
}

int wmain(int argc, wchar_t** argv) {
    puts16(L"\xfeffWindows Registry Editor Version 5.00\r\n");
    int below = 0;
    for (int a = 1; a < argc; ++a) {
        const wchar_t* path = argv[a];
        if (!wcscmp(path, L"/s"))
            below = 1;
        else if (!wcsncmp(path, L"HKLM\\", 5))
            dumpKey(HKEY_LOCAL_MACHINE, L"HKEY_LOCAL_MACHINE\\", path + 5, below);
        else if (!wcsncmp(path, L"HKCU\\", 5))
            dumpKey(HKEY_CURRENT_USER, L"HKEY_CURRENT_USER\\", path + 5, below);
    }
    _setmode(_fileno(stdout), _O_BINARY);
    fwrite(out, sizeof *out, outLen, stdout);
    return fflush(stdout) == 0 ? 0 : 1;
}
