// The history of changes, on each store: random sequences of changes
// (settings applied through the Reg* functions, values and keys set and
// deleted, small imports), every one then taken back, the newest first,
// leave the registry exactly as it was; taking back those undos makes the
// changes again. And what the store keeps of each change.
#include <gtest/gtest.h>

#include <random>

#include "dotreg/dotreg.h"
#include "machine/machine.h"
#include "registry/catalogue_io.h"
#include "support/temp_machine.h"
#include "winreg/batch.h"
#include "winreg/history.h"

namespace {

namespace fs = std::filesystem;
using regstore::KeyId;
using regstore::Root;
using regstore::Store;
using testing_support::ScopedEnv;

enum class Kind { Hive, Prefix };

class History : public ::testing::TestWithParam<Kind> {
  protected:
    History() : state_("XDG_STATE_HOME", (machine_.root() / "state").string()) {
        if (GetParam() == Kind::Prefix) {
            prefix_ = machine_.root() / "prefix";
            testing_support::writeFile(prefix_ / "system.reg", "WINE REGISTRY Version 2\n");
            testing_support::writeFile(prefix_ / "user.reg", "WINE REGISTRY Version 2\n");
            machine::select(machine::Machine::winePrefix(prefix_));
        }
        store().keepHistory();
        // Every key of the settings, so that each of them is written.
        const history::Origin origin("test setup");
        store().begin();
        for (const catalogue::Row& row : catalogue::kRows)
            store().createKey(testing_support::rootOf(row.root), row.keyPath);
        store().commit();
    }
    ~History() override { machine::select(machine::Machine::embedded()); }

    Store& store() { return *regstore::current(); }

    // Both trees, as a .reg file: what the registry holds, byte for byte.
    std::string exported() {
        std::string out;
        for (Root root : {Root::LocalMachine, Root::CurrentUser}) {
            out += dotreg::write(store(), *store().root(root), regstore::rootKey(root).longName,
                                 dotreg::Format::Unicode);
        }
        return out;
    }

    // One change of a random kind, which may change nothing.
    void randomChange(std::mt19937& rng) {
        auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
        const std::string top = std::string("Software\\Test") + "ABC"[pick(3)];
        const std::string key = pick(2) ? top + "\\Sub" + std::to_string(pick(3)) : top;
        const std::string name =
            std::string("vV")[pick(2)] + std::string("alue") + std::to_string(pick(3));
        std::string data(static_cast<size_t>(pick(6)), '\0');
        for (char& c : data) c = static_cast<char>(rng());
        const Root root = pick(4) ? Root::CurrentUser : Root::LocalMachine;
        switch (pick(6)) {
            case 0: {  // settings applied, as Apply does
                const history::Origin origin("Apply");
                regstore::Batch batch;
                for (const catalogue::Row& row : catalogue::kRows) {
                    if (pick(3)) continue;
                    if (row.type == REG_DWORD) {
                        catalogue::set(row, QString::number(pick(2)));
                    } else if (pick(4)) {
                        catalogue::set(row, QStringLiteral("text %1").arg(rng()));
                    } else {
                        catalogue::remove(row);
                    }
                }
                return;
            }
            case 1:
                store().setValue(store().createKey(root, key), name,
                                 static_cast<DWORD>(pick(2) ? REG_BINARY : REG_SZ), data);
                return;
            case 2:
                if (auto k = store().findKey(root, key)) store().deleteValue(*k, name);
                return;
            case 3:
                store().createKey(root, key + "\\New" + std::to_string(pick(2)));
                return;
            case 4:
                if (auto k = store().findKey(root, pick(2) ? top : key)) store().deleteKey(*k);
                return;
            default: {  // a small import
                const std::string text = "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\" + key +
                                         "]\r\n\"Imported\"=\"" + std::to_string(rng() % 100) +
                                         "\"\r\n\"" + name + "\"=-\r\n\r\n[-HKEY_CURRENT_USER\\" +
                                         key + "\\New0]\r\n";
                dotreg::apply(store(), dotreg::parse(text, store().textData()));
                return;
            }
        }
    }

    testing_support::TempMachine machine_;
    ScopedEnv state_;
    fs::path prefix_;
};

TEST_P(History, EveryChangeTakenBackNewestFirstLeavesTheRegistryAsItWas) {
    std::mt19937 rng(20261209);
    for (int run = 0; run < 6; ++run) {
        const std::string start = exported();
        const std::vector<history::Entry> kept = store().history();
        const std::int64_t before = kept.empty() ? 0 : kept.front().id;
        for (int i = 0; i < 20; ++i) randomChange(rng);
        const std::string end = exported();
        std::size_t made = 0;
        for (const history::Entry& e : store().history()) made += e.id > before;
        ASSERT_GT(made, 10u);
        // Each undo is an entry of its own, the newest: the next change to
        // take back is two further down each time.
        for (std::size_t i = 0; i < made; ++i) history::undo(store(), 2 * i + 1, false);
        ASSERT_EQ(exported(), start) << "run " << run;
        for (std::size_t i = 0; i < made; ++i) history::undo(store(), 2 * i + 1, false);
        ASSERT_EQ(exported(), end) << "run " << run;
    }
    EXPECT_EQ(store().history().size(), history::kKept);
}

// An entry says when, what made it and what it replaced; a value changed
// since is named and kept unless forced.
TEST_P(History, AnEntryKeepsWhatItReplacedAndUndoRefusesOverALaterChange) {
    const KeyId key = store().createKey(Root::CurrentUser, "Software\\Kept");
    {
        const history::Origin origin("first");
        store().setValue(key, "Name", REG_SZ, "one");
    }
    {
        const history::Origin origin("second");
        store().setValue(key, "NAME", REG_SZ, "two");
    }
    const std::vector<history::Entry> entries = store().history();
    ASSERT_GE(entries.size(), 3u);
    EXPECT_EQ(entries[0].origin, "second");
    EXPECT_EQ(entries[1].origin, "first");
    EXPECT_GT(entries[0].id, entries[1].id);
    ASSERT_EQ(entries[0].steps.size(), 1u);
    const history::Step& step = entries[0].steps[0];
    EXPECT_EQ(step.key.path, "Software\\Kept");
    EXPECT_EQ(step.name, "Name");  // the spelling the value has
    ASSERT_TRUE(step.before && step.after);
    EXPECT_EQ(step.before->data, "one");
    EXPECT_EQ(step.after->data, "two");
    EXPECT_EQ(history::touched(entries[2]),
              std::vector<std::string>({"HKEY_CURRENT_USER\\Software\\Kept"}));

    try {
        history::undo(store(), 2, false);
        ADD_FAILURE() << "took back a change over a later one";
    } catch (const regstore::Refused& e) {
        EXPECT_EQ(std::string(e.what()),
                  "HKEY_CURRENT_USER\\Software\\Kept (Name) has been changed since change 2 was "
                  "made; /f takes the change back all the same");
    }
    EXPECT_EQ(store().value(key, "Name")->data, "two");
    history::undo(store(), 2, true);
    EXPECT_FALSE(store().value(key, "Name"));
    EXPECT_THROW(history::undo(store(), 1000, false), regstore::Refused);
}

INSTANTIATE_TEST_SUITE_P(EachStore, History, ::testing::Values(Kind::Hive, Kind::Prefix),
                         [](const auto& info) {
                             return info.param == Kind::Hive ? std::string("Hive")
                                                             : std::string("Prefix");
                         });

}  // namespace
