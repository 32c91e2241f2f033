#include "window_support.h"

#include <sqlite3.h>

#include <QApplication>
#include <stdexcept>

#include "controls/classicstyle.h"
#include "controls/end.h"
#include "controls/msgbox.h"

namespace window_testing {
namespace {

using testing_support::rootOf;

std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

void exec(sqlite3* db, const char* sql) {
    char* error = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &error) != SQLITE_OK) {
        std::string what = error ? error : "?";
        sqlite3_free(error);
        throw std::runtime_error("journal: " + what);
    }
}

}  // namespace

void ensureApp() {
    static int argc = 1;
    static char name[] = "window_tests";
    static char* argv[] = {name, nullptr};
    if (qApp) return;
    new QApplication(argc, argv);
    classic::install();
}

Seams::Seams() {
    msgbox::setHandler([this](const QString& prompt, int buttons, const QString& title) {
        messages.push_back({prompt, buttons, title});
        return msgbox::kOK;
    });
    program::setEndHandler([this] { ++ends; });
}

Seams::~Seams() {
    msgbox::setHandler({});
    program::setEndHandler({});
}

regstore::KeyId keyOf(testing_support::TempMachine& machine, const catalogue::Row& row) {
    std::optional<regstore::KeyId> key = machine.admin().findKey(rootOf(row.root), row.keyPath);
    if (!key) throw std::runtime_error(std::string("no key ") + row.keyPath);
    return *key;
}

std::optional<regstore::Value> stored(testing_support::TempMachine& machine,
                                      const catalogue::Row& row) {
    std::optional<regstore::KeyId> key = machine.admin().findKey(rootOf(row.root), row.keyPath);
    return key ? machine.admin().value(*key, row.valueName) : std::nullopt;
}

void store(testing_support::TempMachine& machine, const catalogue::Row& row, DWORD type,
           const std::string& data) {
    machine.admin().setValue(keyOf(machine, row), row.valueName, type, data);
}

void storeText(testing_support::TempMachine& machine, const catalogue::Row& row,
               const std::string& text) {
    store(machine, row, REG_SZ, text);
}

void storeDword(testing_support::TempMachine& machine, const catalogue::Row& row,
                std::uint32_t number) {
    std::string data(4, '\0');
    for (int i = 0; i < 4; ++i)
        data[static_cast<size_t>(i)] = static_cast<char>((number >> (8 * i)) & 0xFF);
    store(machine, row, REG_DWORD, data);
}

// Triggers on the hive's value table write each change into a table of
// their own, numbered in the order the changes were made.
Journal::Journal(const std::filesystem::path& hiveFile) : file_(hiveFile) {
    sqlite3* db = nullptr;
    if (sqlite3_open(file_.c_str(), &db) != SQLITE_OK)
        throw std::runtime_error("journal: cannot open hive");
    sqlite3_busy_timeout(db, 5000);
    exec(db, R"sql(
        CREATE TABLE IF NOT EXISTS test_journal (n INTEGER PRIMARY KEY AUTOINCREMENT, op TEXT, key INTEGER, name TEXT);
        CREATE TRIGGER IF NOT EXISTS test_journal_insert AFTER INSERT ON vals
            BEGIN INSERT INTO test_journal (op, key, name) VALUES ('set', NEW.key, NEW.name); END;
        CREATE TRIGGER IF NOT EXISTS test_journal_update AFTER UPDATE ON vals
            BEGIN INSERT INTO test_journal (op, key, name) VALUES ('set', NEW.key, NEW.name); END;
        CREATE TRIGGER IF NOT EXISTS test_journal_delete AFTER DELETE ON vals
            BEGIN INSERT INTO test_journal (op, key, name) VALUES ('delete', OLD.key, OLD.name); END;
        DELETE FROM test_journal;
    )sql");
    sqlite3_close(db);
}

Journal::~Journal() = default;

std::vector<Journal::Entry> Journal::entries() const {
    sqlite3* db = nullptr;
    std::vector<Entry> out;
    if (sqlite3_open_v2(file_.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        throw std::runtime_error("journal: cannot open hive");
    }
    sqlite3_busy_timeout(db, 5000);
    sqlite3_stmt* s = nullptr;
    sqlite3_prepare_v2(db, "SELECT op, key, name FROM test_journal ORDER BY n", -1, &s, nullptr);
    while (sqlite3_step(s) == SQLITE_ROW) {
        out.push_back({reinterpret_cast<const char*>(sqlite3_column_text(s, 0)),
                       sqlite3_column_int64(s, 1),
                       lower(reinterpret_cast<const char*>(sqlite3_column_text(s, 2)))});
    }
    sqlite3_finalize(s);
    sqlite3_close(db);
    return out;
}

Journal::Entry Journal::entry(testing_support::TempMachine& machine, const char* op,
                              const catalogue::Row& row) {
    return {op, keyOf(machine, row), lower(row.valueName)};
}

WindowTest::WindowTest() : seams(std::make_unique<Seams>()) {
    ensureApp();
}

WindowTest::~WindowTest() {
    form.reset();
    seams.reset();
}

Form1& WindowTest::load() {
    form = std::make_unique<Form1>();
    form->Load();
    return *form;
}

}  // namespace window_testing
