// The Wine prefix chooser over a home with prefixes of three sources: its
// rows, the keyboard (arrows, type-ahead, Enter, Escape), another folder
// that is no prefix, the home without prefixes, and the main window's title
// on the prefix picked.
#include <gtest/gtest.h>

#include <QTest>

#include "chooser/PrefixChooser.h"
#include "controls/commondialog.h"
#include "machine/machine.h"
#include "window_support.h"

namespace {

namespace fs = std::filesystem;
using testing_support::ScopedEnv;
using testing_support::writeFile;
using window_testing::Seams;

void makePrefix(const fs::path& dir) {
    writeFile(dir / "system.reg", "WINE REGISTRY Version 2\n");
    writeFile(dir / "user.reg", "WINE REGISTRY Version 2\n");
}

class Chooser : public ::testing::Test {
  protected:
    Chooser()
        : home_(fs::canonical(testing_support::makeTempDir("knobwise-chooser-"))),
          homeVar_("HOME", home_.string()),
          noPrefix_("WINEPREFIX", ""),
          data_(home_ / "data") {
        window_testing::ensureApp();
    }
    ~Chooser() override {
        CommonDialog::setChooser({});
        machine::select(machine::Machine::embedded());
        fs::remove_all(home_);
    }

    // ~/.wine, a Steam game and two PlayOnLinux prefixes.
    void fillHome() {
        makePrefix(home_ / ".wine");
        const fs::path steamapps = home_ / ".local/share/Steam/steamapps";
        makePrefix(steamapps / "compatdata/570/pfx");
        writeFile(steamapps / "appmanifest_570.acf",
                  "\"AppState\"\n{\n\t\"appid\"\t\t\"570\"\n\t\"name\"\t\t\"Dota 2\"\n}\n");
        makePrefix(home_ / ".PlayOnLinux/wineprefix/Office 97");
        makePrefix(home_ / ".PlayOnLinux/wineprefix/Notepad Plus");
    }

    // A chooser over what the home holds, shown.
    std::unique_ptr<PrefixChooser> show() {
        auto chooser = std::make_unique<PrefixChooser>(
            prefixes::find(),
            [this](const wineprefix::Identity& prefix) { asked.push_back(prefix); });
        chooser->Show();
        return chooser;
    }

    // "Other folder..." picks `folder`.
    void otherFolderIs(const fs::path& folder) {
        CommonDialog::setChooser([folder](const QString& description, const QString&) {
            EXPECT_EQ(description, "Folder");
            return std::optional<QString>(QString::fromStdString(folder.string()));
        });
    }

    static QString current(const PrefixChooser& c) {
        return c.prefixList->currentItem() ? c.prefixList->currentItem()->text(0) : QString();
    }

    fs::path home_;
    ScopedEnv homeVar_, noPrefix_;
    testing_support::XdgDataHome data_;
    Seams seams_;
    std::vector<wineprefix::Identity> asked;
};

TEST_F(Chooser, RowsKeyboardAndARefusedPick) {
    fillHome();
    auto c = show();
    ASSERT_EQ(c->prefixList->topLevelItemCount(), 4);
    const QTreeWidgetItem* steam = c->prefixList->topLevelItem(1);
    EXPECT_EQ(
        QStringList({steam->text(0), steam->text(1), steam->text(2), steam->text(3)}),
        QStringList({"Dota 2", "Steam",
                     QString::fromStdString(
                         (home_ / ".local/share/Steam/steamapps/compatdata/570/pfx").string()),
                     "Not running"}));
    EXPECT_EQ(current(*c), ".wine");
    EXPECT_EQ(c->windowTitle(), "Knobwise");
    EXPECT_FALSE(c->prefixList->accessibleName().isEmpty());

    QTest::keyClick(c->prefixList, Qt::Key_Down);
    EXPECT_EQ(current(*c), "Dota 2");
    QTest::keyClicks(c->prefixList, "no");
    EXPECT_EQ(current(*c), "Notepad Plus");

    // Another folder that is no prefix: said in a box, nothing opened, and
    // the chooser stays for another pick.
    fs::create_directories(home_ / "plain");
    otherFolderIs(home_ / "plain");
    c->otherFolderButton->click();
    ASSERT_EQ(seams_.messages.size(), 1u);
    EXPECT_EQ(seams_.messages[0].prompt.toStdString(),
              (home_ / "plain").string() + " is not a Wine prefix: it has no system.reg.");
    EXPECT_EQ(seams_.messages[0].title, "Knobwise");
    EXPECT_TRUE(c->isVisible());
    EXPECT_FALSE(c->opened());
    EXPECT_TRUE(asked.empty());

    QTest::keyClick(c->prefixList, Qt::Key_Down);
    QTest::keyClick(c->prefixList, Qt::Key_Enter);
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].name, "Office 97");
    ASSERT_TRUE(c->opened());
    EXPECT_EQ(c->opened()->name, "Office 97");
    EXPECT_EQ(c->opened()->folder, home_ / ".PlayOnLinux/wineprefix/Office 97");
    EXPECT_FALSE(c->isVisible());

    // Escape opens nothing.
    asked.clear();
    auto again = show();
    QTest::keyClick(again->prefixList, Qt::Key_Escape);
    EXPECT_FALSE(again->isVisible());
    EXPECT_FALSE(again->opened());
    EXPECT_TRUE(asked.empty());
}

TEST_F(Chooser, NothingFoundOffersAnotherFolder) {
    auto c = show();
    EXPECT_EQ(c->prefixList->topLevelItemCount(), 0);
    EXPECT_TRUE(c->promptLabel->Caption().startsWith("No Wine prefix was found"));
    EXPECT_FALSE(c->okButton->isEnabled());

    const fs::path folder = home_ / "games/My Prefix/";
    makePrefix(folder);
    otherFolderIs(folder);
    ASSERT_EQ(c->focusWidget(), c->otherFolderButton);
    QTest::keyClick(c->otherFolderButton, Qt::Key_Return);
    ASSERT_TRUE(c->opened());
    EXPECT_EQ(c->opened()->folder, home_ / "games/My Prefix");
    EXPECT_EQ(c->opened()->name, "My Prefix");
}

// The main window names the prefix picked; the embedded machine's does not.
TEST_F(Chooser, TheMainWindowsTitleNamesThePrefix) {
    fillHome();
    const auto steam = home_ / ".local/share/Steam/steamapps/compatdata/570/pfx";
    machine::choose(wineprefix::Identity{steam, "Dota 2"});
    EXPECT_EQ(Form1().windowTitle(), "Knobwise - Dota 2");
    ASSERT_TRUE(machine::choose(steam).usable);
    EXPECT_EQ(Form1().windowTitle(), "Knobwise - pfx");
    EXPECT_FALSE(machine::choose(home_ / "nowhere").usable);
    EXPECT_EQ(machine::current().prefix(), steam);
    machine::select(machine::Machine::embedded());
    EXPECT_EQ(Form1().windowTitle(), "Knobwise");
}

}  // namespace
