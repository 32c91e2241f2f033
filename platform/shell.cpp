#include "shell.h"

#include <QDesktopServices>
#include <QGuiApplication>
#include <filesystem>
#include <new>
#include <string>
#include <system_error>

#include "machine/drives.h"
#include "text/ascii.h"
#include "text/codepage.h"

namespace shell {
namespace {

bool desktopOpener(const QUrl& url) {
    // The desktop services need a GUI application; without one nothing can open it.
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) return false;
    return QDesktopServices::openUrl(url);
}

Opener& currentOpener() {
    static Opener opener = desktopOpener;
    return opener;
}

// The scheme of "scheme:rest" when it is two or more letters long (one letter
// is a drive); empty otherwise.
std::string schemeOf(std::string_view text) {
    size_t colon = text.find(':');
    if (colon == std::string_view::npos || colon < 2) return {};
    std::string scheme;
    for (size_t i = 0; i < colon; ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        bool ok =
            std::isalpha(c) || (i > 0 && (std::isdigit(c) || c == '+' || c == '-' || c == '.'));
        if (!ok) return {};
        scheme += ascii::lower(static_cast<char>(c));
    }
    return scheme;
}

bool isRelative(std::string_view path) {
    bool hasDrive = path.size() >= 2 && path[1] == ':';
    bool rooted = !path.empty() && (path[0] == '\\' || path[0] == '/');
    return !hasDrive && !rooted;
}

int hand(const QUrl& url) {
    const Opener& opener = currentOpener();
    if (!opener || !url.isValid()) return SE_ERR_NOASSOC;
    return opener(url) ? SHELL_OPEN_SUCCEEDED : SE_ERR_NOASSOC;
}

int open(LPCSTR operation, LPCSTR file, LPCSTR directory) {
    if (operation && !ascii::equalNoCase(operation, "open")) return SE_ERR_NOASSOC;
    if (!file || !*file) return SE_ERR_FNF;
    std::string target = codepage::toUtf8(file);

    std::string scheme = schemeOf(target);
    if (!scheme.empty()) {
        if (scheme != "http" && scheme != "https" && scheme != "ftp" && scheme != "mailto") {
            return SE_ERR_NOASSOC;
        }
        return hand(QUrl(QString::fromStdString(target), QUrl::TolerantMode));
    }

    if (isRelative(target) && directory && *directory) {
        std::string dir = codepage::toUtf8(directory);
        if (dir.back() != '\\' && dir.back() != '/') dir += '\\';
        target = dir + target;
    }
    std::optional<std::filesystem::path> host = drives::toHost(target);
    if (!host) return SE_ERR_PNF;
    std::error_code ec;
    if (!std::filesystem::exists(*host, ec)) {
        return std::filesystem::is_directory(host->parent_path(), ec) ? SE_ERR_FNF : SE_ERR_PNF;
    }
    return hand(QUrl::fromLocalFile(QString::fromStdString(host->string())));
}

}  // namespace

void setOpener(Opener opener) {
    currentOpener() = opener ? std::move(opener) : Opener(desktopOpener);
}

}  // namespace shell

HWND GetDesktopWindow() {
    // The desktop is no window of ours; any fixed non-null handle will do.
    return reinterpret_cast<HWND>(std::uintptr_t{0x10010});
}

HINSTANCE ShellExecuteA(HWND, LPCSTR lpOperation, LPCSTR lpFile, LPCSTR, LPCSTR lpDirectory, INT) {
    int result;
    try {
        result = shell::open(lpOperation, lpFile, lpDirectory);
    } catch (const std::bad_alloc&) {
        result = SE_ERR_OOM;
    }
    return reinterpret_cast<HINSTANCE>(static_cast<std::intptr_t>(result));
}
