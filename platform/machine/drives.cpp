#include "machine/drives.h"

#include <dirent.h>

#include <iterator>
#include <vector>

#include "machine/data_directory.h"
#include "machine/machine.h"
#include "text/casefold.h"

namespace drives {
namespace {

namespace fs = std::filesystem;

bool isSeparator(char c) {
    return c == '\\' || c == '/';
}

// The entry of `dir` whose name equals `name` without regard to case.
std::optional<std::string> findEntry(const fs::path& dir, const std::string& name) {
    std::error_code ec;
    if (fs::exists(dir / name, ec)) return name;
    DIR* d = ::opendir(dir.c_str());
    if (!d) return std::nullopt;
    std::string wanted = casefold::fold(name);
    std::optional<std::string> found;
    while (dirent* e = ::readdir(d)) {
        if (casefold::fold(e->d_name) == wanted) {
            found = e->d_name;
            break;
        }
    }
    ::closedir(d);
    return found;
}

// Whether `inner` lies in `outer` (both absolute and normal); sets `rest` to
// the part below it.
bool within(const fs::path& inner, const fs::path& outer, fs::path* rest) {
    auto i = inner.begin();
    for (auto o = outer.begin(); o != outer.end(); ++o, ++i) {
        if (o->empty()) continue;  // trailing separator of outer
        if (i == inner.end() || *i != *o) return false;
    }
    fs::path r;
    for (; i != inner.end(); ++i) r /= *i;
    *rest = r;
    return true;
}

std::optional<fs::path> driveRoot(char letter) {
    for (const machine::Drive& d : machine::current().drives()) {
        if (d.letter == letter) return d.root;
    }
    return std::nullopt;
}

fs::path normalHost(const fs::path& p) {
    std::error_code ec;
    fs::path abs = p.is_absolute() ? p : fs::current_path(ec) / p;
    fs::path canon = fs::weakly_canonical(abs, ec);
    return (ec ? abs : canon).lexically_normal();
}

}  // namespace

namespace {

// A Windows path taken apart: its drive letter and the components below the
// drive's root, "." and ".." resolved.
struct Parsed {
    char drive = 0;
    std::vector<std::string> parts;
};

std::optional<Parsed> parse(std::string_view path) {
    // A Windows path ends at its first NUL, as the system's own functions
    // read it; past one, a name such as "..\0x" would reach the host's calls
    // as "..".
    path = path.substr(0, path.find('\0'));
    if (path.empty()) return std::nullopt;
    if (path.size() >= 2 && isSeparator(path[0]) && isSeparator(path[1]))
        return std::nullopt;  // UNC

    Parsed p;
    std::string_view rest = path;
    if (path.size() >= 2 && path[1] == ':') {
        p.drive = static_cast<char>(std::toupper(static_cast<unsigned char>(path[0])));
        rest = path.substr(2);
    }
    if (p.drive == 0 || (!rest.empty() && !isSeparator(rest[0]))) {
        // Relative to the current directory (of that drive, for "C:name").
        std::string cwd = currentDirectory();
        if (p.drive != 0 && std::toupper(static_cast<unsigned char>(cwd[0])) != p.drive) {
            cwd = std::string(1, p.drive) + ":\\";
        }
        if (p.drive == 0) p.drive = cwd[0];
        std::string_view base = std::string_view(cwd).substr(2);
        bool rooted = !rest.empty() && isSeparator(rest[0]);
        if (!rooted) {
            size_t i = 0;
            while (i < base.size()) {
                size_t j = i;
                while (j < base.size() && !isSeparator(base[j])) ++j;
                if (j > i) p.parts.emplace_back(base.substr(i, j - i));
                i = j + 1;
            }
        }
    }
    size_t i = 0;
    while (i < rest.size()) {
        size_t j = i;
        while (j < rest.size() && !isSeparator(rest[j])) ++j;
        std::string_view part = rest.substr(i, j - i);
        if (part == "..") {
            if (!p.parts.empty()) p.parts.pop_back();  // never above the root
        } else if (!part.empty() && part != ".") {
            p.parts.emplace_back(part);
        }
        i = j + 1;
    }
    return p;
}

// The components below `top`, each matched without regard to case while
// they exist; `exists` tells whether the last one does.
fs::path locate(fs::path top, const std::vector<std::string>& parts, bool* exists) {
    *exists = true;
    for (const std::string& part : parts) {
        std::optional<std::string> entry = *exists ? findEntry(top, part) : std::nullopt;
        *exists = entry.has_value();
        top /= entry ? *entry : part;
    }
    return top;
}

}  // namespace

std::optional<fs::path> toHost(std::string_view path) {
    std::optional<Parsed> p = parse(path);
    if (!p) return std::nullopt;
    std::optional<fs::path> top = driveRoot(p->drive);
    if (!top) return std::nullopt;
    bool exists = false;
    return locate(*top, p->parts, &exists);
}

std::optional<fs::path> standIn(std::string_view path) {
    if (!machine::current().isWinePrefix()) return std::nullopt;
    std::optional<Parsed> p = parse(path);
    if (!p || p->drive != 'C') return std::nullopt;
    bool exists = false;
    const fs::path ours = locate(machine::dataDirectory() / "drive_c", p->parts, &exists);
    std::error_code ec;
    if (!exists || !fs::is_regular_file(ours, ec)) return std::nullopt;
    return ours;
}

std::string toWindows(const fs::path& hostPath) {
    fs::path host = normalHost(hostPath);
    // The drive whose root holds the path most closely: C:\ over Z:\ for a
    // file in drive C.
    std::string out;
    size_t best = 0;
    for (const machine::Drive& d : machine::current().drives()) {
        fs::path root = normalHost(d.root);
        fs::path rest;
        size_t depth = static_cast<size_t>(std::distance(root.begin(), root.end()));
        if (within(host, root, &rest) && (out.empty() || depth > best)) {
            out = std::string(1, d.letter) + ":\\" + rest.string();
            best = depth;
        }
    }
    if (out.empty()) out = "Z:" + host.string();  // no drive holds it
    for (char& c : out) {
        if (c == '/') c = '\\';
    }
    if (out.size() > 3 && out.back() == '\\') out.pop_back();
    return out;
}

std::string currentDirectory() {
    std::error_code ec;
    fs::path cwd = fs::current_path(ec);
    return toWindows(ec ? fs::path("/") : cwd);
}

}  // namespace drives
