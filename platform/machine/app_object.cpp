#include "machine/app_object.h"

#include <QCoreApplication>
#include <cstdint>
#include <filesystem>

#include "machine/drives.h"

namespace App {

QString Path() {
    // /proc/self/exe names the executable with every link resolved.
    std::error_code ec;
    std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec || exe.empty()) {
        exe = std::filesystem::path(QCoreApplication::applicationFilePath().toStdString());
    }
    return QString::fromStdString(drives::toWindows(exe.parent_path()));
}

HINSTANCE hInstance() {
    // The load address a Windows executable conventionally has.
    return reinterpret_cast<HINSTANCE>(static_cast<std::uintptr_t>(0x00400000));
}

QString Title() {
    return QStringLiteral("Knobwise");
}

}  // namespace App
