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

#include "controls/dirlistbox.h"
#include "machine/machine.h"
#include "support/qt_app.h"
#include "support/qt_print.h"
#include "support/temp_machine.h"

namespace {

namespace fs = std::filesystem;
using testing_support::TempMachine;

QStringList rowTexts(const DirListBox& box) {
    QStringList texts;
    for (int i = 0; i < box.count(); ++i) texts << box.item(i)->text();
    return texts;
}

class DirListBoxTest : public ::testing::Test {
  protected:
    static fs::path prepared() {
        testing_support::ensureQtApp();
        const fs::path c = machine::driveC();
        for (const char* dir :
             {"WINDOWS/SYSTEM", "WINDOWS/Desktop", "apps", "Zeta", "beta", ".hidden"}) {
            fs::create_directories(c / dir);
        }
        testing_support::writeFile(c / "autoexec.bat", "x");  // files are not listed
        return c;
    }

    TempMachine machine_{TempMachine::NoKeys};
    fs::path c_ = prepared();
    testing_support::CurrentDirectory cwd_{c_ / "WINDOWS"};
};

// Rows: the path's folders from the root down, then the subfolders of the
// last one, sorted without regard to case, hidden folders and files left out.
TEST_F(DirListBoxTest, RowsAndPathAtTheStartAtADrivesRootAndBelowIt) {
    struct Case {
        const char* set;  // nullptr: as the box starts
        const char* path;
        QStringList rows;
        int current;
    } cases[] = {
        {nullptr, "C:\\WINDOWS", {"C:\\", "WINDOWS", "Desktop", "SYSTEM"}, 1},
        {"c:\\", "C:\\", {"C:\\", "apps", "beta", "WINDOWS", "Zeta"}, 0},
        // Spelled as on disk; below the root, no trailing backslash.
        {"c:\\windows\\system\\", "C:\\WINDOWS\\SYSTEM", {"C:\\", "WINDOWS", "SYSTEM"}, 2},
    };
    for (const Case& c : cases) {
        DirListBox box;
        if (c.set) {
            ASSERT_TRUE(box.setPath(c.set)) << c.set;
        }
        EXPECT_EQ(box.Path(), c.path);
        EXPECT_EQ(rowTexts(box), c.rows) << c.path;
        EXPECT_EQ(box.currentRow(), c.current) << c.path;
        EXPECT_EQ(box.subfolders(), c.rows.mid(c.current + 1)) << c.path;
    }
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
