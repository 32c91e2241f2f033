// Opening the hive's SQLite file: checking that it is a hive of ours,
// falling back to reading only when it cannot be written for the moment (a
// full or read-only disk), trying again to write at each change, making a
// new one, and SQLite's failures as Windows error codes.
#include "hive/sqlite_hive.h"

#include "historydb/historydb.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace regstore {
namespace {

constexpr const char* kFormat = "knobwise-hive 1";
constexpr int kBusyTimeoutMs = 10000;

constexpr const char* kSchema = R"sql(
PRAGMA journal_mode = WAL;
BEGIN;
CREATE TABLE meta (k TEXT PRIMARY KEY, v TEXT NOT NULL);
CREATE TABLE keys (
    id INTEGER PRIMARY KEY,
    parent INTEGER NOT NULL,
    name TEXT NOT NULL,
    fold TEXT NOT NULL,
    UNIQUE (parent, fold)
);
CREATE TABLE vals (
    key INTEGER NOT NULL,
    name TEXT NOT NULL,
    fold TEXT NOT NULL,
    type INTEGER NOT NULL,
    data BLOB NOT NULL,
    PRIMARY KEY (key, fold)
) WITHOUT ROWID;
INSERT INTO meta VALUES ('format', 'knobwise-hive 1');
INSERT INTO keys VALUES (1, 0, 'HKEY_LOCAL_MACHINE', 'hkey_local_machine');
INSERT INTO keys VALUES (2, 0, 'HKEY_CURRENT_USER', 'hkey_current_user');
COMMIT;
)sql";

LONG codeFor(int rc) {
    switch (rc & 0xFF) {
        case SQLITE_CORRUPT:
        case SQLITE_NOTADB:
            return ERROR_REGISTRY_CORRUPT;
        case SQLITE_READONLY:
        case SQLITE_PERM:
        case SQLITE_AUTH:
            return ERROR_ACCESS_DENIED;
        case SQLITE_NOMEM:
            return ERROR_OUTOFMEMORY;
        case SQLITE_CANTOPEN:
            return ERROR_FILE_NOT_FOUND;
        case SQLITE_FULL:
            return ERROR_DISK_FULL;
        default:
            return ERROR_REGISTRY_IO_FAILED;
    }
}

// Whether a failure came from a disk without room: SQLite says so itself
// when a write finds no space, and gives an I/O error with the system's
// error elsewhere (growing the shared-memory index, a sync, a quota).
bool outOfSpace(int rc, int sysErrno) {
    if ((rc & 0xFF) == SQLITE_FULL) return true;
    return (rc & 0xFF) == SQLITE_IOERR && (sysErrno == ENOSPC || sysErrno == EDQUOT);
}

// Whether the file system holding `folder` has no room left for the user.
bool noRoomIn(const std::filesystem::path& folder) {
    struct statvfs fs {};
    return ::statvfs(folder.c_str(), &fs) == 0 && fs.f_bavail == 0;
}

std::filesystem::path folderOf(const std::filesystem::path& file) {
    return file.parent_path().empty() ? "." : file.parent_path();
}

// Whether a write-capable open of `file` that failed as `rc` and `sysErrno`
// say failed for want of space.
bool diskFullAfter(int rc, int sysErrno, const std::filesystem::path& file) {
    return outOfSpace(rc, sysErrno) || noRoomIn(folderOf(file));
}

// The error of the user's write access to the hive (0 when it has it):
// writing needs the folder too, SQLite keeps its write-ahead log and
// shared-memory index beside the hive.
int writeAccess(const std::filesystem::path& file) {
    if (::access(file.c_str(), W_OK) != 0 || ::access(folderOf(file).c_str(), W_OK) != 0)
        return errno;
    return 0;
}

// A failed write-capable open after which the hive may still be read: the
// file could not be written or grown, not a damaged hive or a busy one.
bool mayReadInstead(int rc) {
    switch (rc & 0xFF) {
        case SQLITE_IOERR:
        case SQLITE_FULL:
        case SQLITE_CANTOPEN:
        case SQLITE_READONLY:
            return true;
        default:
            return false;
    }
}

sqlite3* openConnection(const std::string& uri, int flags, int* rc) {
    sqlite3* db = nullptr;
    *rc = sqlite3_open_v2(uri.c_str(), &db, flags | SQLITE_OPEN_URI | SQLITE_OPEN_NOMUTEX, nullptr);
    if (*rc != SQLITE_OK) {
        sqlite3_close(db);
        return nullptr;
    }
    sqlite3_extended_result_codes(db, 1);
    sqlite3_busy_timeout(db, kBusyTimeoutMs);
    return db;
}

// Checks that the file is a hive of ours; this reads but never writes.
int probe(sqlite3* db) {
    sqlite3_stmt* s = nullptr;
    int rc = sqlite3_prepare_v2(db, "SELECT v FROM meta WHERE k = 'format'", -1, &s, nullptr);
    if (rc != SQLITE_OK) {
        // Not our schema (or not a database at all).
        return rc == SQLITE_ERROR ? SQLITE_NOTADB : rc;
    }
    rc = sqlite3_step(s);
    bool ours = rc == SQLITE_ROW &&
                std::strcmp(reinterpret_cast<const char*>(sqlite3_column_text(s, 0)), kFormat) == 0;
    sqlite3_finalize(s);
    if (rc != SQLITE_ROW) return rc == SQLITE_DONE ? SQLITE_NOTADB : rc;
    return ours ? SQLITE_OK : SQLITE_NOTADB;
}

std::string uriFor(const std::filesystem::path& file, const char* query) {
    // Percent-encode what a URI path cannot hold as it stands.
    std::string uri = "file:";
    for (unsigned char c : file.string()) {
        if (c == '%' || c == '?' || c == '#' || c <= 0x20 || c >= 0x7F) {
            char buf[4];
            std::snprintf(buf, sizeof buf, "%%%02X", c);
            uri += buf;
        } else {
            uri += static_cast<char>(c);
        }
    }
    return uri + query;
}

// One try at opening the hive and checking that it is one, keeping why it
// failed.
struct Attempt {
    int rc = SQLITE_OK;
    int sysErrno = 0;
    std::string why;

    // The open connection, or null when it failed.
    sqlite3* open(const std::filesystem::path& file, const char* query, int flags) {
        sqlite3* db = openConnection(uriFor(file, query), flags, &rc);
        if (db) rc = probe(db);
        if (rc == SQLITE_OK) return db;
        why = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
        sysErrno = db ? sqlite3_system_errno(db) : 0;
        // Closing must not move anything from the write-ahead log into a
        // file that is not sound.
        if (db) sqlite3_db_config(db, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
        sqlite3_close(db);
        return nullptr;
    }
};

// Makes the hive's shared-memory index file, empty, when there is none: a
// reader that only reads it needs it to exist. An empty file takes no space
// on the disk.
void makeIndexFile(const std::filesystem::path& file) {
    struct stat st {};
    if (::stat(file.c_str(), &st) != 0) return;
    const std::string index = file.string() + "-shm";
    int fd = ::open(index.c_str(), O_RDONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                    st.st_mode & 0777);
    if (fd < 0) return;
    // Made by root for another user's hive, it must still be the owner's.
    if (st.st_uid != ::geteuid() || st.st_gid != ::getegid()) {
        if (::fchown(fd, st.st_uid, st.st_gid) != 0) {
            // Not permitted: SQLite will read it as it stands.
        }
    }
    ::close(fd);
}

// Opens the hive for reading only, in a way that needs no free space: the
// shared-memory index is only read (SQLite keeps its own copy in memory
// while no writer keeps one), so it only has to exist, and what the
// write-ahead log holds is still seen. Where not even an empty index file
// can be made, the file is read as it stands, with no locks; nobody can
// write it there either.
sqlite3* openForReading(const std::filesystem::path& file, Attempt& a) {
    makeIndexFile(file);
    sqlite3* db = a.open(file, "?readonly_shm=1", SQLITE_OPEN_READONLY);
    if (!db && ((a.rc & 0xFF) == SQLITE_CANTOPEN || (a.rc & 0xFF) == SQLITE_READONLY))
        db = a.open(file, "?immutable=1", SQLITE_OPEN_READONLY);
    return db;
}

}  // namespace

std::unique_ptr<SqliteHive> SqliteHive::open(const std::filesystem::path& file) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(file, ec)) {
        throw Error(ERROR_FILE_NOT_FOUND, fileMessage(file, "does not exist"));
    }
    const int denied = writeAccess(file);
    Refusal refusal = Refusal::None;
    std::string refusalWhy;
    Attempt a;
    sqlite3* db = nullptr;
    if (denied == 0) {
        db = a.open(file, "", SQLITE_OPEN_READWRITE);
        if (!db && mayReadInstead(a.rc)) {
            // Not writable for the moment (typically a full disk: SQLite
            // cannot grow the shared-memory index that a writer needs).
            refusal = diskFullAfter(a.rc, a.sysErrno, file) ? Refusal::DiskFull : Refusal::Failed;
            refusalWhy = a.why;
            db = openForReading(file, a);
        }
    } else {
        // Nobody may write it: by its modes, or because its disk is read-only.
        if (denied == EROFS) refusal = Refusal::ReadOnlyDisk;
        db = openForReading(file, a);
    }
    if (!db) {
        LONG code = codeFor(a.rc);
        if (code == ERROR_FILE_NOT_FOUND || code == ERROR_REGISTRY_IO_FAILED ||
            code == ERROR_DISK_FULL)
            code = ERROR_REGISTRY_CORRUPT;
        throw Error(code, fileMessage(file, "cannot be read", a.why));
    }
    // Durable commits: the write-ahead log is synced at every commit.
    sqlite3_exec(db, "PRAGMA synchronous = FULL", nullptr, nullptr, nullptr);
    std::unique_ptr<SqliteHive> hive(
        new SqliteHive(file, db, denied == 0 || refusal == Refusal::ReadOnlyDisk));
    hive->refusal_ = refusal;
    hive->refusalWhy_ = std::move(refusalWhy);
    return hive;
}

std::unique_ptr<SqliteHive> SqliteHive::create(const std::filesystem::path& file) {
    int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
        throw Error(
            errno == EEXIST ? ERROR_ACCESS_DENIED : ERROR_REGISTRY_IO_FAILED,
            "Cannot create the registry file " + file.string() + ": " + std::strerror(errno));
    }
    ::close(fd);
    int rc = SQLITE_OK;
    sqlite3* db = openConnection(uriFor(file, ""), SQLITE_OPEN_READWRITE, &rc);
    char* message = nullptr;
    if (db) rc = sqlite3_exec(db, kSchema, nullptr, nullptr, &message);
    if (rc != SQLITE_OK) {
        std::string why = message ? message : sqlite3_errstr(rc);
        sqlite3_free(message);
        sqlite3_close(db);
        std::filesystem::remove(file);
        throw Error(codeFor(rc), "Cannot create the registry file " + file.string() + ": " + why);
    }
    sqlite3_exec(db, "PRAGMA synchronous = FULL", nullptr, nullptr, nullptr);
    return std::unique_ptr<SqliteHive>(new SqliteHive(file, db, true));
}

std::string SqliteHive::problem() const {
    switch (refusal_) {
        case Refusal::None:
            return {};
        case Refusal::DiskFull:
            return refusalError().what() +
                   std::string(
                       " The settings are shown but cannot be changed until space is freed.");
        case Refusal::ReadOnlyDisk:
        case Refusal::Failed:
            return refusalError().what() +
                   std::string(" The settings are shown but cannot be changed.");
    }
    return {};
}

Error SqliteHive::refusalError() const {
    switch (refusal_) {
        case Refusal::DiskFull:
            return Error(ERROR_DISK_FULL, "The disk holding " + file_.string() + " is full.");
        case Refusal::ReadOnlyDisk:
            return Error(ERROR_WRITE_PROTECT,
                         "The disk holding " + file_.string() + " is read-only.");
        default:
            return Error(ERROR_REGISTRY_IO_FAILED,
                         fileMessage(file_, "cannot be written", refusalWhy_));
    }
}

void SqliteHive::closeConnection() {
    history_.reset();
    for (sqlite3_stmt*& s : statements_) {
        sqlite3_finalize(s);
        s = nullptr;
    }
    sqlite3_close(db_);
    db_ = nullptr;
}

void SqliteHive::mayChange() {
    if (refusal_ == Refusal::None) return;
    if (int denied = writeAccess(file_)) {
        if (denied != EROFS)
            throw Error(ERROR_ACCESS_DENIED, fileMessage(file_, "cannot be written"));
        refusal_ = Refusal::ReadOnlyDisk;
        throw refusalError();
    }
    // The reading connection goes first: the connections of a process share
    // one shared-memory index, and the reading one has it read-only.
    closeConnection();
    Attempt a;
    if ((db_ = a.open(file_, "", SQLITE_OPEN_READWRITE))) {
        sqlite3_exec(db_, "PRAGMA synchronous = FULL", nullptr, nullptr, nullptr);
        refusal_ = Refusal::None;
        refusalWhy_.clear();
        return;
    }
    Attempt r;
    db_ = openForReading(file_, r);
    if (!mayReadInstead(a.rc)) {
        throw Error(codeFor(a.rc), fileMessage(file_, "cannot be written", a.why));
    }
    refusal_ = diskFullAfter(a.rc, a.sysErrno, file_) ? Refusal::DiskFull : Refusal::Failed;
    refusalWhy_ = a.why;
    if (!db_) {
        throw Error(ERROR_REGISTRY_IO_FAILED, fileMessage(file_, "cannot be read", r.why));
    }
    throw refusalError();
}

void SqliteHive::throwSqliteError(int rc, const char* what) {
    if (codeFor(rc) == ERROR_REGISTRY_CORRUPT) {
        sqlite3_db_config(db_, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
    }
    if (outOfSpace(rc, sqlite3_system_errno(db_)))
        throw Error(ERROR_DISK_FULL, "The disk holding " + file_.string() + " is full.");
    throw Error(codeFor(rc), std::string("Registry file ") + file_.string() + ": " + what + ": " +
                                 sqlite3_errmsg(db_));
}

Opened openHive(const std::filesystem::path& file) {
    Opened o;
    try {
        std::unique_ptr<SqliteHive> hive = SqliteHive::open(file);
        o.state = hive->writable() ? State::Ok : State::ReadOnly;
        if (o.state == State::ReadOnly) {
            o.problem = fileMessage(file, "cannot be written") +
                        " The settings it holds cannot be shown or changed.";
        } else {
            // Shown, but every change refused for the moment (a full disk).
            o.problem = hive->problem();
        }
        o.store = std::move(hive);
    } catch (const Error& e) {
        o.state = e.code() == ERROR_FILE_NOT_FOUND ? State::Missing : State::Damaged;
        o.problem = e.what();
    }
    return o;
}

void selectHive(const std::filesystem::path& hiveFile) {
    select([hiveFile] { return openHive(hiveFile); });
}

}  // namespace regstore
