// The machine: made and seeded once, all or nothing, also when killed half
// way or when several programs start at once; never changed by a later start.
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <map>

#include "machine/data_directory.h"
#include "machine/drives.h"
#include "machine/machine.h"
#include "machine/seeding.h"
#include "registry/catalogue.h"
#include "support/temp_machine.h"
#include "text/codepage.h"

namespace fs = std::filesystem;

namespace {

using testing_support::readFile;
using testing_support::rootOf;
using testing_support::writeFile;

// Points XDG_DATA_HOME at a fresh directory for one test; the machine is
// made inside it.
class MachineTest : public ::testing::Test {
  protected:
    ~MachineTest() override {
        machine::seeding::setProbe(nullptr);
        regstore::selectHive("/nonexistent/knobwise-machine-test.db");
        fs::remove_all(base_);
    }

    // What a complete machine has: a hive with every key of the catalogue
    // and the seeded switch, and the folders of drive C.
    void expectComplete() {
        std::unique_ptr<regstore::SqliteHive> h = regstore::SqliteHive::open(machine::hivePath());
        for (const catalogue::Row& row : catalogue::kRows) {
            EXPECT_TRUE(h->findKey(rootOf(row.root), row.keyPath)) << row.keyPath;
        }
        std::optional<regstore::KeyId> advanced =
            h->findKey(regstore::Root::CurrentUser, catalogue::ShowInfoTip.keyPath);
        ASSERT_TRUE(advanced);
        EXPECT_EQ(h->value(*advanced, "ShowInfoTip")->data, std::string("\1\0\0\0", 4));
        EXPECT_TRUE(fs::is_directory(machine::driveC() / "WINDOWS" / "Start Menu" / "Programs" /
                                     "StartUp"));
        EXPECT_TRUE(fs::is_directory(machine::driveC() / "WINDOWS" / "SYSTEM"));
    }

    // Names left over from making machines, beside or inside the machine.
    std::vector<std::string> leftovers() {
        std::vector<std::string> out;
        for (const fs::path& dir : {base_, machine::directory()}) {
            std::error_code ec;
            for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
                std::string name = it->path().filename().string();
                if (name.starts_with(machine::seeding::kAsidePrefix)) out.push_back(name);
            }
        }
        return out;
    }

    fs::path base_ = testing_support::makeTempDir("knobwise-machine-");
    testing_support::XdgDataHome xdg_{base_};
};

std::string loginName() {
    const passwd* pw = getpwuid(getuid());
    return pw ? pw->pw_name : "";
}

TEST_F(MachineTest, SeedHoldsEveryCatalogueKeyAndTheValuesOfAFreshWindows) {
    ASSERT_TRUE(fs::is_regular_file(machine::dataDirectory() / "default.reg"))
        << machine::dataDirectory();
    machine::Outcome made = machine::ensure();
    EXPECT_TRUE(made.created);
    EXPECT_EQ(made.error, "");
    expectComplete();

    std::unique_ptr<regstore::SqliteHive> h = regstore::SqliteHive::open(machine::hivePath());
    auto value = [&](const catalogue::Row& row) {
        std::optional<regstore::KeyId> key = h->findKey(rootOf(row.root), row.keyPath);
        return key ? h->value(*key, row.valueName) : std::nullopt;
    };
    for (const catalogue::Row& row : catalogue::kInfoTips) {
        ASSERT_TRUE(value(row)) << row.number;
        EXPECT_EQ(value(row)->type, REG_SZ);
        EXPECT_GT(value(row)->data.size(), 10u);
    }
    EXPECT_EQ(value(catalogue::IsShortcutLnk)->data, std::string(1, '\0'));
    EXPECT_EQ(value(catalogue::IsShortcutPif)->data, std::string(1, '\0'));
    EXPECT_EQ(value(catalogue::Startup)->data,
              std::string("C:\\WINDOWS\\Start Menu\\Programs\\StartUp\0", 39));
    EXPECT_EQ(value(catalogue::DefaultUserName)->data, codepage::fromUtf8(loginName()) + '\0');
    EXPECT_FALSE(value(catalogue::DefaultPassword));
    EXPECT_FALSE(value(catalogue::AutoAdminLogon));
    EXPECT_FALSE(value(catalogue::BackBitmap));

    // The Startup folder the registry names is there on drive C.
    std::optional<fs::path> startup = drives::toHost("C:\\WINDOWS\\Start Menu\\Programs\\StartUp");
    ASSERT_TRUE(startup);
    EXPECT_TRUE(fs::is_directory(*startup));

    // The hive may hold a password: private to its owner.
    struct stat st {};
    ASSERT_EQ(::stat(machine::directory().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    ASSERT_EQ(::stat(machine::hivePath().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_TRUE(leftovers().empty());
}

struct Entry {
    fs::file_type type;
    std::uintmax_t size;
    std::int64_t mtime;
    unsigned mode;
    std::string bytes;
    bool operator==(const Entry&) const = default;
};

std::map<std::string, Entry> snapshot(const fs::path& dir) {
    std::map<std::string, Entry> out;
    for (const fs::directory_entry& e : fs::recursive_directory_iterator(dir)) {
        struct stat st {};
        ::lstat(e.path().c_str(), &st);
        Entry entry{e.symlink_status().type(), 0,
                    static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec,
                    static_cast<unsigned>(st.st_mode), ""};
        if (e.is_regular_file()) {
            entry.size = e.file_size();
            entry.bytes = readFile(e.path());
        }
        out[e.path().lexically_relative(dir).string()] = entry;
    }
    return out;
}

TEST_F(MachineTest, LaterStartsChangeNothing) {
    ASSERT_TRUE(machine::ensure().created);
    const auto first = snapshot(machine::directory());
    machine::Outcome again = machine::ensure();
    EXPECT_FALSE(again.created);
    EXPECT_EQ(again.error, "");
    EXPECT_TRUE(snapshot(machine::directory()) == first);

    // What the user changed stays changed: nothing is put back.
    fs::remove_all(machine::driveC() / "WINDOWS" / "SYSTEM");
    {
        std::unique_ptr<regstore::SqliteHive> h = regstore::SqliteHive::open(machine::hivePath());
        h->deleteKey(
            *h->findKey(regstore::Root::CurrentUser, "Software\\Microsoft\\Internet Explorer"));
    }
    EXPECT_FALSE(machine::ensure().created);
    EXPECT_FALSE(fs::exists(machine::driveC() / "WINDOWS" / "SYSTEM"));
    EXPECT_FALSE(
        regstore::SqliteHive::open(machine::hivePath())
            ->findKey(regstore::Root::CurrentUser, "Software\\Microsoft\\Internet Explorer"));
}

TEST_F(MachineTest, ShippedDataDecidesTheSeed) {
    const fs::path data = base_ / "data";
    writeFile(data / "default.reg",
              "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Own]\r\n\"Mark\"=\"seeded\"\r\n");
    writeFile(data / "drive_c" / "WINDOWS" / "SYSTEM" / "shell32.dll",
              std::string("MZ\0\1icons", 9));
    writeFile(data / "drive_c" / "WINDOWS" / "explorer.exe", "MZ explorer");
    fs::create_symlink("/etc/passwd", data / "drive_c" / "link");

    machine::Outcome made = machine::seeding::ensureFrom(data);
    ASSERT_EQ(made.error, "");
    EXPECT_EQ(readFile(machine::driveC() / "WINDOWS" / "SYSTEM" / "shell32.dll"),
              std::string("MZ\0\1icons", 9));
    EXPECT_EQ(readFile(machine::driveC() / "WINDOWS" / "explorer.exe"), "MZ explorer");
    EXPECT_FALSE(fs::exists(fs::symlink_status(machine::driveC() / "link")));
    EXPECT_TRUE(
        fs::is_directory(machine::driveC() / "WINDOWS" / "Start Menu" / "Programs" / "StartUp"));
    std::unique_ptr<regstore::SqliteHive> h = regstore::SqliteHive::open(machine::hivePath());
    std::optional<regstore::KeyId> own = h->findKey(regstore::Root::CurrentUser, "Software\\Own");
    ASSERT_TRUE(own);
    EXPECT_EQ(h->value(*own, "Mark")->data, std::string("seeded\0", 7));
}

TEST_F(MachineTest, WithoutUsableSeedNothingIsMade) {
    const fs::path data = base_ / "data";
    fs::create_directories(data);
    machine::Outcome missing = machine::seeding::ensureFrom(data);
    EXPECT_FALSE(missing.created);
    EXPECT_NE(missing.error.find("default.reg"), std::string::npos) << missing.error;
    EXPECT_FALSE(fs::exists(machine::directory()));

    writeFile(data / "default.reg", "REGEDIT4\r\n\r\n\"orphan\"=\"value\"\r\n");
    machine::Outcome faulty = machine::seeding::ensureFrom(data);
    EXPECT_FALSE(faulty.created);
    EXPECT_NE(faulty.error.find("line 3"), std::string::npos) << faulty.error;
    EXPECT_FALSE(fs::exists(machine::directory()));
    EXPECT_TRUE(leftovers().empty());
}

TEST_F(MachineTest, DirectoryWithoutHiveGetsTheMissingPartsAndKeepsItsOwn) {
    writeFile(machine::directory() / "notes.txt", "mine");
    writeFile(machine::driveC() / "WINDOWS" / "SYSTEM" / "shell32.dll", "the user's own file");
    machine::Outcome made = machine::ensure();
    ASSERT_EQ(made.error, "");
    EXPECT_TRUE(made.created);
    expectComplete();
    EXPECT_EQ(readFile(machine::directory() / "notes.txt"), "mine");
    EXPECT_EQ(readFile(machine::driveC() / "WINDOWS" / "SYSTEM" / "shell32.dll"),
              "the user's own file");
    EXPECT_TRUE(leftovers().empty());
}

TEST_F(MachineTest, EmptyDirectoryIsTakenOver) {
    fs::create_directories(machine::directory());
    ASSERT_TRUE(machine::ensure().created);
    expectComplete();
}

// Runs `body` in a child process; its result is the child's exit code.
template <typename F>
pid_t spawn(F body) {
    pid_t pid = fork();
    if (pid == 0) _exit(body());
    return pid;
}

int exitCode(pid_t pid) {
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 100 + WTERMSIG(status);
}

// 0: found a machine, 1: made it, 2: failed.
int startOnce() {
    machine::Outcome o = machine::ensure();
    return !o.error.empty() ? 2 : o.created ? 1 : 0;
}

TEST_F(MachineTest, KilledHalfWayLeavesNoMachineOrAWholeOne) {
    for (const char* step : {"aside", "registry", "drive", "ready", "placed"}) {
        SCOPED_TRACE(step);
        pid_t child = spawn([step] {
            machine::seeding::setProbe([step](std::string_view at) {
                if (at == step) ::kill(::getpid(), SIGKILL);
            });
            return startOnce();
        });
        EXPECT_EQ(exitCode(child), 100 + SIGKILL);
        const bool placed = std::string_view(step) == "placed";
        EXPECT_EQ(fs::exists(machine::hivePath()), placed);
        if (!placed) {
            EXPECT_FALSE(fs::exists(machine::directory()));
        }

        // The next start finds a whole machine or makes one, and clears away
        // what the killed one left.
        EXPECT_EQ(startOnce(), placed ? 0 : 1);
        expectComplete();
        EXPECT_TRUE(leftovers().empty());
        fs::remove_all(machine::directory());
    }
}

TEST_F(MachineTest, TheLoserOfARaceUsesTheWinnersMachine) {
    int atReady[2], release[2];
    ASSERT_EQ(pipe(atReady), 0);
    ASSERT_EQ(pipe(release), 0);
    // The first one stops just before moving its machine into place, until
    // the test closes the release pipe...
    pid_t first = spawn([&] {
        close(atReady[0]);
        close(release[1]);
        machine::seeding::setProbe([&](std::string_view at) {
            if (at != "ready") return;
            char c = 'r';
            (void)!write(atReady[1], &c, 1);
            (void)!read(release[0], &c, 1);
        });
        return startOnce();
    });
    close(atReady[1]);  // a first one that ends early is seen, not waited for
    close(release[0]);
    int firstExit = -1;
    auto letGo = [&] {
        if (release[1] < 0) return;
        close(release[1]);
        release[1] = -1;
        firstExit = exitCode(first);
    };
    // ...which happens however the test ends: no process is left behind.
    struct Finally {
        std::function<void()> run;
        ~Finally() { run(); }
    } finally{[&] {
        letGo();
        close(atReady[0]);
    }};
    char c;
    ASSERT_EQ(read(atReady[0], &c, 1), 1);
    // ...while a second one makes the whole machine.
    EXPECT_EQ(exitCode(spawn(startOnce)), 1);
    const auto made = snapshot(machine::directory());
    letGo();
    EXPECT_EQ(firstExit, 0);
    EXPECT_TRUE(snapshot(machine::directory()) == made);
    expectComplete();
    EXPECT_TRUE(leftovers().empty());
}

TEST_F(MachineTest, SeveralStartsAtOnceMakeOneMachine) {
    int gate[2];
    ASSERT_EQ(pipe(gate), 0);
    std::vector<pid_t> children;
    for (int i = 0; i < 4; ++i) {
        children.push_back(spawn([&] {
            close(gate[1]);
            char c;
            (void)!read(gate[0], &c, 1);  // all go when the gate closes
            return startOnce();
        }));
    }
    close(gate[0]);
    close(gate[1]);
    int made = 0;
    for (pid_t child : children) {
        int code = exitCode(child);
        EXPECT_NE(code, 2);
        made += code == 1;
    }
    EXPECT_EQ(made, 1);
    expectComplete();
    EXPECT_TRUE(leftovers().empty());
}

}  // namespace
