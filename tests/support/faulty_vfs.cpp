#include "faulty_vfs.h"

#include <sqlite3.h>
#include <unistd.h>

#include <cerrno>
#include <map>

namespace faulty_vfs {
namespace {

struct State {
    sqlite3_vfs* unix = nullptr;
    sqlite3_vfs vfs{};
    // The unix VFS's methods for its kinds of file, each with a copy of
    // ours in which the operations that can fail are wrapped.
    std::map<const sqlite3_io_methods*, sqlite3_io_methods> wrapped;
    std::map<const sqlite3_io_methods*, const sqlite3_io_methods*> original;
    std::map<sqlite3_file*, int> regions;  // shared-memory regions each file has mapped
    int counts[3] = {};
    Point point = Point::Write;
    int nth = 0;  // 0: disarmed
    int code = SQLITE_OK;
    int error = 0;
    bool fired = false;
    bool full = false;
};

State& state() {
    static State s;
    return s;
}

// Counts an operation; the error code to fail it with, or SQLITE_OK.
int reach(Point point) {
    State& s = state();
    int n = ++s.counts[static_cast<int>(point)];
    if (s.nth == 0 || s.point != point || n != s.nth) return SQLITE_OK;
    s.fired = true;
    errno = s.error;
    return s.code;
}

// The file is the unix VFS's own; only its methods are ours.
const sqlite3_io_methods& real(sqlite3_file* f) {
    return *state().original.at(f->pMethods);
}

int xWrite(sqlite3_file* f, const void* p, int n, sqlite3_int64 at) {
    if (state().full) {
        errno = ENOSPC;
        return SQLITE_FULL;
    }
    if (int rc = reach(Point::Write)) return rc;
    return real(f).xWrite(f, p, n, at);
}

int xSync(sqlite3_file* f, int flags) {
    if (int rc = reach(Point::Sync)) return rc;
    return real(f).xSync(f, flags);
}

int xShmMap(sqlite3_file* f, int region, int size, int extend, void volatile** out) {
    // A writer maps a region it has not mapped yet to make or grow it.
    int& mapped = state().regions[f];
    if (extend && region >= mapped) {
        if (state().full) {
            errno = ENOSPC;
            return SQLITE_IOERR_SHMSIZE;
        }
        if (int rc = reach(Point::Write)) return rc;
    }
    int rc = real(f).xShmMap(f, region, size, extend, out);
    if (rc == SQLITE_OK && *out && region >= mapped) mapped = region + 1;
    return rc;
}

int xShmUnmap(sqlite3_file* f, int deleteFlag) {
    state().regions.erase(f);
    return real(f).xShmUnmap(f, deleteFlag);
}

int xOpen(sqlite3_vfs*, const char* name, sqlite3_file* f, int flags, int* outFlags) {
    State& s = state();
    if ((flags & SQLITE_OPEN_CREATE) && (!name || ::access(name, F_OK) != 0)) {
        if (int rc = reach(Point::Create)) {
            f->pMethods = nullptr;
            return rc;
        }
    }
    int rc = s.unix->xOpen(s.unix, name, f, flags, outFlags);
    if (const sqlite3_io_methods* methods = f->pMethods) {
        auto [it, made] = s.wrapped.try_emplace(methods, *methods);
        if (made) {
            it->second.xWrite = xWrite;
            it->second.xSync = xSync;
            if (methods->iVersion >= 2 && methods->xShmMap) {
                it->second.xShmMap = xShmMap;
                it->second.xShmUnmap = xShmUnmap;
            }
            s.original[&it->second] = methods;
        }
        f->pMethods = &it->second;
    }
    return rc;
}

}  // namespace

const char* name(Point point) {
    switch (point) {
        case Point::Write:
            return "write";
        case Point::Sync:
            return "sync";
        case Point::Create:
            return "create";
    }
    return "?";
}

void install() {
    State& s = state();
    if (!s.unix) {
        s.unix = sqlite3_vfs_find("unix");
        // The unix VFS's functions but for opening, which makes our files.
        s.vfs = *s.unix;
        s.vfs.pNext = nullptr;
        s.vfs.zName = "faulty";
        s.vfs.xOpen = xOpen;
        sqlite3_vfs_register(&s.vfs, 1);
    }
    disarm();
    s.full = false;
}

void arm(Point point, int nth, int code, int error) {
    State& s = state();
    for (int& c : s.counts) c = 0;
    s.point = point;
    s.nth = nth;
    s.code = code;
    s.error = error;
    s.fired = false;
}

void disarm() {
    state().nth = 0;
}

bool fired() {
    return state().fired;
}

int count(Point point) {
    return state().counts[static_cast<int>(point)];
}

void setFull(bool full) {
    state().full = full;
}

}  // namespace faulty_vfs
