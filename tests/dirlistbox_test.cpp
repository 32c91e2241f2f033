// The directory list box: its path at a drive's root and below it, moving
// through folders with the keyboard and the mouse, and unreadable folders.
#include <gtest/gtest.h>
#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <QApplication>
#include <QSignalSpy>
#include <QTest>
#include <filesystem>
#include <fstream>

#include "dirlistbox.h"
#include "machine.h"
#include "support/temp_machine.h"

namespace {

namespace fs = std::filesystem;
using testing_support::TempMachine;

// One application for the whole run, ended before the program exits so that
// Qt's own globals still exist while it goes.
class QtApplication : public ::testing::Environment {
  public:
    void TearDown() override { delete qApp; }
};
const ::testing::Environment* const qtApplication =
    ::testing::AddGlobalTestEnvironment(new QtApplication);

void app() {
    static int argc = 1;
    static char name[] = "dirlistbox_tests";
    static char* argv[] = {name, nullptr};
    if (!qApp) new QApplication(argc, argv);
}

QStringList rowTexts(const DirListBox& box) {
    QStringList texts;
    for (int i = 0; i < box.count(); ++i) texts << box.item(i)->text();
    return texts;
}

class DirListBoxTest : public ::testing::Test {
  protected:
    DirListBoxTest() {
        app();
        c_ = machine::driveC();
        for (const char* dir :
             {"WINDOWS/SYSTEM", "WINDOWS/Desktop", "apps", "Zeta", "beta", ".hidden"}) {
            fs::create_directories(c_ / dir);
        }
        std::ofstream(c_ / "autoexec.bat") << "x";  // files are not listed
        oldCwd_ = fs::current_path();
        fs::current_path(c_ / "WINDOWS");
    }
    ~DirListBoxTest() override { fs::current_path(oldCwd_); }

    TempMachine machine_{TempMachine::NoKeys};
    fs::path c_;
    fs::path oldCwd_;
};

TEST_F(DirListBoxTest, StartsAtTheCurrentDirectory) {
    DirListBox box;
    EXPECT_EQ(box.Path(), "C:\\WINDOWS");
    EXPECT_EQ(rowTexts(box), QStringList({"C:\\", "WINDOWS", "Desktop", "SYSTEM"}));
    EXPECT_EQ(box.currentRow(), 1);
}

TEST_F(DirListBoxTest, AtADrivesRootThePathEndsInABackslash) {
    DirListBox box;
    ASSERT_TRUE(box.setPath("c:\\"));
    EXPECT_EQ(box.Path(), "C:\\");
    // Subfolders sorted without regard to case; hidden folders and files left out.
    EXPECT_EQ(box.subfolders(), QStringList({"apps", "beta", "WINDOWS", "Zeta"}));
    EXPECT_EQ(rowTexts(box), QStringList({"C:\\", "apps", "beta", "WINDOWS", "Zeta"}));
    EXPECT_EQ(box.currentRow(), 0);
}

TEST_F(DirListBoxTest, BelowTheRootThePathHasNoTrailingBackslash) {
    DirListBox box;
    ASSERT_TRUE(box.setPath("c:\\windows\\system\\"));
    EXPECT_EQ(box.Path(), "C:\\WINDOWS\\SYSTEM");  // spelled as on disk
    EXPECT_EQ(rowTexts(box), QStringList({"C:\\", "WINDOWS", "SYSTEM"}));
    EXPECT_EQ(box.currentRow(), 2);
    EXPECT_TRUE(box.subfolders().isEmpty());
}

TEST_F(DirListBoxTest, PathsThatAreNoFoldersAreRefused) {
    DirListBox box;
    QSignalSpy changed(&box, &DirListBox::changed);
    EXPECT_FALSE(box.setPath("C:\\nowhere"));
    EXPECT_FALSE(box.setPath("C:\\autoexec.bat"));
    EXPECT_FALSE(box.setPath("D:\\"));
    EXPECT_FALSE(box.setPath(""));
    EXPECT_EQ(box.Path(), "C:\\WINDOWS");
    EXPECT_EQ(changed.count(), 0);
}

TEST_F(DirListBoxTest, TheKeyboardMovesIntoAndOutOfFolders) {
    DirListBox box;
    box.show();
    QSignalSpy changed(&box, &DirListBox::changed);
    // Down only selects: rows are C:\, WINDOWS, Desktop, SYSTEM.
    QTest::keyClick(&box, Qt::Key_Down);
    QTest::keyClick(&box, Qt::Key_Down);
    EXPECT_EQ(box.currentRow(), 3);
    EXPECT_EQ(box.Path(), "C:\\WINDOWS");
    QTest::keyClick(&box, Qt::Key_Return);
    EXPECT_EQ(box.Path(), "C:\\WINDOWS\\SYSTEM");
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(changed[0][0].toString(), "C:\\WINDOWS\\SYSTEM");

    // Up to the root and into it.
    QTest::keyClick(&box, Qt::Key_Up);
    QTest::keyClick(&box, Qt::Key_Up);
    EXPECT_EQ(box.currentItem()->text(), "C:\\");
    QTest::keyClick(&box, Qt::Key_Enter);
    EXPECT_EQ(box.Path(), "C:\\");
    // And down into a folder from the root: one backslash, not two.
    QTest::keyClick(&box, Qt::Key_Down);
    QTest::keyClick(&box, Qt::Key_Return);
    EXPECT_EQ(box.Path(), "C:\\apps");
    EXPECT_EQ(changed.count(), 3);

    // Enter on the current folder itself changes nothing.
    QTest::keyClick(&box, Qt::Key_Return);
    EXPECT_EQ(box.Path(), "C:\\apps");
    EXPECT_EQ(changed.count(), 3);
}

TEST_F(DirListBoxTest, AClickSelectsAndADoubleClickOpens) {
    DirListBox box;
    box.resize(200, 200);
    box.show();
    QListWidgetItem* desktop = box.item(2);
    ASSERT_EQ(desktop->text(), "Desktop");
    QPoint at = box.visualItemRect(desktop).center();
    QTest::mouseClick(box.viewport(), Qt::LeftButton, {}, at);
    EXPECT_EQ(box.currentRow(), 2);
    EXPECT_EQ(box.Path(), "C:\\WINDOWS");
    QTest::mouseDClick(box.viewport(), Qt::LeftButton, {}, at);
    EXPECT_EQ(box.Path(), "C:\\WINDOWS\\Desktop");
}

// Takes away the root user's power to read any folder, for this thread.
class WithoutReadOverride {
  public:
    WithoutReadOverride() {
        header_.version = _LINUX_CAPABILITY_VERSION_3;
        header_.pid = 0;
        if (syscall(SYS_capget, &header_, saved_) != 0) return;
        __user_cap_data_struct reduced[2] = {saved_[0], saved_[1]};
        reduced[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
        active_ = syscall(SYS_capset, &header_, reduced) == 0;
    }
    ~WithoutReadOverride() {
        if (active_) syscall(SYS_capset, &header_, saved_);
    }

  private:
    __user_cap_header_struct header_{};
    __user_cap_data_struct saved_[2]{};
    bool active_ = false;
};

TEST_F(DirListBoxTest, AnUnreadableFolderShowsNoSubfolders) {
    fs::create_directories(c_ / "locked" / "inside");
    fs::permissions(c_ / "locked", fs::perms::none);
    {
        WithoutReadOverride unprivileged;
        std::error_code ec;
        fs::directory_iterator probe(c_ / "locked", ec);
        if (!ec) {
            fs::permissions(c_ / "locked", fs::perms::owner_all);
            GTEST_SKIP() << "folders with no permissions are still readable here";
        }
        DirListBox box;
        ASSERT_TRUE(box.setPath("C:\\"));
        box.show();
        // Rows: C:\, apps, beta, locked, WINDOWS, Zeta.
        box.setCurrentRow(3);
        ASSERT_EQ(box.currentItem()->text(), "locked");
        QTest::keyClick(&box, Qt::Key_Return);
        EXPECT_EQ(box.Path(), "C:\\locked");
        EXPECT_TRUE(box.subfolders().isEmpty());
        EXPECT_EQ(rowTexts(box), QStringList({"C:\\", "locked"}));
    }
    fs::permissions(c_ / "locked", fs::perms::owner_all);
}

}  // namespace
