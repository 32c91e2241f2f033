// The Reg* functions and the hive under them.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <fstream>

#include "hive/sqlite_hive.h"
#include "registry/Module2.h"
#include "registry/catalogue.h"
#include "support/as_nobody.h"
#include "support/faulty_vfs.h"
#include "support/temp_machine.h"
#include "winreg/current_store.h"
#include "winreg/failed_writes.h"
#include "winreg/winreg.h"

using namespace std::string_literals;
using testing_support::readFile;
using testing_support::TempMachine;

namespace {

// The size of a value (its query without a buffer), and writing text.
LONG sizeOf(HKEY h, const char* name, DWORD& size) {
    return RegQueryValueExA(h, name, nullptr, nullptr, nullptr, &size);
}
LONG setText(HKEY h, const char* name, const std::string& text) {
    return RegSetValueExA(h, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.data()),
                          static_cast<DWORD>(text.size()));
}

// Sets a double word through the admin connection.
void storeNumber(TempMachine& machine, const char* key, std::uint32_t n) {
    machine.admin().setValue(*machine.admin().findKey(regstore::Root::CurrentUser, key),
                             "ShowInfoTip", REG_DWORD,
                             std::string(reinterpret_cast<const char*>(&n), 4));
}

// Runs knobreg, another process on the same machine; its exit code.
int runKnobreg(std::vector<std::string> args) {
    args.insert(args.begin(), KNOBREG_EXE);
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, 1);
        ::execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class RegTest : public ::testing::Test {
  protected:
    RegTest() {
        key_ = machine_.createKey("HKCU\\Software\\Test");
        machine_.admin().setValue(key_, "Name", REG_SZ, "value\0"s);
    }
    HKEY open(const char* path, REGSAM rights = 0x3F, HKEY root = HKEY_CURRENT_USER) {
        HKEY h = nullptr;
        EXPECT_EQ(RegOpenKeyExA(root, path, 0, rights, &h), ERROR_SUCCESS) << path;
        return h;
    }
    TempMachine machine_{TempMachine::NoKeys};
    regstore::KeyId key_;
};

TEST_F(RegTest, QueryReportsTypeAndSizeThenCopiesOrAsksForMore) {
    HKEY h = open("Software\\Test");
    DWORD type = 0, size = 0;
    ASSERT_EQ(RegQueryValueExA(h, "name", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(size, 6u);

    char small[3] = {'x', 'y', 'z'};
    size = 3;
    EXPECT_EQ(RegQueryValueExA(h, "Name", nullptr, &type, reinterpret_cast<BYTE*>(small), &size),
              ERROR_MORE_DATA);
    EXPECT_EQ(size, 6u);
    EXPECT_EQ(std::string(small, 3), "xyz");  // untouched

    char big[16] = {};
    size = sizeof big;
    ASSERT_EQ(RegQueryValueExA(h, "NAME", nullptr, &type, reinterpret_cast<BYTE*>(big), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(size, 6u);
    EXPECT_EQ(std::string(big, 6), "value\0"s);

    EXPECT_EQ(RegQueryValueExA(h, "Other", nullptr, &type, nullptr, &size), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegCloseKey(h), ERROR_SUCCESS);
}

TEST_F(RegTest, HandlesAreCheckedAndFailedOpensGiveNull) {
    HKEY h = reinterpret_cast<HKEY>(0x1234);
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Missing", 0, 0x3F, &h),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(h, nullptr);
    DWORD size = 0;
    EXPECT_EQ(sizeOf(nullptr, "Name", size), ERROR_INVALID_HANDLE);
    EXPECT_EQ(setText(nullptr, "Name", "x"), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegDeleteValueA(nullptr, "Name"), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegCloseKey(nullptr), ERROR_INVALID_HANDLE);

    HKEY k = open("Software\\Test");
    EXPECT_EQ(RegCloseKey(k), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(k), ERROR_INVALID_HANDLE);
    EXPECT_EQ(sizeOf(k, "Name", size), ERROR_INVALID_HANDLE);
}

TEST_F(RegTest, KeyPathsAreMatchedWithoutCaseAndExtraSeparators) {
    for (const char* path : {"software\\TEST", "Software\\\\Test", "Software\\Test\\"}) {
        HKEY h = open(path);
        DWORD size = 0;
        EXPECT_EQ(sizeOf(h, "Name", size), ERROR_SUCCESS) << path;
        RegCloseKey(h);
    }
    HKEY h = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "\\Software\\Test", 0, 0x3F, &h),
              ERROR_BAD_PATHNAME);
    EXPECT_EQ(h, nullptr);
    // Opening relative to an open key.
    HKEY software = open("Software");
    HKEY test = open("test", 0x3F, software);
    EXPECT_NE(test, nullptr);
    RegCloseKey(test);
    RegCloseKey(software);
    // The open never creates a key.
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Test\\Sub", 0, 0x3F, &h),
              ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(machine_.admin().findKey(regstore::Root::CurrentUser, "Software\\Test\\Sub"));
}

TEST_F(RegTest, NonAsciiNamesFoldTheirCase) {
    HKEY h = open("Software\\Test");
    // "\xC9T\xC9" is "ÉTÉ" in code page 1252; "\xE9t\xE9" is "été".
    ASSERT_EQ(setText(h, "\xC9T\xC9", "hot"), ERROR_SUCCESS);
    DWORD size = 0;
    EXPECT_EQ(sizeOf(h, "\xE9t\xE9", size), ERROR_SUCCESS);
    EXPECT_EQ(size, 3u);
    RegCloseKey(h);
    auto stored = machine_.admin().value(key_, "\xC3\x89T\xC3\x89");
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->name, "\xC3\x89T\xC3\x89");  // kept as created, in UTF-8
}

TEST_F(RegTest, AnyTypeIsKeptWithItsBytes) {
    HKEY h = open("Software\\Test");
    const BYTE data[] = {0, 1, 2, 0xFF};
    ASSERT_EQ(RegSetValueExA(h, "Blob", 0, 0x1234, data, 4), ERROR_SUCCESS);
    DWORD type = 0, size = 4;
    BYTE back[4] = {};
    ASSERT_EQ(RegQueryValueExA(h, "Blob", nullptr, &type, back, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, 0x1234u);
    EXPECT_EQ(std::memcmp(back, data, 4), 0);
    EXPECT_EQ(RegDeleteValueA(h, "blob"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteValueA(h, "blob"), ERROR_FILE_NOT_FOUND);
    RegCloseKey(h);
}

TEST_F(RegTest, HandleWithoutWriteRightsCannotWrite) {
    HKEY h = open("Software\\Test", KEY_QUERY_VALUE);
    EXPECT_EQ(setText(h, "Name", "x"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteValueA(h, "Name"), ERROR_ACCESS_DENIED);
    RegCloseKey(h);
    EXPECT_TRUE(machine_.admin().value(key_, "Name"));
}

TEST_F(RegTest, ClassesRootNeedsLocalMachineClasses) {
    HKEY h = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, "CLSID", 0, 0x3F, &h), ERROR_FILE_NOT_FOUND);
    machine_.createKey("HKLM\\SOFTWARE\\classes\\CLSID");
    EXPECT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, "clsid", 0, 0x3F, &h), ERROR_SUCCESS);
    RegCloseKey(h);
}

TEST(HiveFile, ReadOnlyHiveRefusesWriteRightsButStillReads) {
    TempMachine machine;
    const char* const key = catalogue::ShowInfoTip.keyPath;
    Module2::setvalue(catalogue::HKCU, key, "ShowInfoTip", QString("1"), REG_DWORD);
    regstore::selectHive("/nonexistent/none.db");  // close the program's connection
    machine.closeAdmin();
    ::chmod(machine.hivePath().c_str(), 0444);
    // Neither the hive nor its folder can be written.
    ::chmod(machine.hivePath().parent_path().c_str(), 0555);

    // "nobody" must reach the hive to find it read-only.
    for (auto& entry : std::filesystem::recursive_directory_iterator(machine.root())) {
        if (entry.is_directory()) ::chmod(entry.path().c_str(), 0755);
    }
    ::chmod(machine.root().c_str(), 0755);
    testing_support::asNobody([&] {
        regstore::selectHive(machine.hivePath());
        EXPECT_EQ(regstore::state(), regstore::State::ReadOnly);
        HKEY h = nullptr;
        EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, key, 0, 0x3F, &h), ERROR_ACCESS_DENIED);
        EXPECT_EQ(h, nullptr);
        EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, key, 0, KEY_READ, &h), ERROR_SUCCESS);
        DWORD size = 0;
        EXPECT_EQ(sizeOf(h, "ShowInfoTip", size), ERROR_SUCCESS);
        EXPECT_EQ(size, 4u);
        RegCloseKey(h);
        // The program's procedures (always asking for 0x3F) read nothing and
        // write nothing, and nothing fails loudly.
        Module2::setvalue(catalogue::HKCU, key, "ShowInfoTip", QString("0"), REG_DWORD);
        EXPECT_TRUE(regvalue::isEmpty(Module2::getvalue(catalogue::HKCU, key, "ShowInfoTip")));
        regstore::selectHive("/nonexistent/none.db");
    });
    ::chmod(machine.hivePath().parent_path().c_str(), 0700);
    EXPECT_EQ(machine.value(std::string("HKCU\\") + key, "ShowInfoTip")->data, "\x01\0\0\0"s);
}

TEST(HiveFile, DamagedHiveFailsEveryOpenAndIsLeftUntouched) {
    TempMachine machine;
    std::filesystem::path file = machine.hivePath();
    regstore::selectHive("/nonexistent/none.db");
    machine.closeAdmin();
    std::string original = readFile(file);
    ASSERT_GT(original.size(), 1000u);

    struct Damage {
        const char* what;
        std::string bytes;
    } damages[] = {
        {"garbage", std::string(8192, 'x')},
        {"truncated header", original.substr(0, 50)},
        {"zeroed schema page", original.substr(0, 100) + std::string(original.size() - 100, '\0')},
        {"empty", ""},
    };
    for (const Damage& d : damages) {
        {
            std::ofstream out(file, std::ios::binary | std::ios::trunc);
            out << d.bytes;
        }
        regstore::selectHive(file);
        HKEY h = nullptr;
        EXPECT_NE(RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, 0x3F, &h), ERROR_SUCCESS)
            << d.what;
        EXPECT_EQ(h, nullptr);
        Module2::setvalue(catalogue::HKCU, "Software", "x", QString("y"), REG_SZ);
        EXPECT_EQ(regstore::state(), regstore::State::Damaged) << d.what;
        EXPECT_FALSE(regstore::problem().empty());
        regstore::selectHive("/nonexistent/none.db");
        EXPECT_EQ(readFile(file), d.bytes) << d.what;
        EXPECT_FALSE(std::filesystem::exists(file.string() + "-journal")) << d.what;
    }
}

// A disk without free space (the fault-injecting VFS plays it): the hive is
// shown, every change is refused saying why, another process that has space
// still writes and is seen, and once there is space the next change is made.
TEST(HiveFile, FullDiskShowsTheHiveAndRefusesChangesUntilThereIsSpace) {
    TempMachine machine;
    const char* const key = catalogue::ShowInfoTip.keyPath;
    const std::string full = "The disk holding " + machine.hivePath().string() + " is full.";
    storeNumber(machine, key, 1);
    machine.closeAdmin();  // the hive alone, with no log or index beside it
    faulty_vfs::install();
    faulty_vfs::setFull(true);
    // What knobreg meets.
    try {
        regstore::SqliteHive::open(machine.hivePath())
            ->createKey(regstore::Root::CurrentUser, "New");
        ADD_FAILURE() << "a key was made on a full disk";
    } catch (const regstore::Error& e) {
        EXPECT_EQ(e.code(), ERROR_DISK_FULL);
        EXPECT_EQ(e.what(), full);
    }

    regstore::selectHive(machine.hivePath());

    EXPECT_EQ(regstore::state(), regstore::State::Ok);
    EXPECT_EQ(regstore::problem(),
              full + " The settings are shown but cannot be changed until space is freed.");
    EXPECT_EQ(Module2::getvalue(catalogue::HKCU, key, "ShowInfoTip"), RegValue(1));
    failed_writes::take();
    HKEY h = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, key, 0, 0x3F, &h), ERROR_SUCCESS);
    const DWORD zero = 0;
    EXPECT_EQ(
        RegSetValueExA(h, "ShowInfoTip", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&zero), 4),
        ERROR_DISK_FULL);
    EXPECT_EQ(RegDeleteValueA(h, "ShowInfoTip"), ERROR_DISK_FULL);
    std::vector<failed_writes::Failure> failures = failed_writes::take();
    ASSERT_EQ(failures.size(), 2u);
    EXPECT_EQ(failures[0].key, std::string("HKEY_CURRENT_USER\\") + key);
    EXPECT_EQ(failures[0].reason, full);
    // Another process, with space, writes while the hive is open here.
    ASSERT_EQ(runKnobreg({"add", std::string("HKCU\\") + key, "/v", "ShowInfoTip", "/t",
                          "REG_DWORD", "/d", "2", "/f"}),
              0);
    EXPECT_EQ(Module2::getvalue(catalogue::HKCU, key, "ShowInfoTip"), RegValue(2));

    faulty_vfs::setFull(false);
    EXPECT_EQ(
        RegSetValueExA(h, "ShowInfoTip", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&zero), 4),
        ERROR_SUCCESS);
    RegCloseKey(h);
    EXPECT_EQ(failed_writes::count(), 0u);
    EXPECT_EQ(machine.value(std::string("HKCU\\") + key, "ShowInfoTip")->data, "\0\0\0\0"s);
}

TEST(HiveFile, MissingHiveFailsEveryOpen) {
    TempMachine machine;
    regstore::selectHive(machine.root() / "no-such-hive.db");
    HKEY h = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "", 0, 0x3F, &h), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(regstore::state(), regstore::State::Missing);
    EXPECT_FALSE(std::filesystem::exists(machine.root() / "no-such-hive.db"));
}

TEST(HiveAdmin, KeysAreCreatedAndDeletedWithTheirSubtrees) {
    TempMachine machine(TempMachine::NoKeys);
    regstore::SqliteHive& hv = machine.admin();
    regstore::KeyId deep = hv.createKey(regstore::Root::CurrentUser, "A\\B\\C");
    EXPECT_EQ(hv.createKey(regstore::Root::CurrentUser, "a\\b\\c"), deep);
    EXPECT_EQ(hv.keyName(deep), "HKEY_CURRENT_USER\\A\\B\\C");
    hv.setValue(deep, "v", REG_SZ, "x");
    regstore::KeyId a = *hv.findKey(regstore::Root::CurrentUser, "A");
    EXPECT_TRUE(hv.deleteKey(a));
    EXPECT_FALSE(hv.findKey(regstore::Root::CurrentUser, "A\\B"));
    EXPECT_TRUE(hv.values(deep).empty());
    EXPECT_THROW(hv.setValue(deep, "v", REG_SZ, "x"), regstore::Error);
    EXPECT_FALSE(hv.deleteKey(*hv.root(regstore::Root::CurrentUser)));
}

TEST(HiveAdmin, TransactionsAreAllOrNothing) {
    TempMachine machine(TempMachine::NoKeys);
    regstore::SqliteHive& hv = machine.admin();
    hv.begin();
    regstore::KeyId k = hv.createKey(regstore::Root::LocalMachine, "Software\\Gone");
    hv.setValue(k, "v", REG_DWORD, "abcd");
    hv.rollback();
    EXPECT_FALSE(hv.findKey(regstore::Root::LocalMachine, "Software\\Gone"));
}

}  // namespace
