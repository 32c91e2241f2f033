// Windows paths onto host paths and back.
#include <gtest/gtest.h>

#include <fstream>

#include "machine/drives.h"
#include "machine/machine.h"
#include "support/temp_machine.h"

namespace {

namespace fs = std::filesystem;
using testing_support::TempMachine;

class DrivesTest : public ::testing::Test {
  protected:
    DrivesTest() {
        c_ = machine::driveC();
        fs::create_directories(c_ / "WINDOWS" / "SYSTEM");
        std::ofstream(c_ / "WINDOWS" / "SYSTEM" / "SyncUI.dll") << "x";
    }
    TempMachine machine_{TempMachine::NoKeys};
    fs::path c_;
};

TEST_F(DrivesTest, ComponentsResolveWithoutRegardToCase) {
    fs::path file = c_ / "WINDOWS" / "SYSTEM" / "SyncUI.dll";
    EXPECT_EQ(drives::toHost("c:\\windows\\SYSTEM\\syncui.dll"), file);
    EXPECT_EQ(drives::toHost("C:\\WINDOWS\\system\\SYNCUI.DLL"), file);
    EXPECT_EQ(drives::toHost("C:/Windows/System/syncui.dll"), file);
    // Missing components are kept as written, below the last one that exists.
    EXPECT_EQ(drives::toHost("C:\\windows\\New Folder\\Sub"),
              c_ / "WINDOWS" / "New Folder" / "Sub");
}

TEST_F(DrivesTest, RootsAndSeparators) {
    EXPECT_EQ(drives::toHost("C:\\"), c_);
    EXPECT_EQ(drives::toHost("c:"), drives::toHost(drives::currentDirectory().substr(0, 2) == "C:"
                                                       ? drives::currentDirectory()
                                                       : "C:\\"));
    EXPECT_EQ(drives::toHost("Z:\\"), fs::path("/"));
    EXPECT_EQ(drives::toHost("Z:\\tmp\\"), fs::path("/tmp"));
    EXPECT_EQ(drives::toHost("C:\\WINDOWS\\\\SYSTEM\\"), c_ / "WINDOWS" / "SYSTEM");
}

TEST_F(DrivesTest, DotDotNeverLeavesTheDrive) {
    EXPECT_EQ(drives::toHost("C:\\..\\..\\etc"), c_ / "etc");
    EXPECT_EQ(drives::toHost("C:\\WINDOWS\\..\\windows\\.\\system"), c_ / "WINDOWS" / "SYSTEM");
    EXPECT_EQ(drives::toHost("Z:\\..\\tmp"), fs::path("/tmp"));
}

TEST_F(DrivesTest, OtherDrivesAndUncPathsDoNotExist) {
    EXPECT_FALSE(drives::toHost("D:\\"));
    EXPECT_FALSE(drives::toHost("\\\\server\\share\\file"));
    EXPECT_FALSE(drives::toHost("//server/share"));
    EXPECT_FALSE(drives::toHost(""));
}

TEST_F(DrivesTest, HostPathsShowAsDriveCOrZ) {
    EXPECT_EQ(drives::toWindows(c_), "C:\\");
    EXPECT_EQ(drives::toWindows(c_ / "WINDOWS" / "SYSTEM"), "C:\\WINDOWS\\SYSTEM");
    EXPECT_EQ(drives::toWindows("/"), "Z:\\");
    EXPECT_EQ(drives::toWindows("/usr/share/"), "Z:\\usr\\share");
    // And back again.
    EXPECT_EQ(drives::toHost(drives::toWindows("/usr/share")), fs::path("/usr/share"));
}

TEST_F(DrivesTest, RelativePathsStartFromTheCurrentDirectory) {
    fs::path old = fs::current_path();
    fs::current_path(c_ / "WINDOWS");
    EXPECT_EQ(drives::currentDirectory(), "C:\\WINDOWS");
    EXPECT_EQ(drives::toHost("system\\syncui.dll"), c_ / "WINDOWS" / "SYSTEM" / "SyncUI.dll");
    EXPECT_EQ(drives::toHost("\\WINDOWS"), c_ / "WINDOWS");
    fs::current_path(old);
}

// A Wine prefix's drives are its dosdevices/ links; device links are not
// drives.
TEST(PrefixDrives, AreTheLinksOfDosdevices) {
    const fs::path prefix = testing_support::makeTempDir("knobwise-drives-");
    fs::create_directories(prefix / "drive_c" / "windows");
    fs::create_directories(prefix / "other" / "Games");
    fs::create_directories(prefix / "dosdevices");
    fs::create_symlink("../drive_c", prefix / "dosdevices" / "c:");
    fs::create_symlink(prefix / "other", prefix / "dosdevices" / "d:");
    fs::create_symlink("/", prefix / "dosdevices" / "z:");
    fs::create_symlink("/dev/null", prefix / "dosdevices" / "com1");
    fs::create_symlink("/dev/null", prefix / "dosdevices" / "c::");
    machine::select(machine::Machine::winePrefix(prefix));

    std::string letters;
    for (const machine::Drive& d : machine::current().drives()) letters += d.letter;
    EXPECT_EQ(letters, "CDZ");
    EXPECT_TRUE(fs::equivalent(*drives::toHost("C:\\WINDOWS"), prefix / "drive_c" / "windows"));
    EXPECT_TRUE(fs::equivalent(*drives::toHost("d:\\games"), prefix / "other" / "Games"));
    EXPECT_EQ(drives::toHost("D:\\..\\..\\x")->filename(), "x");
    EXPECT_FALSE(drives::toHost("E:\\"));
    EXPECT_EQ(drives::toWindows(prefix / "drive_c" / "windows"), "C:\\windows");
    EXPECT_EQ(drives::toWindows(prefix / "other"), "D:\\");
    EXPECT_EQ(drives::toWindows("/usr"), "Z:\\usr");

    machine::select(machine::Machine::embedded());
    fs::remove_all(prefix);
}

}  // namespace
