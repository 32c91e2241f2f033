// Applying when writes fail: the user hears once, after the writes, of
// exactly the settings that were not saved. Every write point of a hive
// (SQLite's writes, syncs and file creations, failed one at a time through
// the fault-injecting VFS) and of a Wine prefix (each step of replacing a
// registry file, and each write point of its history's database) is failed
// in turn; each time the store stays sound and every value holds its old
// bytes or its new ones. Apply writes one batch: a fault keeps all of it
// from the disk, or on a prefix, the file it struck. And the history keeps
// the change with it, or keeps nothing.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <QStringList>
#include <algorithm>
#include <cerrno>
#include <climits>
#include <functional>
#include <map>
#include <set>

#include "dotreg/dotreg.h"
#include "files/atomic_file.h"
#include "historydb/historydb.h"
#include "support/faulty_vfs.h"
#include "window_support.h"
#include "wineprefix/prefix_store.h"

namespace {

namespace fs = std::filesystem;
using namespace window_testing;
using testing_support::rootOf;
using Point = faulty_vfs::Point;

// The settings Apply writes when every box is decided, with the name the
// message gives each and the value the store holds before (as a .reg file
// has it; none: missing).
struct Setting {
    const catalogue::Row& row;
    const char* label;
    const char* old;
};
const Setting kSettings[] = {
    {catalogue::InfoTip1, "My Computer info tip", "\"old 1\""},
    {catalogue::InfoTip2, "Network Neighborhood info tip", "\"old 2\""},
    {catalogue::InfoTip3, "Briefcase info tip", "\"old 3\""},
    {catalogue::InfoTip4, "The Internet info tip", "\"old 4\""},
    {catalogue::InfoTip5, "My Documents info tip", "\"old 5\""},
    {catalogue::InfoTip6, "Recycle Bin info tip", "\"old 6\""},
    {catalogue::ShowInfoTip, "Show Info Tips", "dword:00000001"},
    {catalogue::IsShortcutLnk, "Use Shortcut Icons", nullptr},
    {catalogue::IsShortcutPif, "Use Shortcut Icons", nullptr},
    {catalogue::NoFavoritesMenu, "Don't Show Favorites on Start Menu", "dword:00000000"},
    {catalogue::NoRecentDocsHistory, "Don't Show Documents on Start Menu", "dword:00000000"},
    {catalogue::BackBitmap, "Use Backbitmaps", "\"C:\\\\old.bmp\""},
};

using Values = std::vector<std::optional<std::string>>;

Values valuesIn(regstore::Store& store) {
    Values out;
    for (const Setting& s : kSettings) {
        std::optional<regstore::KeyId> key = store.findKey(rootOf(s.row.root), s.row.keyPath);
        std::optional<regstore::Value> v = key ? store.value(*key, s.row.valueName) : std::nullopt;
        out.push_back(v ? std::optional(v->data) : std::nullopt);
    }
    return out;
}

void storeOldValues(regstore::Store& store) {
    std::string text = "REGEDIT4\r\n";
    for (const Setting& s : kSettings) {
        text += std::string("\r\n[") + regstore::rootKey(rootOf(s.row.root)).longName + "\\" +
                s.row.keyPath + "]\r\n";
        if (s.old) text += std::string("\"") + s.row.valueName + "\"=" + s.old + "\r\n";
    }
    dotreg::apply(store, dotreg::parse(text, store.textData()));
}

class ApplyFaults : public ::testing::Test, public WindowTest {
  protected:
    ApplyFaults() : dir_(testing_support::makeTempDir("knobwise-faults-", true)) {
        load();
        // Every box decided and changed, so that Apply writes each setting.
        int n = 0;
        for (TextBox* box :
             {form->Text1, form->Text2, form->Text3, form->Text4, form->Text5, form->Text6})
            box->setText(QString("new %1").arg(++n));
        form->Check1->setValue(0);
        form->Check3->setValue(1);
        form->Check4->setValue(1);
        form->Check5->setValue(1);
        form->Check6->setValue(1);
        form->CommonDialog1.setFileName("C:\\new.bmp");
        form->Image6->setTag("dirty");
    }
    ~ApplyFaults() override {
        regstore::selectHive("/nonexistent/none.db");
        fs::remove_all(dir_);
    }

    // Applies to the store `open` opens, with faults armed during Apply
    // only; `inspect` then reads the store afresh. The settings the message
    // named go to `named`.
    Values apply(const regstore::Opener& open, const std::function<Values()>& inspect,
                 std::set<QString>* named) {
        seams->messages.clear();
        regstore::select(open);
        form->Command1->click();
        for (Point p : {Point::Write, Point::Sync, Point::Create})
            reached_[p] = faulty_vfs::count(p);
        faulty_vfs::disarm();
        atomic_file::setProbe({});
        regstore::selectHive("/nonexistent/none.db");
        named->clear();
        EXPECT_LE(seams->messages.size(), 1u);
        if (!seams->messages.empty()) {
            EXPECT_EQ(seams->messages[0].title, "Knobwise");
            const QStringList parts = seams->messages[0].prompt.split("\n\n");
            EXPECT_EQ(parts.value(0), "These settings were not saved:");
            for (const QString& label : parts.value(1).split('\n')) named->insert(label);
        }
        return inspect();
    }

    // Runs Apply without faults and checks that it changed every setting;
    // its outcome is the "new" of the runs with faults.
    void applyClean(const regstore::Opener& open, const std::function<Values()>& inspect) {
        std::set<QString> named;
        fresh_ = apply(open, inspect, &named);
        EXPECT_TRUE(named.empty());
        for (size_t i = 0; i < old_.size(); ++i)
            EXPECT_NE(fresh_[i], old_[i]) << kSettings[i].label;
    }

    // Every value old or new, and the settings named exactly those not new;
    // after a step past which the change may have reached the disk all the
    // same (`uncertain`), a named setting may be new.
    // And one batch: the values of each file all old or all new (a hive is
    // one file; a prefix keeps HKEY_CURRENT_USER in a file of its own).
    void check(const Values& values, const std::set<QString>& named, bool uncertain,
               const std::string& where, bool perFile = false) {
        std::map<bool, std::set<bool>> saved;  // by whether in HKEY_CURRENT_USER's file
        for (size_t i = 0; i < values.size(); ++i)
            saved[perFile && kSettings[i].row.root == catalogue::HKCU].insert(values[i] ==
                                                                              fresh_[i]);
        for (const auto& [user, kinds] : saved)
            EXPECT_EQ(kinds.size(), 1u) << "part of a file's batch was saved, " << where;
        std::set<QString> unsaved;
        for (size_t i = 0; i < values.size(); ++i) {
            EXPECT_TRUE(values[i] == old_[i] || values[i] == fresh_[i])
                << kSettings[i].label << " is neither old nor new, " << where;
            if (values[i] != fresh_[i]) unsaved.insert(kSettings[i].label);
        }
        if (uncertain) {
            EXPECT_TRUE(std::includes(named.begin(), named.end(), unsaved.begin(), unsaved.end()))
                << "a setting not saved was not named, " << where;
        } else {
            EXPECT_EQ(named, unsaved) << where;
        }
    }

    // The history after a faulted Apply: an entry made for what was saved
    // and only for that, or none when nothing was. On a prefix, an entry
    // left unknown by the fault (`pending`, settled when the history is
    // next read) may stand for what was saved, or for nothing.
    void checkHistory(const Values& values, const std::vector<history::Entry>& entries,
                      regstore::Store& store, const std::string& where) {
        const bool saved = values != old_;
        int made = 0, pending = 0;
        for (const history::Entry& e : entries) {
            (e.made ? made : pending) += 1;
            if (!e.made) continue;
            EXPECT_EQ(e.origin, "Apply") << where;
            for (const history::Step& step : e.steps)
                EXPECT_TRUE(history::holds(store, step))
                    << step.key.path << " (" << step.name << ") not as its entry says, " << where;
        }
        EXPECT_LE(made + pending, 1) << where;
        if (saved) {
            EXPECT_EQ(made + pending, 1) << "a change saved without its entry, " << where;
        } else {
            EXPECT_EQ(made, 0) << "an entry kept for a change not made, " << where;
        }
    }

    fs::path dir_;
    Values old_, fresh_;
    std::map<Point, int> reached_;  // the VFS's operations during the last Apply
};

TEST_F(ApplyFaults, HiveWithAFaultAtEveryWritePoint) {
    const fs::path file = dir_ / "registry.db";
    storeOldValues(*regstore::SqliteHive::create(file));
    const std::string image = testing_support::readFile(file);  // closed: no log beside it
    old_ = valuesIn(*regstore::SqliteHive::open(file));
    faulty_vfs::install();

    // Each run starts from the same hive, opened at Apply's first write as
    // the program opens it, keeping its history.
    auto open = [&] {
        for (const char* extra : {"-wal", "-shm"}) fs::remove(file.string() + extra);
        testing_support::writeFile(file, image);
        regstore::Opened o = regstore::openHive(file);
        o.store->keepHistory();
        return o;
    };
    std::string where;
    auto inspect = [&] {
        EXPECT_EQ(testing_support::integrityCheck(file), "ok");
        const std::unique_ptr<regstore::SqliteHive> hive = regstore::SqliteHive::open(file);
        Values values = valuesIn(*hive);
        checkHistory(values, hive->history(), *hive, where);
        return values;
    };
    faulty_vfs::arm(Point::Write, INT_MAX, SQLITE_OK, 0);  // counts only
    applyClean(open, inspect);
    const std::map<Point, int> points = reached_;

    const struct {
        Point point;
        int code, error;
    } faults[] = {
        {Point::Write, SQLITE_FULL, ENOSPC},  {Point::Write, SQLITE_IOERR_WRITE, EIO},
        {Point::Sync, SQLITE_FULL, ENOSPC},   {Point::Sync, SQLITE_IOERR_FSYNC, EIO},
        {Point::Create, SQLITE_FULL, ENOSPC}, {Point::Create, SQLITE_IOERR, EIO},
    };
    for (const auto& f : faults) {
        for (int n = 1; n <= points.at(f.point); ++n) {
            where = std::string(faulty_vfs::name(f.point)) + " #" + std::to_string(n) + ": " +
                    sqlite3_errstr(f.code);
            faulty_vfs::arm(f.point, n, f.code, f.error);
            std::set<QString> named;
            Values values = apply(open, inspect, &named);
            EXPECT_TRUE(faulty_vfs::fired()) << where;
            check(values, named, false, where);
        }
    }
}

TEST_F(ApplyFaults, WinePrefixWithAFaultAtEveryStepOfEveryWrite) {
    const fs::path image = dir_ / "image";
    const fs::path prefix = dir_ / "prefix";
    const fs::path journal = dir_ / "state" / "history.db";
    for (const char* name : {"system.reg", "user.reg"})
        testing_support::writeFile(image / name, "WINE REGISTRY Version 2\n");
    storeOldValues(*regstore::PrefixStore::open(image));
    old_ = valuesIn(*regstore::PrefixStore::open(image));
    faulty_vfs::install();

    // Each run from the same files and an empty history.
    auto open = [&] {
        fs::remove_all(prefix);
        fs::remove_all(journal.parent_path());
        fs::copy(image, prefix);
        std::unique_ptr<regstore::PrefixStore> store =
            regstore::PrefixStore::open(prefix, {}, {}, journal);
        store->keepHistory();
        return regstore::Opened{std::move(store), regstore::State::Ok, {}, {}};
    };
    std::string where;
    auto inspect = [&] {
        std::set<std::string> files;
        for (const fs::directory_entry& e : fs::directory_iterator(prefix))
            files.insert(e.path().filename());
        EXPECT_EQ(files, (std::set<std::string>{"system.reg", "user.reg"}))
            << "a temporary file was left";
        std::unique_ptr<regstore::PrefixStore> store = regstore::PrefixStore::open(prefix);
        EXPECT_EQ(store->damage(), "");
        Values values = valuesIn(*store);
        historydb::Journal kept(journal, fs::canonical(prefix).string());
        checkHistory(values, kept.entries(), *store, where);
        return values;
    };
    std::map<std::string, int> steps;
    atomic_file::setProbe([&](std::string_view step) {
        ++steps[std::string(step)];
        return 0;
    });
    faulty_vfs::arm(Point::Write, INT_MAX, SQLITE_OK, 0);  // counts only
    applyClean(open, inspect);
    const std::map<Point, int> points = reached_;

    // The history's database: each of its write points.
    for (Point point : {Point::Write, Point::Sync, Point::Create}) {
        for (int n = 1; n <= points.at(point); ++n) {
            where = std::string("history ") + faulty_vfs::name(point) + " #" + std::to_string(n);
            faulty_vfs::arm(point, n, SQLITE_IOERR, EIO);
            std::set<QString> named;
            Values values = apply(open, inspect, &named);
            EXPECT_TRUE(faulty_vfs::fired()) << where;
            check(values, named, false, where, true);
        }
    }

    for (const auto& [step, times] : steps) {
        for (int n = 1; n <= times; ++n) {
            where = step + " #" + std::to_string(n);
            int seen = 0;
            atomic_file::setProbe(
                [&](std::string_view s) { return s == step && ++seen == n ? ENOSPC : 0; });
            std::set<QString> named;
            Values values = apply(open, inspect, &named);
            EXPECT_GE(seen, n) << where;  // the fault fired; the batch stops there
            // After the rename the new file is in place, not yet known to
            // last: its setting is named all the same.
            check(values, named, step == "syncdir", where, true);
        }
    }
}

TEST_F(ApplyFaults, OkKeepsTheWindowOpenWhenSomethingWasNotSaved) {
    faulty_vfs::install();
    regstore::selectHive(machine.hivePath());
    faulty_vfs::setFull(true);
    form->Command9->click();
    faulty_vfs::setFull(false);
    EXPECT_EQ(seams->ends, 0);
    ASSERT_EQ(seams->messages.size(), 1u);
    EXPECT_TRUE(seams->messages[0].prompt.endsWith(
        QString::fromStdString("The disk holding " + machine.hivePath().string() + " is full.")))
        << seams->messages[0].prompt.toStdString();
    form->Command9->click();
    EXPECT_EQ(seams->ends, 1);
    EXPECT_EQ(seams->messages.size(), 1u);
}

}  // namespace
