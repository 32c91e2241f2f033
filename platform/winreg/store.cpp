#include "winreg/store.h"

namespace regstore {

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

Root rootOf(std::uint32_t predefined) {
    switch (predefined) {
        case 0x80000000u:
            return Root::ClassesRoot;
        case 0x80000001u:
            return Root::CurrentUser;
        default:
            return Root::LocalMachine;
    }
}

std::optional<KeyId> Store::root(Root r) {
    if (r == Root::ClassesRoot) return findKey(top(Root::LocalMachine), "Software\\Classes");
    return top(r);
}

std::optional<KeyId> Store::findKey(Root r, std::string_view path) {
    std::optional<KeyId> top = root(r);
    return top ? findKey(*top, path) : std::nullopt;
}

KeyId Store::createKey(Root r, std::string_view path) {
    if (r == Root::ClassesRoot)
        return createKey(createKey(*root(Root::LocalMachine), "Software\\Classes"), path);
    return createKey(*root(r), path);
}

}  // namespace regstore
