#include "graphics/gdi.h"

#include <cstdint>
#include <unordered_map>

namespace gdi {
namespace {

struct Table {
    std::unordered_map<std::uintptr_t, QImage*> open;
    std::uintptr_t next = 0x10000;
};

Table& table() {
    static Table t;
    return t;
}

}  // namespace

HDC createDC(QImage* target) {
    Table& t = table();
    std::uintptr_t handle = t.next;
    t.next += 4;
    t.open[handle] = target;
    return reinterpret_cast<HDC>(handle);
}

void deleteDC(HDC dc) {
    table().open.erase(reinterpret_cast<std::uintptr_t>(dc));
}

QImage* target(HDC dc) {
    auto it = table().open.find(reinterpret_cast<std::uintptr_t>(dc));
    return it == table().open.end() ? nullptr : it->second;
}

}  // namespace gdi
