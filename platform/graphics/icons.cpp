#include "icons.h"

#include <QPainter>
#include <cstdint>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "codepage.h"
#include "drives.h"
#include "gdi.h"
#include "iconload.h"

namespace {

// Icon files worth reading are small; from a larger file only this much is
// read, so a resource beyond it counts as missing.
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

// The file's bytes (at most kMaxFileBytes of them); nullopt when it cannot be
// read as a regular file.
std::optional<std::vector<std::uint8_t>> readFile(const std::filesystem::path& path) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) return std::nullopt;
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::vector<std::uint8_t> bytes;
    std::uintmax_t size = std::filesystem::file_size(path, ec);
    if (!ec) bytes.reserve(static_cast<std::size_t>(std::min(size, kMaxFileBytes)));
    char chunk[65536];
    while (bytes.size() < kMaxFileBytes && in.read(chunk, sizeof chunk).gcount() > 0) {
        std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(in.gcount()),
                                              kMaxFileBytes - bytes.size());
        bytes.insert(bytes.end(), chunk, chunk + n);
    }
    if (in.bad()) return std::nullopt;
    return bytes;
}

}  // namespace

HICON ExtractIconA(HINSTANCE, LPCSTR lpszExeFileName, UINT nIconIndex) {
    if (!lpszExeFileName) return handleOf(0);
    auto host = drives::toHost(codepage::toUtf8(lpszExeFileName));
    if (!host) return handleOf(0);
    auto bytes = readFile(*host);
    if (!bytes) return handleOf(0);

    if (nIconIndex == 0xFFFFFFFFu) {
        int n = iconreader::count(*bytes);
        return handleOf(n < 0 ? 0 : static_cast<std::uintptr_t>(n));
    }
    iconload::Loaded loaded = iconload::load(*bytes, nIconIndex);
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
