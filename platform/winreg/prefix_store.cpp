#include "text/ascii.h"
#include "winreg/prefix_store.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <future>
#include <system_error>
#include <thread>
#include <vector>

#include "winreg/atomic_file.h"
#include "text/casefold.h"
#include "winreg/winefile.h"

namespace regstore {
namespace {

namespace fs = std::filesystem;

constexpr auto kBusyTimeout = std::chrono::seconds(10);
// More than any registry file has reason to hold; refused before it is read.
constexpr off_t kLargestFile = off_t{512} * 1024 * 1024;
constexpr KeyId kLocalMachine = 1;
constexpr KeyId kCurrentUser = 2;

// A value of a key, with where its line is when it is one the file holds.
struct Val {
    std::string name;  // UTF-8, as created
    std::string fold;
    DWORD type = REG_NONE;
    std::string data;
    int section = -1;         // the section its line is in; -1 for a new value
    std::size_t origin = 0;   // its line's offset in that section
    std::size_t nameLen = 0;  // the length of its name as spelled there
    std::size_t length = 0;   // the length of its line(s)
    bool intact = false;      // its line still says what it holds
};

struct Node {
    KeyId parent = 0;
    int file = 0;
    std::uint32_t nameAt = 0;  // its name, UTF-8 as created, in the pool of names
    std::uint32_t nameLength = 0;
    std::uint64_t hash = 0;  // of its parent and folded name
    KeyId firstChild = 0;    // children, present or not, linked
    KeyId nextSibling = 0;
    int section = -1;             // its section in the file; -1 when it has none
    std::vector<int> duplicates;  // further sections for the same key
    bool present = false;
    bool loaded = false;   // values read from the file
    bool dirty = false;    // its section must be written anew
    bool pending = false;  // has an entry without a section in the file's order
    std::vector<Val> values;
};

bool isAscii(std::string_view s) {
    return std::all_of(s.begin(), s.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// A child's hash: its parent and its name as folded. Names in plain ASCII,
// nearly all of them, are folded on the fly.
std::uint64_t childHash(KeyId parent, std::string_view name) {
    std::uint64_t h =
        14695981039346656037ull ^ (static_cast<std::uint64_t>(parent) * 0x9E3779B97F4A7C15ull);
    auto mix = [&](char c) { h = (h ^ static_cast<unsigned char>(c)) * 1099511628211ull; };
    if (isAscii(name)) {
        for (char c : name) mix(ascii::lower(c));
    } else {
        for (char c : casefold::fold(name)) mix(c);
    }
    return h;
}

bool sameName(std::string_view a, std::string_view b) {
    if (isAscii(a) && isAscii(b)) return ascii::equalNoCase(a, b);
    return casefold::fold(a) == casefold::fold(b);
}

// A section of the file's output, in order: one the file holds, or one to
// be written for a key that has none yet (section -1).
struct Entry {
    KeyId node;
    int section;
};

struct RegFile {
    fs::path path;  // as the prefix names it; may be a link
    KeyId root = 0;
    std::string text;
    std::string spare;  // the text before, its memory kept for the next rewrite
    winefile::Layout layout;
    std::vector<Entry> order;
    struct stat known {};  // the file as last read or written
    std::string damage;    // why it cannot be used; empty when sound
    bool changed = false;  // changes not written yet (in a transaction)
    int lockFd = -1;
};

[[noreturn]] void systemFailure(int error, const std::string& what) {
    throw std::system_error(error, std::generic_category(), what);
}

bool sameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

bool sameContent(const struct stat& a, const struct stat& b) {
    return sameFile(a, b) && a.st_size == b.st_size && a.st_mtim.tv_sec == b.st_mtim.tv_sec &&
           a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

// The file a path names, links followed.
fs::path target(const fs::path& path) {
    std::error_code ec;
    fs::path t = fs::canonical(path, ec);
    return ec ? path : t;
}

std::string readAll(int fd, const fs::path& path, struct stat* st) {
    if (::fstat(fd, st) != 0) systemFailure(errno, "cannot read " + path.string());
    if (!S_ISREG(st->st_mode)) systemFailure(EINVAL, path.string() + " is not a file");
    if (st->st_size > kLargestFile) systemFailure(EFBIG, "cannot read " + path.string());
    std::string bytes(static_cast<size_t>(st->st_size), '\0');
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::pread(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) systemFailure(errno, "cannot read " + path.string());
        if (n == 0) break;
        done += static_cast<size_t>(n);
    }
    bytes.resize(done);
    return bytes;
}

LONG codeFor(int error) {
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

bool pathLess(const std::vector<std::string>& a, const std::vector<std::string>& b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end());
}

}  // namespace

struct PrefixStore::Impl {
    fs::path prefix;
    Guard guard;
    std::vector<Node> nodes;
    std::string names;  // the pool the nodes' names are kept in
    // Children by hash: open addressing over node ids, half full at most.
    std::vector<KeyId> slots = std::vector<KeyId>(1024, 0);
    RegFile files[2];
    bool inTransaction = false;
    // The files are read on a thread of their own while the program goes
    // on; everything but where(), writable() and textData() waits for it.
    std::future<void> loading;

    void ready() {
        if (loading.valid()) loading.get();
    }

    // Reads both files; a file that cannot be read is noted as damaged.
    void loadBoth() {
        for (int f = 0; f < 2; ++f) {
            RegFile& rf = files[f];
            try {
                reload(f);
            } catch (const winefile::ParseError& e) {
                rf.damage =
                    "The registry file " + rf.path.string() + " cannot be read: " + e.what() + ".";
            } catch (const std::system_error& e) {
                rf.damage = "The registry file " + rf.path.string() +
                            " cannot be read: " + e.code().message() + ".";
            } catch (const std::exception& e) {
                rf.damage =
                    "The registry file " + rf.path.string() + " cannot be read: " + e.what() + ".";
            }
        }
    }

    std::string_view nameOf(KeyId id) const {
        const Node& n = nodes[static_cast<size_t>(id)];
        return std::string_view(names).substr(n.nameAt, n.nameLength);
    }

    void name(Node& n, std::string_view text) {
        n.nameAt = static_cast<std::uint32_t>(names.size());
        n.nameLength = static_cast<std::uint32_t>(text.size());
        names.append(text);
    }

    Node* node(KeyId id) {
        if (id <= 0 || static_cast<size_t>(id) >= nodes.size()) return nullptr;
        Node& n = nodes[static_cast<size_t>(id)];
        return n.present ? &n : nullptr;
    }

    Node& live(KeyId id) {
        Node* n = node(id);
        if (!n) throw Error(ERROR_KEY_DELETED, "The key has been deleted.");
        return *n;
    }

    RegFile& fileOf(KeyId id) { return files[nodes[static_cast<size_t>(id)].file]; }

    void index(KeyId id) {
        const size_t mask = slots.size() - 1;
        size_t at = nodes[static_cast<size_t>(id)].hash & mask;
        while (slots[at] != 0) at = (at + 1) & mask;
        slots[at] = id;
    }

    // A table of `size` slots (a power of two) holding every key but the roots.
    void rehash(size_t size) {
        slots.assign(size, 0);
        for (size_t i = 1; i < nodes.size(); ++i) {
            if (nodes[i].parent != 0) index(static_cast<KeyId>(i));
        }
    }

    // The child of `parent` named `name`; made when `create` and missing.
    std::optional<KeyId> child(KeyId parent, std::string_view name, bool create) {
        const std::uint64_t h = childHash(parent, name);
        const size_t mask = slots.size() - 1;
        for (size_t at = h & mask; slots[at] != 0; at = (at + 1) & mask) {
            Node& n = nodes[static_cast<size_t>(slots[at])];
            if (n.hash != h || n.parent != parent || !sameName(nameOf(slots[at]), name)) continue;
            if (!n.present && !create) return std::nullopt;
            n.present = true;
            return slots[at];
        }
        if (!create) return std::nullopt;
        auto id = static_cast<KeyId>(nodes.size());
        Node n;
        n.parent = parent;
        n.file = nodes[static_cast<size_t>(parent)].file;
        this->name(n, name);
        n.hash = h;
        n.present = true;
        n.nextSibling = nodes[static_cast<size_t>(parent)].firstChild;
        nodes.push_back(std::move(n));
        nodes[static_cast<size_t>(parent)].firstChild = id;
        if (nodes.size() * 2 > slots.size()) {
            rehash(slots.size() * 2);
        } else {
            index(id);
        }
        return id;
    }

    std::vector<KeyId> childrenOf(KeyId id) {
        std::vector<KeyId> out;
        for (KeyId c = nodes[static_cast<size_t>(id)].firstChild; c != 0;
             c = nodes[static_cast<size_t>(c)].nextSibling)
            out.push_back(c);
        return out;
    }

    // The file's keys from its text; keys keep their ids across reloads.
    void load(int f, std::string text) {
        winefile::Layout layout = winefile::parse(text);
        RegFile& rf = files[f];
        for (size_t i = 1; i < nodes.size(); ++i) {
            Node& n = nodes[i];
            if (n.file != f) continue;
            if (static_cast<KeyId>(i) != rf.root) n.present = false;
            n.section = -1;
            n.duplicates.clear();
            n.loaded = n.dirty = n.pending = false;
            n.values.clear();
        }
        rf.order.clear();
        rf.order.reserve(layout.sections.size());
        // Room for the keys to come (a key a section, and a few above them)
        // before the table is half full.
        const size_t expected = nodes.size() + layout.sections.size() + layout.sections.size() / 4;
        if (expected > slots.size() / 2) {
            size_t want = slots.size();
            while (want < expected * 2) want *= 2;
            rehash(want);
        }
        nodes.reserve(expected);
        names.reserve(names.size() + text.size() / 4);
        // Sections come in name order, so a path mostly begins as the one
        // before it did: those keys are known without looking them up. A
        // path that had to be decoded keeps its names in a scratch string,
        // and the section before's stay in the other.
        std::string scratch[2];
        std::vector<std::string_view> parts, previousParts;
        std::vector<KeyId> previousIds;
        for (size_t i = 0; i < layout.sections.size(); ++i) {
            winefile::namesOf(text, layout.sections[i], parts, scratch[i % 2]);
            size_t same = 0;
            while (same < parts.size() && same < previousParts.size() &&
                   parts[same] == previousParts[same])
                ++same;
            previousIds.resize(same);
            KeyId id = same ? previousIds.back() : rf.root;
            for (size_t k = same; k < parts.size(); ++k) {
                id = *child(id, parts[k], true);
                previousIds.push_back(id);
            }
            std::swap(parts, previousParts);
            Node& n = nodes[static_cast<size_t>(id)];
            if (n.section < 0) {
                n.section = static_cast<int>(i);
            } else {
                n.duplicates.push_back(static_cast<int>(i));
            }
            rf.order.push_back({id, static_cast<int>(i)});
        }
        rf.text = std::move(text);
        rf.layout = std::move(layout);
        rf.changed = false;
    }

    // Reads the file as it is on disk now, through `fd` when one is open.
    void reload(int f, int fd = -1) {
        RegFile& rf = files[f];
        const fs::path file = target(rf.path);
        int own = fd;
        if (own < 0) {
            own = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
            if (own < 0) systemFailure(errno, "cannot read " + file.string());
        }
        struct stat st {};
        std::string text;
        try {
            text = readAll(own, file, &st);
        } catch (...) {
            if (fd < 0) ::close(own);
            throw;
        }
        if (fd < 0) ::close(own);
        load(f, std::move(text));
        rf.known = st;
    }

    // Takes the file's lock, reading the file again when another writer has
    // changed it since.
    void lock(int f) {
        RegFile& rf = files[f];
        if (rf.lockFd >= 0) return;
        const auto deadline = std::chrono::steady_clock::now() + kBusyTimeout;
        while (true) {
            const fs::path file = target(rf.path);
            int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
            if (fd < 0) {
                const int error = errno;
                throw Error(codeFor(error), "The registry file " + rf.path.string() +
                                                " cannot be read: " + std::strerror(error) + ".");
            }
            if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
                struct stat held {
                }, now{};
                if (::fstat(fd, &held) == 0 && ::stat(file.c_str(), &now) == 0 &&
                    sameFile(held, now)) {
                    rf.lockFd = fd;
                    break;
                }
                // Replaced while we waited: lock the new file instead.
            } else if (errno != EWOULDBLOCK && errno != EINTR) {
                int error = errno;
                ::close(fd);
                throw Error(codeFor(error), "The registry file " + rf.path.string() +
                                                " cannot be locked: " + std::strerror(error) + ".");
            }
            ::close(fd);
            if (std::chrono::steady_clock::now() > deadline)
                throw Error(ERROR_REGISTRY_IO_FAILED, "The registry file " + rf.path.string() +
                                                          " is kept busy by another program.");
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        struct stat st {};
        if (::fstat(rf.lockFd, &st) == 0 && !sameContent(st, rf.known)) {
            try {
                reload(f, rf.lockFd);
            } catch (const winefile::ParseError& e) {
                unlock(f);
                rf.damage =
                    "The registry file " + rf.path.string() + " cannot be read: " + e.what() + ".";
                throw Refused(ERROR_ACCESS_DENIED, rf.damage);
            } catch (const std::system_error& e) {
                unlock(f);
                throw Error(codeFor(e.code().value()), e.what());
            }
        }
    }

    void unlock(int f) {
        RegFile& rf = files[f];
        if (rf.lockFd >= 0) ::close(rf.lockFd);
        rf.lockFd = -1;
    }

    // Refuses changes the prefix cannot take now.
    void mayChange() {
        for (const RegFile& rf : files) {
            if (!rf.damage.empty())
                throw Refused(ERROR_ACCESS_DENIED, "The Wine prefix " + prefix.string() +
                                                       " is used read-only. " + rf.damage);
        }
        if (guard) {
            if (std::optional<std::string> why = guard()) throw Refused(ERROR_ACCESS_DENIED, *why);
        }
    }

    void loadValues(Node& n) {
        if (n.loaded) return;
        n.loaded = true;
        n.values.clear();
        RegFile& rf = files[n.file];
        auto take = [&](int sec) {
            const winefile::Section& s = rf.layout.sections[static_cast<size_t>(sec)];
            for (winefile::Item& it : winefile::body(rf.text, s)) {
                if (it.kind != winefile::Item::Value) continue;
                Val v;
                v.fold = casefold::fold(it.name);
                v.name = std::move(it.name);
                v.type = it.type;
                v.data = std::move(it.data);
                v.section = sec;
                v.origin = it.begin - s.begin;
                v.nameLen = it.nameEnd - it.begin;
                v.length = it.end - it.begin;
                v.intact = true;
                // A later line for the same name wins, as Wine reads it.
                std::erase_if(n.values, [&](const Val& o) { return o.fold == v.fold; });
                n.values.push_back(std::move(v));
            }
        };
        // Every line was checked as the file was read; should a section
        // that cannot be read come here all the same, the file is taken as
        // unreadable.
        try {
            if (n.section >= 0) take(n.section);
            for (int d : n.duplicates) take(d);
        } catch (const winefile::ParseError& e) {
            n.values.clear();
            if (rf.damage.empty())
                rf.damage =
                    "The registry file " + rf.path.string() + " cannot be read: " + e.what() + ".";
        }
    }

    Val* findValue(Node& n, std::string_view name) {
        loadValues(n);
        std::string f = casefold::fold(name);
        for (Val& v : n.values) {
            if (v.fold == f) return &v;
        }
        return nullptr;
    }

    std::vector<std::string> foldedPath(KeyId id) {
        std::vector<std::string> parts;
        for (; nodes[static_cast<size_t>(id)].parent != 0;
             id = nodes[static_cast<size_t>(id)].parent)
            parts.push_back(casefold::fold(nameOf(id)));
        std::reverse(parts.begin(), parts.end());
        return parts;
    }

    std::string relativePath(KeyId id) {
        std::string path;
        for (; nodes[static_cast<size_t>(id)].parent != 0;
             id = nodes[static_cast<size_t>(id)].parent)
            path = path.empty() ? std::string(nameOf(id)) : std::string(nameOf(id)) + "\\" + path;
        return path;
    }

    // The key's section is to be written anew; a key without one gets its
    // place among the file's sections in name order.
    void markDirty(KeyId id) {
        Node& n = nodes[static_cast<size_t>(id)];
        n.dirty = true;
        if (n.section >= 0 || n.pending || id == files[n.file].root) return;
        n.pending = true;
        RegFile& rf = files[n.file];
        const std::vector<std::string> path = foldedPath(id);
        auto at = std::find_if(rf.order.begin(), rf.order.end(),
                               [&](const Entry& e) { return pathLess(path, foldedPath(e.node)); });
        rf.order.insert(at, Entry{id, -1});
    }

    std::string rawLine(const RegFile& rf, const Val& v) {
        const winefile::Section& s = rf.layout.sections[static_cast<size_t>(v.section)];
        return rf.text.substr(s.begin + v.origin, v.length);
    }

    std::string lineOf(const RegFile& rf, const Val& v) {
        if (v.intact) return rawLine(rf, v);
        std::string name =
            v.section >= 0
                ? rf.text.substr(
                      rf.layout.sections[static_cast<size_t>(v.section)].begin + v.origin,
                      v.nameLen)
                : winefile::nameText(v.name);
        return winefile::valueText(name, v.type, v.data, rf.layout.eol);
    }

    // A key's section written anew: its key line with a fresh time, its
    // option and comment lines as they were, its values with the changed
    // ones in their places and new ones in name order.
    winefile::Section regenerate(KeyId id, int sec, std::string& out) {
        Node& n = nodes[static_cast<size_t>(id)];
        RegFile& rf = files[n.file];
        const std::string& eol = rf.layout.eol;
        loadValues(n);
        struct Line {
            winefile::Item::Kind kind;
            std::string text;
            std::string fold;
        };
        std::vector<Line> lines;
        std::vector<bool> placed(n.values.size(), false);
        winefile::Section made;
        std::string rawPath;
        if (sec >= 0) {
            const winefile::Section& s = rf.layout.sections[static_cast<size_t>(sec)];
            rawPath = s.rawPath(rf.text);
            for (const winefile::Item& it : winefile::body(rf.text, s)) {
                if (it.kind == winefile::Item::Value) {
                    for (size_t k = 0; k < n.values.size(); ++k) {
                        const Val& v = n.values[k];
                        if (v.section == sec && s.begin + v.origin == it.begin) {
                            lines.push_back({it.kind, lineOf(rf, v), v.fold});
                            placed[k] = true;
                        }
                    }
                    continue;
                }
                std::string text = rf.text.substr(it.begin, it.end - it.begin);
                if (it.kind == winefile::Item::Option && text.starts_with("#time="))
                    text = winefile::timeLine(winefile::filetimeNow(), eol);
                lines.push_back({it.kind, std::move(text), {}});
            }
        } else {
            if (!out.empty() && !out.ends_with(eol + eol)) out += eol;
            rawPath = winefile::pathText(relativePath(id));
            lines.push_back(
                {winefile::Item::Option, winefile::timeLine(winefile::filetimeNow(), eol), {}});
        }
        for (size_t k = 0; k < n.values.size(); ++k) {
            if (placed[k]) continue;
            const Val& v = n.values[k];
            auto firstGreater = std::find_if(lines.begin(), lines.end(), [&](const Line& l) {
                return l.kind == winefile::Item::Value && v.fold < l.fold;
            });
            auto at = firstGreater;
            if (at == lines.end()) {
                // After the last value, or the last option when there is none.
                auto last = std::find_if(lines.rbegin(), lines.rend(), [](const Line& l) {
                    return l.kind == winefile::Item::Value;
                });
                if (last == lines.rend())
                    last = std::find_if(lines.rbegin(), lines.rend(), [](const Line& l) {
                        return l.kind == winefile::Item::Option;
                    });
                at = last == lines.rend() ? lines.begin() : last.base();
            }
            lines.insert(at, {winefile::Item::Value, lineOf(rf, v), v.fold});
        }
        const std::string head = winefile::keyLine(rawPath, winefile::unixNow(), eol);
        made.begin = out.size();
        made.pathEnd = made.begin + 1 + rawPath.size();
        made.bodyBegin = made.begin + head.size();
        out += head;
        for (const Line& l : lines) out += l.text;
        if (sec < 0) out += eol;
        return made;
    }

    // A file's new text, with the layout it has: the sections of keys not
    // changed copied and moved, those of changed keys written anew.
    struct Rewrite {
        std::string text;
        std::vector<winefile::Section> sections;
        std::vector<Entry> order;
        std::vector<int> moved;  // old section -> new section, -1 when gone
    };

    Rewrite serialize(int f) {
        RegFile& rf = files[f];
        Rewrite r;
        // Into the memory of the text before: a file of a few megabytes
        // costs more in fresh pages than in copying.
        r.text = std::move(rf.spare);
        r.text.clear();
        r.text.reserve(rf.text.size() + 4096);
        r.text.append(rf.text, 0, rf.layout.headerEnd);
        r.moved.assign(rf.layout.sections.size(), -1);
        r.sections.reserve(rf.order.size());
        r.order.reserve(rf.order.size());
        // Sections copied one after another are appended together.
        size_t runFrom = 0, runTo = 0;
        auto flush = [&] {
            r.text.append(rf.text, runFrom, runTo - runFrom);
            runFrom = runTo = 0;
        };
        auto written = [&] { return r.text.size() + (runTo - runFrom); };
        // Line numbers, for messages about a section's values: a section
        // copied moves by the lines added and taken out before it.
        auto linesIn = [](std::string_view s) {
            return static_cast<int>(std::count(s.begin(), s.end(), '\n'));
        };
        int shift = 0;
        int lastCopied = -1;  // the section copied last, whose lines nextLine lacks
        int nextLine = 1 + linesIn(std::string_view(rf.text).substr(0, rf.layout.headerEnd));
        auto place = [&](winefile::Section s, KeyId id) {
            if (!r.sections.empty()) r.sections.back().end = s.begin;

            r.order.push_back({id, static_cast<int>(r.sections.size())});
            r.sections.push_back(std::move(s));
        };
        auto oldText = [&](int sec) {
            const winefile::Section& s = rf.layout.sections[static_cast<size_t>(sec)];
            return std::string_view(rf.text).substr(s.begin, s.end - s.begin);
        };
        for (const Entry& e : rf.order) {
            Node& n = nodes[static_cast<size_t>(e.node)];
            const bool merged = n.dirty && e.section >= 0 && e.section != n.section;
            if (!n.present || merged) {
                if (e.section >= 0) shift -= linesIn(oldText(e.section));
                continue;
            }
            if (!n.dirty) {
                if (e.section < 0) continue;
                const winefile::Section& old = rf.layout.sections[static_cast<size_t>(e.section)];
                winefile::Section s = old;
                s.begin = written();
                s.pathEnd = s.begin + (old.pathEnd - old.begin);
                s.bodyBegin = s.begin + (old.bodyBegin - old.begin);
                s.line = old.line + shift;
                if (runTo != old.begin) {
                    flush();
                    runFrom = old.begin;
                }
                runTo = old.end;
                r.moved[static_cast<size_t>(e.section)] = static_cast<int>(r.sections.size());
                lastCopied = e.section;
                nextLine = s.line;
                place(std::move(s), e.node);
                continue;
            }
            if (lastCopied >= 0) nextLine += linesIn(oldText(lastCopied));
            lastCopied = -1;
            flush();
            const size_t before = r.text.size();
            winefile::Section s = regenerate(e.node, e.section, r.text);
            const int added = linesIn(std::string_view(r.text).substr(before));
            s.line = nextLine + linesIn(std::string_view(r.text).substr(before, s.begin - before));
            nextLine += added;
            shift += added - (e.section >= 0 ? linesIn(oldText(e.section)) : 0);
            place(std::move(s), e.node);
        }
        flush();
        if (!r.sections.empty()) r.sections.back().end = r.text.size();
        return r;
    }

    // Takes a file's new text as what it holds, without reading it again.
    void adopt(int f, Rewrite r) {
        RegFile& rf = files[f];
        for (size_t i = 1; i < nodes.size(); ++i) {
            Node& n = nodes[i];
            if (n.file != f) continue;
            n.loaded = false;
            n.values.clear();
            n.pending = false;
            n.duplicates.clear();
            if (!n.present || n.dirty) {
                n.section = -1;
            } else if (n.section >= 0) {
                n.section = r.moved[static_cast<size_t>(n.section)];
            }
            n.dirty = false;
        }
        for (const Entry& e : r.order) {
            Node& n = nodes[static_cast<size_t>(e.node)];
            if (n.section < 0) {
                n.section = e.section;
            } else if (n.section != e.section) {
                n.duplicates.push_back(e.section);
            }
        }
        rf.spare = std::move(rf.text);
        rf.text = std::move(r.text);
        rf.layout.sections = std::move(r.sections);
        rf.order = std::move(r.order);
        rf.changed = false;
    }

    Error writeError(int f, const std::system_error& e) const {
        return Error(codeFor(e.code().value()), "The registry file " + files[f].path.string() +
                                                    " cannot be written: " + e.code().message() +
                                                    ".");
    }

    // Writes the file with the changes made to it.
    void write(int f) {
        RegFile& rf = files[f];
        Rewrite r = serialize(f);
        struct stat st {};
        try {
            atomic_file::replace(target(rf.path), r.text, &st);
        } catch (const std::system_error& e) {
            throw writeError(f, e);
        }
        adopt(f, std::move(r));
        rf.known = st;
    }

    // Makes one change: outside a transaction under the file's lock, with
    // the file written before it returns. `change` tells whether it changed
    // anything; on any failure the file is read again, so that what is kept
    // in memory is what the disk holds.
    template <typename F>
    auto change(int f, F&& fn) {
        if (inTransaction) {
            mayChange();
            auto result = fn();
            files[f].changed = files[f].changed || bool(result);
            return result;
        }
        lock(f);
        try {
            mayChange();  // under the lock: the file may just have been read again
            auto result = fn();
            if (result) write(f);
            unlock(f);
            return result;
        } catch (...) {
            // Read from the path, not the locked file: a failure after the
            // rename leaves the new file there.
            try {
                reload(f);
            } catch (...) {
            }
            unlock(f);
            throw;
        }
    }

    void endTransaction() {
        inTransaction = false;
        unlock(0);
        unlock(1);
    }
};

PrefixStore::PrefixStore(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

PrefixStore::~PrefixStore() {
    impl_->ready();
    impl_->unlock(0);
    impl_->unlock(1);
}

std::unique_ptr<PrefixStore> PrefixStore::open(const fs::path& prefix, Guard guard) {
    auto impl = std::make_unique<Impl>();
    impl->prefix = prefix;
    impl->guard = std::move(guard);
    impl->nodes.resize(3);
    const char* names[2] = {"system.reg", "user.reg"};
    for (int f = 0; f < 2; ++f) {
        KeyId root = f == 0 ? kLocalMachine : kCurrentUser;
        Node& r = impl->nodes[static_cast<size_t>(root)];
        r.file = f;
        r.present = true;
        impl->name(r, f == 0 ? "HKEY_LOCAL_MACHINE" : "HKEY_CURRENT_USER");
        RegFile& rf = impl->files[f];
        rf.path = prefix / names[f];
        rf.root = root;
    }
    impl->loading = std::async(std::launch::async, [i = impl.get()] { i->loadBoth(); });
    return std::unique_ptr<PrefixStore>(new PrefixStore(std::move(impl)));
}

std::string PrefixStore::damage() const {
    impl_->ready();
    std::string out;
    for (const RegFile& rf : impl_->files) {
        if (rf.damage.empty()) continue;
        if (!out.empty()) out += "\n";
        out += rf.damage;
    }
    return out;
}

std::string PrefixStore::where() const {
    return impl_->prefix.string();
}

bool PrefixStore::writable() const {
    for (const RegFile& rf : impl_->files) {
        const fs::path file = target(rf.path);
        const fs::path folder = file.parent_path().empty() ? "." : file.parent_path();
        if (::access(file.c_str(), W_OK) != 0 || ::access(folder.c_str(), W_OK) != 0) return false;
    }
    return true;
}

KeyId PrefixStore::top(Root r) {
    impl_->ready();
    // A root whose file cannot be read fails as such: its keys are not
    // merely missing, and changes to them are not merely skipped.
    const bool user = r == Root::CurrentUser;
    const RegFile& rf = impl_->files[user ? 1 : 0];
    if (!rf.damage.empty()) throw Error(ERROR_REGISTRY_IO_FAILED, rf.damage);
    return user ? kCurrentUser : kLocalMachine;
}

std::optional<KeyId> PrefixStore::findKey(KeyId from, std::string_view path) {
    impl_->ready();
    if (!impl_->node(from)) return std::nullopt;
    KeyId id = from;
    for (std::string_view part : splitKeyPath(path)) {
        std::optional<KeyId> c = impl_->child(id, part, false);
        if (!c) return std::nullopt;
        id = *c;
    }
    return id;
}

bool PrefixStore::keyExists(KeyId key) {
    impl_->ready();
    return impl_->node(key) != nullptr;
}

std::optional<Value> PrefixStore::value(KeyId key, std::string_view name) {
    impl_->ready();
    Node* n = impl_->node(key);
    if (!n) return std::nullopt;
    const Val* v = impl_->findValue(*n, name);
    if (!v) return std::nullopt;
    return Value{v->name, v->type, v->data};
}

std::vector<Subkey> PrefixStore::subkeys(KeyId key) {
    impl_->ready();
    std::vector<Subkey> out;
    Node* n = impl_->node(key);
    if (!n) return out;
    for (KeyId c : impl_->childrenOf(key)) {
        if (impl_->node(c)) out.push_back({c, std::string(impl_->nameOf(c))});
    }
    std::sort(out.begin(), out.end(), [&](const Subkey& a, const Subkey& b) {
        return casefold::fold(a.name) < casefold::fold(b.name);
    });
    return out;
}

std::vector<Value> PrefixStore::values(KeyId key) {
    impl_->ready();
    std::vector<Value> out;
    Node* n = impl_->node(key);
    if (!n) return out;
    impl_->loadValues(*n);
    std::vector<const Val*> sorted;
    for (const Val& v : n->values) sorted.push_back(&v);
    std::sort(sorted.begin(), sorted.end(),
              [](const Val* a, const Val* b) { return a->fold < b->fold; });
    for (const Val* v : sorted) out.push_back({v->name, v->type, v->data});
    return out;
}

std::string PrefixStore::keyName(KeyId key) {
    impl_->ready();
    std::string name;
    for (KeyId id = key; id != 0; id = impl_->nodes[static_cast<size_t>(id)].parent) {
        const std::string part(impl_->nameOf(id));
        name = name.empty() ? part : part + "\\" + name;
    }
    return name;
}

void PrefixStore::setValue(KeyId key, std::string_view name, DWORD type, std::string_view data) {
    impl_->ready();
    Node& n = impl_->live(key);
    if (key == kLocalMachine || key == kCurrentUser)
        throw Error(ERROR_ACCESS_DENIED, "A root key of a Wine prefix holds no values.");
    impl_->change(n.file, [&] {
        Node& k = impl_->live(key);
        if (Val* v = impl_->findValue(k, name)) {
            // The same again changes nothing, and the key keeps its time.
            if (v->type == type && v->data == data) return false;
            v->type = type;
            v->data = std::string(data);
            v->intact = false;
        } else {
            Val nv;
            nv.name = std::string(name);
            nv.fold = casefold::fold(name);
            nv.type = type;
            nv.data = std::string(data);
            k.values.push_back(std::move(nv));
        }
        impl_->markDirty(key);
        return true;
    });
}

bool PrefixStore::deleteValue(KeyId key, std::string_view name) {
    impl_->ready();
    Node& n = impl_->live(key);
    return impl_->change(n.file, [&] {
        Node* k = impl_->node(key);
        if (!k || !impl_->findValue(*k, name)) return false;
        std::string f = casefold::fold(name);
        std::erase_if(k->values, [&](const Val& v) { return v.fold == f; });
        impl_->markDirty(key);
        return true;
    });
}

KeyId PrefixStore::createKey(KeyId from, std::string_view path) {
    impl_->ready();
    Node& n = impl_->live(from);
    KeyId id = from;
    impl_->change(n.file, [&] {
        impl_->live(from);
        id = from;
        bool created = false;
        for (std::string_view part : splitKeyPath(path)) {
            std::optional<KeyId> c = impl_->child(id, part, false);
            if (!c) {
                c = impl_->child(id, part, true);
                created = true;
            }
            id = *c;
        }
        // Only the new key needs a section: the keys above it are there by
        // being above it.
        if (created) impl_->markDirty(id);
        return created;
    });
    return id;
}

bool PrefixStore::deleteKey(KeyId key) {
    impl_->ready();
    if (key == kLocalMachine || key == kCurrentUser) return false;
    Node* n = impl_->node(key);
    if (!n) return false;
    return impl_->change(n->file, [&] {
        Node* k = impl_->node(key);
        if (!k) return false;
        std::vector<KeyId> doomed{key};
        while (!doomed.empty()) {
            KeyId id = doomed.back();
            doomed.pop_back();
            Node& d = impl_->nodes[static_cast<size_t>(id)];
            if (!d.present) continue;
            d.present = false;
            for (KeyId c : impl_->childrenOf(id)) doomed.push_back(c);
        }
        // A parent that was there only by holding this key keeps existing.
        KeyId parent = impl_->nodes[static_cast<size_t>(key)].parent;
        Node& p = impl_->nodes[static_cast<size_t>(parent)];
        const std::vector<KeyId> siblings = impl_->childrenOf(parent);
        bool others = std::any_of(siblings.begin(), siblings.end(),
                                  [&](KeyId c) { return impl_->node(c) != nullptr; });
        if (p.section < 0 && !others) impl_->markDirty(parent);
        return true;
    });
}

void PrefixStore::begin() {
    impl_->ready();
    impl_->mayChange();
    try {
        impl_->lock(0);
        impl_->lock(1);
        impl_->mayChange();  // either file may have been read again under its lock
    } catch (...) {
        impl_->endTransaction();
        throw;
    }
    impl_->inTransaction = true;
}

void PrefixStore::commit() {
    impl_->ready();
    // Both files are written and synced before either takes its place, so
    // that a full disk or a failing write leaves both as they were.
    std::vector<int> changed;
    std::vector<Impl::Rewrite> rewrites;
    std::vector<std::unique_ptr<atomic_file::Replacement>> replacements;
    int f = 0;
    try {
        for (f = 0; f < 2; ++f) {
            if (!impl_->files[f].changed) continue;
            rewrites.push_back(impl_->serialize(f));
            replacements.push_back(std::make_unique<atomic_file::Replacement>(
                target(impl_->files[f].path), rewrites.back().text));
            changed.push_back(f);
        }
        for (size_t k = 0; k < changed.size(); ++k) {
            f = changed[k];
            struct stat st {};
            replacements[k]->commit(&st);
            impl_->adopt(f, std::move(rewrites[k]));
            impl_->files[f].known = st;
        }
    } catch (const std::system_error& e) {
        rollback();
        throw impl_->writeError(f, e);
    } catch (...) {
        rollback();
        throw;
    }
    impl_->endTransaction();
}

void PrefixStore::rollback() {
    impl_->ready();
    for (int f = 0; f < 2; ++f) {
        if (!impl_->files[f].changed) continue;
        try {
            impl_->reload(f);
        } catch (...) {
        }
    }
    impl_->endTransaction();
}

}  // namespace regstore
