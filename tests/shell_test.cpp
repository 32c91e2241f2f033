// Opening documents through the shell: which result each case gives, and
// what reaches the desktop's opener.
#include <gtest/gtest.h>

#include <QUrl>
#include <vector>

#include "machine/machine.h"
#include "shell.h"
#include "support/temp_machine.h"

namespace {

namespace fs = std::filesystem;
using testing_support::TempMachine;

class ShellTest : public ::testing::Test {
  protected:
    ShellTest() {
        c_ = machine::driveC();
        testing_support::writeFile(c_ / "Program Files" / "Knobwise" / "help.htm", "<html></html>");
        shell::setOpener([this](const QUrl& url) {
            opened_.push_back(url);
            return openerSucceeds_;
        });
    }
    ~ShellTest() override { shell::setOpener({}); }

    int open(const char* file, const char* operation = "Open", const char* directory = "C:\\") {
        return shell::resultCode(
            ShellExecuteA(GetDesktopWindow(), operation, file, "", directory, 1));
    }
    QUrl fileUrl(const fs::path& host) {
        return QUrl::fromLocalFile(QString::fromStdString(host.string()));
    }

    TempMachine machine_{TempMachine::NoKeys};
    fs::path c_;
    std::vector<QUrl> opened_;
    bool openerSucceeds_ = true;
};

TEST_F(ShellTest, AnExistingFileIsHandedToTheOpenerOnceAsAFileUrl) {
    int result = open("c:\\PROGRAM FILES\\knobwise\\HELP.HTM");
    EXPECT_GT(result, 32);
    ASSERT_EQ(opened_.size(), 1u);
    EXPECT_EQ(opened_[0], fileUrl(c_ / "Program Files" / "Knobwise" / "help.htm"));
}

TEST_F(ShellTest, ADoubledSeparatorStillFindsTheFile) {
    // A program in a drive's root builds "C:\" + "\help.htm".
    testing_support::writeFile(c_ / "help.htm", "x");
    EXPECT_GT(open("C:\\\\help.htm"), 32);
    ASSERT_EQ(opened_.size(), 1u);
    EXPECT_EQ(opened_[0], fileUrl(c_ / "help.htm"));
}

TEST_F(ShellTest, MissingFilesFoldersAndDrivesGiveTheirCodes) {
    EXPECT_EQ(open("C:\\Program Files\\Knobwise\\missing.htm"), 2);
    EXPECT_EQ(open("C:\\No Such Folder\\help.htm"), 3);
    // A file standing where a folder should be is no folder either.
    EXPECT_EQ(open("C:\\Program Files\\Knobwise\\help.htm\\inner.htm"), 3);
    EXPECT_EQ(open("D:\\help.htm"), 3);
    EXPECT_EQ(open("\\\\server\\share\\help.htm"), 3);
    EXPECT_EQ(open(""), 2);
    EXPECT_EQ(shell::resultCode(ShellExecuteA(nullptr, "Open", nullptr, nullptr, nullptr, 1)), 2);
    EXPECT_TRUE(opened_.empty());
}

TEST_F(ShellTest, AFailingOrMissingOpenerMeansNoAssociation) {
    openerSucceeds_ = false;
    EXPECT_EQ(open("C:\\Program Files\\Knobwise\\help.htm"), 31);
    EXPECT_EQ(open("http://www.example.com/"), 31);
    EXPECT_EQ(opened_.size(), 2u);
    // The desktop's own opener has no desktop to talk to in this test.
    shell::setOpener({});
    EXPECT_EQ(open("C:\\Program Files\\Knobwise\\help.htm"), 31);
}

TEST_F(ShellTest, WebAddressesGoToTheOpenerUnchanged) {
    std::vector<QUrl> expected;
    for (const char* address : {"http://www.example.com/knobwise/", "https://example.org/a?b=c#d",
                                "mailto:someone@example.com", "HTTP://WWW.EXAMPLE.COM/"}) {
        EXPECT_GT(open(address), 32) << address;
        expected.emplace_back(address);
    }
    EXPECT_EQ(opened_, expected);
    // A scheme nothing here knows has no association.
    EXPECT_EQ(open("gopher://example.com/"), 31);
    EXPECT_EQ(opened_.size(), 4u);
}

TEST_F(ShellTest, OnlyTheOpenOperationIsKnown) {
    const char* file = "C:\\Program Files\\Knobwise\\help.htm";
    EXPECT_GT(open(file, "open"), 32);
    EXPECT_GT(open(file, "OPEN"), 32);
    EXPECT_GT(open(file, nullptr), 32);
    EXPECT_EQ(open(file, "print"), 31);
    EXPECT_EQ(open(file, "openx"), 31);
    EXPECT_EQ(opened_.size(), 3u);
}

TEST_F(ShellTest, RelativeNamesAreLookedForInTheGivenDirectory) {
    EXPECT_GT(open("help.htm", "Open", "C:\\Program Files\\Knobwise"), 32);
    EXPECT_EQ(open("help.htm", "Open", "C:\\"), 2);
    EXPECT_EQ(open("help.htm", "Open", "D:\\"), 3);
    ASSERT_EQ(opened_.size(), 1u);
    EXPECT_EQ(opened_[0], fileUrl(c_ / "Program Files" / "Knobwise" / "help.htm"));
}

TEST_F(ShellTest, NamesAreCodePage1252) {
    testing_support::writeFile(c_ / "caf\u00e9.htm", "x");
    EXPECT_GT(open("C:\\CAF\xc9.htm"), 32);  // "CAFÉ.htm" in code page 1252
    ASSERT_EQ(opened_.size(), 1u);
    EXPECT_EQ(opened_[0], fileUrl(c_ / "caf\u00e9.htm"));
}

}  // namespace
