// Applying: what Apply, OK, Cancel and the title-bar close write, and in
// which order, seen through a journal of the hive's changes.
#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>

#include "controls/end.h"
#include "window_support.h"

namespace {

using namespace window_testing;
using catalogue::Row;
using Entry = Journal::Entry;

class WindowApply : public ::testing::Test, public WindowTest {
  protected:
    Entry set(const Row& row) { return Journal::entry(machine, "set", row); }
    Entry del(const Row& row) { return Journal::entry(machine, "delete", row); }
    // What the journal saw of the two shortcut values.
    static std::vector<Entry> shortcutChanges(const Journal& journal) {
        std::vector<Entry> out;
        for (const Entry& e : journal.entries())
            if (e.name == "isshortcut") out.push_back(e);
        return out;
    }
    std::vector<Entry> tipWrites() {
        std::vector<Entry> out;
        for (const Row& row : catalogue::kInfoTips) out.push_back(set(row));
        return out;
    }
    std::string text(const Row& row) {
        auto v = stored(machine, row);
        return v ? v->data : "<missing>";
    }
    // A value's 32-bit number, or -1 when it is missing or no double word.
    long long number(const Row& row) {
        auto v = stored(machine, row);
        if (!v || v->type != REG_DWORD || v->data.size() != 4) return -1;
        std::uint32_t n = 0;
        for (int i = 0; i < 4; ++i)
            n |= static_cast<std::uint32_t>(static_cast<unsigned char>(v->data[i])) << (8 * i);
        return n;
    }
};

TEST_F(WindowApply, ApplyRightAfterOpeningRewritesTipsAndSwitchOnly) {
    storeText(machine, catalogue::InfoTip1, "first");
    storeDword(machine, catalogue::ShowInfoTip, 1);
    storeText(machine, catalogue::IsShortcutLnk, "");
    storeDword(machine, catalogue::NoFavoritesMenu, 1);
    Form1& f = load();
    Journal journal(machine.hivePath());
    f.Command1->click();

    std::vector<Entry> expected = tipWrites();
    expected.push_back(set(catalogue::ShowInfoTip));
    EXPECT_EQ(journal.entries(), expected);  // no BackBitmap to delete
    EXPECT_EQ(text(catalogue::InfoTip1), "first");
    // A tip that was missing is written as an empty string.
    ASSERT_TRUE(stored(machine, catalogue::InfoTip2));
    EXPECT_EQ(stored(machine, catalogue::InfoTip2)->type, REG_SZ);
    EXPECT_EQ(text(catalogue::InfoTip2), "");
    EXPECT_EQ(number(catalogue::ShowInfoTip), 1);
    // The three indeterminate settings are as they were.
    EXPECT_TRUE(stored(machine, catalogue::IsShortcutLnk));
    EXPECT_FALSE(stored(machine, catalogue::IsShortcutPif));
    EXPECT_EQ(number(catalogue::NoFavoritesMenu), 1);
    EXPECT_FALSE(stored(machine, catalogue::NoRecentDocsHistory));
    EXPECT_EQ(seams->ends, 0);
    EXPECT_TRUE(f.isEnabled());
}

TEST_F(WindowApply, EveryStepInItsOrder) {
    storeText(machine, catalogue::IsShortcutLnk, "");
    storeText(machine, catalogue::IsShortcutPif, "");
    storeText(machine, catalogue::BackBitmap, "C:\\old.bmp");
    Form1& f = load();  // the missing bitmap is reported; the box is checked
    f.Check1->setValue(0);
    f.Check3->setValue(0);
    f.Check4->setValue(1);
    f.Check5->setValue(0);
    f.Check6->setValue(0);
    Journal journal(machine.hivePath());
    f.Command1->click();
    std::vector<Entry> expected = tipWrites();
    for (const Entry& e : {set(catalogue::ShowInfoTip), del(catalogue::IsShortcutPif),
                           del(catalogue::IsShortcutLnk), set(catalogue::NoFavoritesMenu),
                           set(catalogue::NoRecentDocsHistory), del(catalogue::BackBitmap)}) {
        expected.push_back(e);
    }
    EXPECT_EQ(journal.entries(), expected);
    EXPECT_EQ(number(catalogue::ShowInfoTip), 0);
    EXPECT_EQ(number(catalogue::NoFavoritesMenu), 1);
    EXPECT_EQ(number(catalogue::NoRecentDocsHistory), 0);
}

TEST_F(WindowApply, ShortcutArrowWrittenLnkThenPifAndDeletedPifThenLnk) {
    Form1& f = load();
    f.Check3->setValue(1);
    Journal journal(machine.hivePath());
    f.Command1->click();
    EXPECT_EQ(shortcutChanges(journal),
              (std::vector<Entry>{set(catalogue::IsShortcutLnk), set(catalogue::IsShortcutPif)}));
    EXPECT_EQ(text(catalogue::IsShortcutLnk), "");
    EXPECT_EQ(text(catalogue::IsShortcutPif), "");
    f.Check3->setValue(0);
    Journal again(machine.hivePath());  // starts a fresh journal
    f.Command1->click();
    EXPECT_EQ(shortcutChanges(again),
              (std::vector<Entry>{del(catalogue::IsShortcutPif), del(catalogue::IsShortcutLnk)}));
    EXPECT_FALSE(stored(machine, catalogue::IsShortcutLnk));
    EXPECT_FALSE(stored(machine, catalogue::IsShortcutPif));
}

TEST_F(WindowApply, StartMenuSwitchesStoredAsNumbers) {
    Form1& f = load();
    f.Check4->setValue(1);
    f.Check5->setValue(1);  // written from the text "01"
    f.Command1->click();
    EXPECT_EQ(number(catalogue::NoFavoritesMenu), 1);
    EXPECT_EQ(number(catalogue::NoRecentDocsHistory), 1);
    f.Check4->setValue(0);
    f.Check5->setValue(0);  // "00"
    f.Command1->click();
    EXPECT_EQ(number(catalogue::NoFavoritesMenu), 0);
    EXPECT_EQ(number(catalogue::NoRecentDocsHistory), 0);
}

TEST_F(WindowApply, BackBitmapDeletedKeptOrWrittenByTheRules) {
    storeText(machine, catalogue::BackBitmap, "C:\\old.bmp");
    Form1& f = load();
    ASSERT_EQ(f.Check6->Value(), 1);

    // Checked, no new bitmap: left alone.
    f.Command1->click();
    EXPECT_EQ(text(catalogue::BackBitmap), "C:\\old.bmp");

    // A new bitmap chosen (mark case-sensitive) and checked: written.
    f.CommonDialog1.setFileName("C:\\WINDOWS\\new.bmp");
    f.Image6->setTag("Dirty");
    f.Command1->click();
    EXPECT_EQ(text(catalogue::BackBitmap), "C:\\old.bmp");
    f.Image6->setTag("dirty");
    f.Command1->click();
    EXPECT_EQ(text(catalogue::BackBitmap), "C:\\WINDOWS\\new.bmp");

    // Unchecked: deleted, chosen or not.
    f.Check6->setValue(0);
    f.Command1->click();
    EXPECT_FALSE(stored(machine, catalogue::BackBitmap));

    // Checked again: the mark stays, so the last choice is written again.
    f.Check6->setValue(1);
    f.Command1->click();
    EXPECT_EQ(text(catalogue::BackBitmap), "C:\\WINDOWS\\new.bmp");
}

TEST_F(WindowApply, TipsWrittenAsTheBoxesHoldThemAndFailuresDoNotStopTheRest) {
    Form1& f = load();
    f.Text1->setText("  spaced  ");
    f.Text3->setText("");
    f.Text6->setText("last");
    machine.admin().deleteKey(keyOf(machine, catalogue::InfoTip2));
    f.Command1->click();
    EXPECT_EQ(text(catalogue::InfoTip1), "  spaced  ");
    EXPECT_EQ(text(catalogue::InfoTip3), "");  // empty, not deleted
    EXPECT_EQ(text(catalogue::InfoTip6), "last");
    EXPECT_EQ(number(catalogue::ShowInfoTip), 0);
    // The tip whose key is gone was not changed: nothing to tell. Changed,
    // it is named as not saved, and why, at every Apply until it is.
    EXPECT_TRUE(seams->messages.empty());
    f.Text2->setText("lost");
    for (int apply = 0; apply < 2; ++apply) {
        f.Command1->click();
        ASSERT_EQ(seams->messages.size(), 1u) << apply;
        const QString told = seams->messages[0].prompt;
        EXPECT_TRUE(
            told.startsWith("These settings were not saved:\n\nNetwork Neighborhood info "
                            "tip\n\nThe key of Network Neighborhood info tip"))
            << told.toStdString();
        EXPECT_TRUE(told.contains("does not exist")) << told.toStdString();
        seams->messages.clear();
    }
}

TEST_F(WindowApply, LogonValuesAreNeverWritten) {
    storeText(machine, catalogue::DefaultUserName, "alice");
    Form1& f = load();
    f.Text7->setText("mallory");
    f.Text8->setText("hunter2");
    f.Check2->setValue(1);
    f.Command9->click();
    EXPECT_EQ(text(catalogue::DefaultUserName), "alice");
    EXPECT_FALSE(stored(machine, catalogue::DefaultPassword));
    EXPECT_FALSE(stored(machine, catalogue::AutoAdminLogon));
}

TEST_F(WindowApply, OkWritesThenEndsCancelAndCloseWriteNothing) {
    Form1& f = load();
    f.Text1->setText("applied");
    f.Command1->click();
    f.Text1->setText("cancelled");
    Journal journal(machine.hivePath());
    f.Command8->click();
    EXPECT_EQ(seams->ends, 1);
    f.close();
    EXPECT_TRUE(journal.entries().empty());
    EXPECT_EQ(text(catalogue::InfoTip1), "applied");

    // OK writes everything before the program ends.
    program::setEndHandler([&] {
        ++seams->ends;
        EXPECT_EQ(text(catalogue::InfoTip1), "ok");
    });
    f.Text1->setText("ok");
    f.Command9->click();
    EXPECT_EQ(seams->ends, 2);
}

TEST_F(WindowApply, AccessKeyAltAApplies) {
    Form1& f = load();
    f.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&f));
    f.Text2->setText("by keyboard");
    QSignalSpy clicked(f.Command1, &CommandButton::Click);
    QTest::keyClick(f.windowHandle(), Qt::Key_A, Qt::AltModifier);
    // The button shows itself pressed for a moment before it acts.
    ASSERT_TRUE(clicked.count() == 1 || clicked.wait());
    EXPECT_EQ(text(catalogue::InfoTip2), "by keyboard");
}

}  // namespace
