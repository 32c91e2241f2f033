#include "winreg/store.h"

#include <cerrno>

#include "text/ascii.h"

namespace regstore {

std::string fileMessage(const std::filesystem::path& file, std::string_view what,
                        std::string_view reason) {
    std::string text = "The registry file " + file.string() + " " + std::string(what);
    if (!reason.empty()) text += ": " + std::string(reason);
    return text + ".";
}

std::vector<std::string_view> splitKeyPath(std::string_view path) {
    std::vector<std::string_view> parts;
    while (!path.empty()) {
        size_t cut = path.find('\\');
        std::string_view part = path.substr(0, cut);
        if (!part.empty()) parts.push_back(part);
        if (cut == std::string_view::npos) break;
        path.remove_prefix(cut + 1);
    }
    return parts;
}

LONG codeForErrno(int error) {
    switch (error) {
        case ENOSPC:
        case EDQUOT:
            return ERROR_DISK_FULL;
        case EROFS:
        case EACCES:
        case EPERM:
            return ERROR_ACCESS_DENIED;
        case ENOMEM:
            return ERROR_OUTOFMEMORY;
        default:
            return ERROR_REGISTRY_IO_FAILED;
    }
}

Root rootOf(std::uint32_t predefined) {
    for (const RootKey& k : kRootKeys) {
        if (k.handle == predefined) return k.root;
    }
    return Root::LocalMachine;
}

std::optional<Root> rootNamed(std::string_view name) {
    for (const RootKey& k : kRootKeys) {
        if (ascii::equalNoCase(name, k.longName) || ascii::equalNoCase(name, k.shortName))
            return k.root;
    }
    return std::nullopt;
}

std::optional<KeyId> Store::root(Root r) {
    if (r == Root::ClassesRoot) return findKey(top(Root::LocalMachine), kClassesPath);
    return top(r);
}

std::optional<KeyId> Store::findKey(Root r, std::string_view path) {
    std::optional<KeyId> top = root(r);
    return top ? findKey(*top, path) : std::nullopt;
}

KeyId Store::createKey(Root r, std::string_view path) {
    if (r == Root::ClassesRoot)
        return createKey(createKey(*root(Root::LocalMachine), kClassesPath), path);
    return createKey(*root(r), path);
}

}  // namespace regstore
