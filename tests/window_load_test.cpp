// Loading Form1 against hives prepared through the hive's own interface.
#include <gtest/gtest.h>

#include <QImage>
#include <filesystem>

#include "machine/machine.h"
#include "window_support.h"

namespace {

namespace fs = std::filesystem;
using namespace window_testing;

class WindowLoad : public ::testing::Test, public WindowTest {};

TEST_F(WindowLoad, AutomaticLogonTable) {
    struct Case {
        const char* what;
        std::optional<std::string> autoLogon;  // REG_SZ bytes as stored
        std::optional<std::string> user;
        std::optional<std::string> password;
        int check2;
    } cases[] = {
        {"\"1\" as Windows stores it", std::string("1\0", 2), "alice", "secret", 1},
        {"\"0\" whatever the names hold", "0", "alice", "secret", 0},
        {"\"01\" is not \"1\"", "01", "alice", std::nullopt, 0},
        {"\" 1\" is not \"1\"", " 1", std::nullopt, std::nullopt, 0},
        {"missing, user name set", std::nullopt, "alice", std::nullopt, 1},
        {"empty string, password set", "", std::nullopt, "secret", 1},
        {"missing, names empty", std::nullopt, "", "", 0},
        {"all missing", std::nullopt, std::nullopt, std::nullopt, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (const catalogue::Row& row :
             {catalogue::AutoAdminLogon, catalogue::DefaultUserName, catalogue::DefaultPassword}) {
            machine.admin().deleteValue(keyOf(machine, row), row.valueName);
        }
        if (c.autoLogon) storeText(machine, catalogue::AutoAdminLogon, *c.autoLogon);
        if (c.user) storeText(machine, catalogue::DefaultUserName, *c.user);
        if (c.password) storeText(machine, catalogue::DefaultPassword, *c.password);
        Form1& f = load();
        EXPECT_EQ(f.Check2->Value(), c.check2);
        EXPECT_EQ(f.Text7->Text().toStdString(), c.user.value_or(""));
        EXPECT_EQ(f.Text8->Text().toStdString(), c.password.value_or(""));
    }
}

TEST_F(WindowLoad, AutomaticLogonAsIntegerOneChecks) {
    storeDword(machine, catalogue::AutoAdminLogon, 1);
    EXPECT_EQ(load().Check2->Value(), 1);
}

TEST_F(WindowLoad, InfoTipsAndTheirHoverTexts) {
    storeText(machine, catalogue::InfoTip1, "Shows your drives");
    // Row 2 missing; row 4 a number; row 5 under its own spelling "Infotip".
    storeDword(machine, catalogue::InfoTip4, 7);
    storeText(machine, catalogue::InfoTip5, std::string("Your papers\0", 12));
    storeText(machine, catalogue::InfoTip6, "Deleted files");
    Form1& f = load();
    const std::pair<TextBox*, PictureBox*> rows[] = {{f.Text1, f.Picture1}, {f.Text2, f.Picture2},
                                                     {f.Text3, f.Picture3}, {f.Text4, f.Picture4},
                                                     {f.Text5, f.Picture5}, {f.Text6, f.Picture6}};
    const char* const expected[] = {"Shows your drives", "", "", "7", "Your papers",
                                    "Deleted files"};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(rows[i].first->Text(), expected[i]) << "row " << i + 1;
        EXPECT_EQ(rows[i].second->ToolTipText(), expected[i]) << "row " << i + 1;
    }
}

TEST_F(WindowLoad, ShowInfoTipChecksOnlyWhenItIsTheNumberOne) {
    struct Case {
        DWORD type;
        std::string data;
        int check1;
    } cases[] = {
        {REG_DWORD, std::string("\1\0\0\0", 4), 1},
        {REG_DWORD, std::string("\0\0\0\0", 4), 0},
        {REG_DWORD, std::string("\2\0\0\0", 4), 0},
        {REG_SZ, "1", 1},
        {REG_SZ, " 1 ", 1},
        {REG_SZ, "1.0", 1},
        {REG_SZ, "1.5", 0},
        {REG_SZ, "yes", 0},  // no number: not 1, and loading goes on
        {REG_SZ, "", 0},
        {REG_BINARY, std::string("\1\0\0\0", 4), 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.data);
        store(machine, catalogue::ShowInfoTip, c.type, c.data);
        storeText(machine, catalogue::InfoTip1, "still loaded");
        Form1& f = load();
        EXPECT_EQ(f.Check1->Value(), c.check1);
        EXPECT_EQ(f.Text1->Text(), "still loaded");
    }
    machine.admin().deleteValue(keyOf(machine, catalogue::ShowInfoTip), "ShowInfoTip");
    EXPECT_EQ(load().Check1->Value(), 0);
}

TEST_F(WindowLoad, OpensOnInfoTipsWithTheThreeStartMenuBoxesIndeterminate) {
    form = std::make_unique<Form1>();
    EXPECT_EQ(form->SSTab1->Tab(), 5);  // "About" until it loads
    storeText(machine, catalogue::IsShortcutLnk, "");
    storeText(machine, catalogue::IsShortcutPif, "");
    storeDword(machine, catalogue::NoFavoritesMenu, 1);
    storeDword(machine, catalogue::NoRecentDocsHistory, 0);
    form->Load();
    EXPECT_EQ(form->SSTab1->Tab(), 0);
    EXPECT_EQ(form->Check3->Value(), 2);
    EXPECT_EQ(form->Check4->Value(), 2);
    EXPECT_EQ(form->Check5->Value(), 2);
}

TEST_F(WindowLoad, StartupListShowsTheFolderOrNothing) {
    fs::path startup = machine::driveC() / "WINDOWS" / "Start Menu" / "Programs" / "StartUp";
    fs::create_directories(startup / "subfolder");
    for (const char* name : {"clock.lnk", "Agent.pif", "README"})
        testing_support::writeFile(startup / name, "x");

    storeText(machine, catalogue::Startup, "c:\\windows\\START MENU\\programs\\startup");
    EXPECT_EQ(load().ExplorerList1->files(), QStringList({"Agent.pif", "clock.lnk", "README"}));

    storeText(machine, catalogue::Startup, "C:\\WINDOWS\\No Such Folder");
    EXPECT_EQ(load().ExplorerList1->count(), 0);
    machine.admin().deleteValue(keyOf(machine, catalogue::Startup), "Startup");
    EXPECT_EQ(load().ExplorerList1->count(), 0);
    EXPECT_TRUE(seams->messages.empty());
}

class BackBitmapLoad : public WindowLoad {
  protected:
    fs::path windows() {
        fs::create_directories(machine::driveC() / "WINDOWS");
        return machine::driveC() / "WINDOWS";
    }
};

TEST_F(BackBitmapLoad, MissingOrEmptyLeavesImageAndBoxAsLaidOut) {
    EXPECT_EQ(load().Check6->Value(), 0);
    EXPECT_TRUE(form->Image6->Picture().isNull());
    storeText(machine, catalogue::BackBitmap, "");
    EXPECT_EQ(load().Check6->Value(), 0);
    EXPECT_TRUE(form->Image6->Picture().isNull());
    EXPECT_TRUE(seams->messages.empty());
}

TEST_F(BackBitmapLoad, ReadableBitmapIsShownAndChecksTheBox) {
    QImage bitmap(40, 30, QImage::Format_RGB32);
    bitmap.fill(Qt::darkCyan);
    ASSERT_TRUE(bitmap.save(QString::fromStdString((windows() / "Clouds.bmp").string()), "BMP"));
    storeText(machine, catalogue::BackBitmap, "c:\\windows\\clouds.bmp");
    Form1& f = load();
    EXPECT_EQ(f.Check6->Value(), 1);
    EXPECT_EQ(f.Image6->Picture().size(), QSize(40, 30));
    EXPECT_EQ(f.Image6->Tag(), "");
    EXPECT_TRUE(seams->messages.empty());
}

TEST_F(BackBitmapLoad, BrokenOrMissingFileIsReportedOnceAndStillChecksTheBox) {
    testing_support::writeFile(windows() / "broken.bmp", "BM this is no bitmap");
    for (const char* path : {"C:\\WINDOWS\\broken.bmp", "C:\\WINDOWS\\gone.bmp"}) {
        SCOPED_TRACE(path);
        seams->messages.clear();
        storeText(machine, catalogue::BackBitmap, path);
        Form1& f = load();
        EXPECT_EQ(f.Check6->Value(), 1);
        EXPECT_TRUE(f.Image6->Picture().isNull());
        ASSERT_EQ(seams->messages.size(), 1u);
        EXPECT_TRUE(seams->messages[0].prompt.contains(QString::fromLatin1(path)));
        EXPECT_EQ(seams->messages[0].title, "Knobwise");
    }
}

TEST_F(WindowLoad, LoadingWritesNothing) {
    storeText(machine, catalogue::InfoTip1, "tip");
    storeText(machine, catalogue::AutoAdminLogon, "1");
    storeText(machine, catalogue::BackBitmap, "C:\\missing.bmp");
    Journal journal(machine.hivePath());
    load();
    EXPECT_TRUE(journal.entries().empty());
}

}  // namespace
