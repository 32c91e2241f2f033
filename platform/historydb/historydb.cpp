#include "historydb/historydb.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <system_error>

namespace historydb {
namespace {

using regstore::Error;

constexpr const char* kTables = R"sql(
CREATE TABLE IF NOT EXISTS history (
  id INTEGER PRIMARY KEY AUTOINCREMENT,
  machine TEXT NOT NULL,
  made_at INTEGER NOT NULL,
  origin TEXT NOT NULL,
  made INTEGER NOT NULL
);
CREATE INDEX IF NOT EXISTS history_by_machine ON history (machine, id);
CREATE TABLE IF NOT EXISTS history_steps (
  entry INTEGER NOT NULL,
  seq INTEGER NOT NULL,
  root INTEGER NOT NULL,
  path TEXT NOT NULL,
  value TEXT,
  before BLOB,
  after BLOB,
  PRIMARY KEY (entry, seq)
) WITHOUT ROWID;
)sql";

[[noreturn]] void fail(sqlite3* db, int rc, const std::string& what) {
    const LONG code = rc == SQLITE_FULL ? ERROR_DISK_FULL
                      : rc == SQLITE_READONLY || rc == SQLITE_PERM || rc == SQLITE_CANTOPEN
                          ? ERROR_ACCESS_DENIED
                          : ERROR_REGISTRY_IO_FAILED;
    throw Error(code, "The history of changes cannot be " + what + ": " +
                          (db ? sqlite3_errmsg(db) : sqlite3_errstr(rc)) + ".");
}

// A statement run to its end and finalized, whatever happens.
class Statement {
  public:
    Statement(sqlite3* db, const char* sql) : db_(db) {
        if (int rc = sqlite3_prepare_v2(db, sql, -1, &s_, nullptr); rc != SQLITE_OK)
            fail(db, rc, "read");
    }
    ~Statement() { sqlite3_finalize(s_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    Statement& bind(int i, std::int64_t v) {
        sqlite3_bind_int64(s_, i, v);
        return *this;
    }
    Statement& text(int i, std::string_view t) {
        sqlite3_bind_text(s_, i, t.data(), static_cast<int>(t.size()), SQLITE_TRANSIENT);
        return *this;
    }
    // A blob, or NULL when there is none.
    Statement& blob(int i, const std::optional<std::string>& b) {
        if (b) {
            sqlite3_bind_blob(s_, i, b->empty() ? "" : b->data(), static_cast<int>(b->size()),
                              SQLITE_TRANSIENT);
        } else {
            sqlite3_bind_null(s_, i);
        }
        return *this;
    }
    int step() { return sqlite3_step(s_); }
    void reset() {
        sqlite3_reset(s_);
        sqlite3_clear_bindings(s_);
    }
    void run(const std::string& what) {
        if (int rc = step(); rc != SQLITE_DONE) fail(db_, rc, what);
    }
    std::int64_t integer(int col) { return sqlite3_column_int64(s_, col); }
    std::string column(int col) {
        const auto* p = static_cast<const char*>(sqlite3_column_blob(s_, col));
        return p ? std::string(p, static_cast<size_t>(sqlite3_column_bytes(s_, col)))
                 : std::string();
    }
    bool null(int col) { return sqlite3_column_type(s_, col) == SQLITE_NULL; }

  private:
    sqlite3* db_;
    sqlite3_stmt* s_ = nullptr;
};

// Reads one entry's steps; false when they cannot be read.
bool readSteps(sqlite3* db, history::Entry& entry) {
    Statement s(db,
                "SELECT root, path, value, before, after FROM history_steps WHERE entry = ?1 "
                "ORDER BY seq");
    s.bind(1, entry.id);
    int rc;
    while ((rc = s.step()) == SQLITE_ROW) {
        history::Step step;
        const std::int64_t root = s.integer(0);
        if (root != static_cast<std::int64_t>(regstore::Root::LocalMachine) &&
            root != static_cast<std::int64_t>(regstore::Root::CurrentUser))
            return false;
        step.key = {static_cast<regstore::Root>(root), s.column(1)};
        step.isKey = s.null(2);
        if (step.isKey) {
            if (!s.null(3)) {
                step.keyBefore = history::decodeContent(s.column(3));
                if (!step.keyBefore) return false;
            }
            step.keyAfter = !s.null(4);
        } else {
            step.name = s.column(2);
            for (auto [col, into] : {std::pair{3, &step.before}, std::pair{4, &step.after}}) {
                if (s.null(col)) continue;
                *into = history::decodeValue(s.column(col));
                if (!*into) return false;
                (*into)->name = step.name;
            }
        }
        entry.steps.push_back(std::move(step));
    }
    return rc == SQLITE_DONE && !entry.steps.empty();
}

}  // namespace

struct Writer::Statements {
    explicit Statements(sqlite3* db)
        : entry(db, "INSERT INTO history (machine, made_at, origin, made) VALUES (?1, ?2, ?3, ?4)"),
          step(db,
               "INSERT INTO history_steps (entry, seq, root, path, value, before, after) "
               "VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7)"),
          dropSteps(db, "DELETE FROM history_steps WHERE entry = ?1"),
          pruneSteps(db,
                     "DELETE FROM history_steps WHERE entry IN (SELECT id FROM history WHERE "
                     "machine = ?1 ORDER BY id DESC LIMIT -1 OFFSET ?2)"),
          pruneEntries(db,
                       "DELETE FROM history WHERE id IN (SELECT id FROM history WHERE machine = "
                       "?1 ORDER BY id DESC LIMIT -1 OFFSET ?2)") {}
    Statement entry, step, dropSteps, pruneSteps, pruneEntries;

    void addSteps(const history::Entry& e) {
        std::int64_t seq = 0;
        for (const history::Step& st : e.steps) {
            step.reset();
            step.bind(1, e.id).bind(2, seq++).bind(3, static_cast<std::int64_t>(st.key.root));
            step.text(4, st.key.path);
            if (st.isKey) {
                step.blob(5, std::nullopt);
                step.blob(
                    6, st.keyBefore ? std::optional(history::encode(*st.keyBefore)) : std::nullopt);
                step.blob(7, st.keyAfter ? std::optional(std::string()) : std::nullopt);
            } else {
                step.text(5, st.name);
                step.blob(6, st.before ? std::optional(history::encode(*st.before)) : std::nullopt);
                step.blob(7, st.after ? std::optional(history::encode(*st.after)) : std::nullopt);
            }
            step.run("written");
        }
    }
};

Writer::Writer(sqlite3* db) : db_(db) {
    if (int rc = sqlite3_exec(db, kTables, nullptr, nullptr, nullptr); rc != SQLITE_OK)
        fail(db, rc, "written");
    s_ = std::make_unique<Statements>(db);
}

Writer::~Writer() = default;

void Writer::add(const std::string& machine, history::Entry& entry) {
    Statement& insert = s_->entry;
    insert.reset();
    insert.text(1, machine).bind(2, entry.time).text(3, entry.origin).bind(4, entry.made ? 1 : 0);
    insert.run("written");
    entry.id = sqlite3_last_insert_rowid(db_);
    s_->addSteps(entry);
    // The newest kept, the rest dropped.
    for (Statement* drop : {&s_->pruneSteps, &s_->pruneEntries}) {
        drop->reset();
        drop->text(1, machine).bind(2, static_cast<std::int64_t>(history::kKept));
        drop->run("written");
    }
}

void Writer::replaceSteps(const history::Entry& entry) {
    s_->dropSteps.reset();
    s_->dropSteps.bind(1, entry.id).run("written");
    s_->addSteps(entry);
}

std::vector<history::Entry> entries(sqlite3* db, const std::string& machine) {
    std::vector<history::Entry> out;
    sqlite3_stmt* probe = nullptr;
    const int rc = sqlite3_prepare_v2(
        db, "SELECT id, made_at, origin, made FROM history WHERE machine = ?1 ORDER BY id DESC", -1,
        &probe, nullptr);
    sqlite3_finalize(probe);
    if (rc != SQLITE_OK) return out;  // no history kept here yet
    Statement s(
        db, "SELECT id, made_at, origin, made FROM history WHERE machine = ?1 ORDER BY id DESC");
    s.text(1, machine);
    while (s.step() == SQLITE_ROW && out.size() < history::kKept) {
        history::Entry e;
        e.id = s.integer(0);
        e.time = s.integer(1);
        e.origin = s.column(2);
        e.made = s.integer(3) != 0;
        if (readSteps(db, e)) out.push_back(std::move(e));
    }
    return out;
}

// ---- Journal ----

Journal::Journal(std::filesystem::path file, std::string machine)
    : file_(std::move(file)), machine_(std::move(machine)) {}

Journal::~Journal() {
    writer_.reset();
    sqlite3_close(db_);
}

// The folder is the user's alone, and so is the file: the values it keeps
// may hold the automatic-logon password.
sqlite3* Journal::db() {
    if (db_) return db_;
    std::error_code ec;
    const std::filesystem::path folder = file_.parent_path();
    std::filesystem::create_directories(folder, ec);
    ::chmod(folder.c_str(), 0700);
    const int fd = ::open(file_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        throw Error(ERROR_ACCESS_DENIED, "The history of changes " + file_.string() +
                                             " cannot be written: " + std::strerror(errno) + ".");
    ::close(fd);
    sqlite3* db = nullptr;
    const int rc = sqlite3_open_v2(file_.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_close(db);
        fail(nullptr, rc, "opened (" + file_.string() + ")");
    }
    db_ = db;
    sqlite3_busy_timeout(db_, 10000);
    // Each commit lasts: the entry must be on the disk before the prefix's
    // files are replaced.
    exec("PRAGMA journal_mode = WAL; PRAGMA synchronous = FULL;");
    writer_ = std::make_unique<Writer>(db_);
    return db_;
}

void Journal::exec(const char* sql) {
    if (int rc = sqlite3_exec(db_, sql, nullptr, nullptr, nullptr); rc != SQLITE_OK)
        fail(db_, rc, "written (" + file_.string() + ")");
}

void Journal::prepare(history::Entry& entry) {
    sqlite3* d = db();
    entry.made = false;
    exec("BEGIN IMMEDIATE");
    try {
        writer_->add(machine_, entry);
        exec("COMMIT");
    } catch (...) {
        sqlite3_exec(d, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
}

void Journal::made(const history::Entry& entry) {
    sqlite3* d = db();
    exec("BEGIN IMMEDIATE");
    try {
        writer_->replaceSteps(entry);
        Statement(d, "UPDATE history SET made = 1 WHERE id = ?1").bind(1, entry.id).run("written");
        exec("COMMIT");
    } catch (...) {
        sqlite3_exec(d, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
}

void Journal::drop(const history::Entry& entry) {
    sqlite3* d = db();
    exec("BEGIN IMMEDIATE");
    try {
        Statement(d, "DELETE FROM history_steps WHERE entry = ?1").bind(1, entry.id).run("written");
        Statement(d, "DELETE FROM history WHERE id = ?1").bind(1, entry.id).run("written");
        exec("COMMIT");
    } catch (...) {
        sqlite3_exec(d, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
}

std::vector<history::Entry> Journal::entries() {
    std::error_code ec;
    if (!db_ && !std::filesystem::exists(file_, ec)) return {};
    return historydb::entries(db(), machine_);
}

}  // namespace historydb
