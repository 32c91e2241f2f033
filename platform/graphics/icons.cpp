#include "graphics/icons.h"

#include <QPainter>
#include <cstdint>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "files/untrusted_file.h"
#include "graphics/gdi.h"
#include "graphics/iconload.h"
#include "machine/drives.h"
#include "text/codepage.h"

namespace {

// Icon files worth reading are small; a larger one is not read.
constexpr std::uintmax_t kMaxFileBytes = 64u << 20;

// Extracted icons are never released, so the table only grows; handles
// start well clear of the result codes 0 and 1.
struct Table {
    std::mutex lock;
    std::unordered_map<std::uintptr_t, std::unique_ptr<dib::IconBitmap>> icons;
    std::uintptr_t next = 0x7000;
};

Table& table() {
    static Table t;
    return t;
}

const dib::IconBitmap* find(HICON icon) {
    Table& t = table();
    std::lock_guard guard(t.lock);
    auto it = t.icons.find(reinterpret_cast<std::uintptr_t>(icon));
    return it == t.icons.end() ? nullptr : it->second.get();
}

HICON handleOf(std::uintptr_t value) {
    return reinterpret_cast<HICON>(value);
}

// A file's bytes, read in one go: a Wine prefix's explorer.exe is most of
// a megabyte, and the icon readers need only a span of it. The file may
// be any program's (a prefix's files are), so it is read as one we did not
// write: nullopt when it is not a regular file within the cap.
std::optional<std::string> readFile(const std::filesystem::path& path) {
    try {
        return untrusted_file::read(path, kMaxFileBytes);
    } catch (const untrusted_file::Refused&) {
        return std::nullopt;
    }
}

// The icon at `index` of a file's bytes (a handle, or 0 for none, 1 for a
// file that holds no icons at all), or their number for index -1.
HICON extract(const std::string& file, UINT index) {
    const iconreader::Bytes bytes(reinterpret_cast<const std::uint8_t*>(file.data()), file.size());
    if (index == 0xFFFFFFFFu) {
        int n = iconreader::count(bytes);
        return handleOf(n < 0 ? 0 : static_cast<std::uintptr_t>(n));
    }
    iconload::Loaded loaded = iconload::load(bytes, index);
    switch (loaded.status) {
        case iconreader::Status::NotIconFile:
            return handleOf(1);
        case iconreader::Status::NoIcon:
            return handleOf(0);
        case iconreader::Status::Found:
            break;
    }
    Table& t = table();
    std::lock_guard guard(t.lock);
    std::uintptr_t handle = t.next;
    t.next += 4;
    t.icons[handle] = std::make_unique<dib::IconBitmap>(std::move(loaded.icon));
    return handleOf(handle);
}

}  // namespace

HICON ExtractIconA(HINSTANCE, LPCSTR lpszExeFileName, UINT nIconIndex) {
    if (!lpszExeFileName) return handleOf(0);
    const std::string name = codepage::toUtf8(lpszExeFileName);
    auto host = drives::toHost(name);
    if (!host) return handleOf(0);
    const std::optional<std::string> file = readFile(*host);
    HICON icon = file ? extract(*file, nIconIndex) : handleOf(0);
    // A Wine prefix has none of Windows 98's files, or files of their names
    // without their icons (Wine's explorer.exe holds none): such an icon
    // comes from the file the program ships for its own machine.
    if (reinterpret_cast<std::uintptr_t>(icon) <= 1) {
        if (std::optional<std::filesystem::path> ours = drives::standIn(name)) {
            if (const std::optional<std::string> standIn = readFile(*ours)) {
                const HICON shipped = extract(*standIn, nIconIndex);
                if (reinterpret_cast<std::uintptr_t>(shipped) > 1 || !file) icon = shipped;
            }
        }
    }
    return icon;
}

BOOL DrawIcon(HDC hDC, int X, int Y, HICON hIcon) {
    const dib::IconBitmap* icon = find(hIcon);
    QImage* target = gdi::target(hDC);
    if (!icon || !target || target->isNull()) return 0;
    {
        QPainter painter(target);
        painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
        painter.drawImage(X, Y, icon->color);
    }
    if (!icon->invert.isNull()) {
        // The screen XORed by the colour, where the mask let it through.
        const QRect area =
            QRect(X, Y, icon->invert.width(), icon->invert.height()).intersected(target->rect());
        for (int y = area.top(); y <= area.bottom(); ++y) {
            for (int x = area.left(); x <= area.right(); ++x) {
                const QRgb by = icon->invert.pixel(x - X, y - Y) & 0x00FFFFFF;
                if (by == 0) continue;
                const QRgb old = target->pixel(x, y);
                target->setPixel(x, y, (old & 0xFF000000) | ((old ^ by) & 0x00FFFFFF));
            }
        }
    }
    return 1;
}

namespace icons {

const QImage* image(HICON icon) {
    const dib::IconBitmap* found = find(icon);
    return found ? &found->color : nullptr;
}

}  // namespace icons
