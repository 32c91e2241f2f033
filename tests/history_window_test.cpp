// The History window over a machine with changes made as knobreg makes them:
// its rows, the newest first and selected; Alt+U takes back the selected
// change, found by its id after a change made behind the window's back; the
// arrow keys pick an older one, whose refusal is shown in a box; and a
// machine without changes, closed with Escape.
#include <gtest/gtest.h>

#include <QDateTime>
#include <QSignalSpy>
#include <QTest>

#include "history/HistoryWindow.h"
#include "window_support.h"
#include "winreg/history.h"

namespace {

using regstore::Root;

class HistoryWindowTest : public ::testing::Test {
  protected:
    HistoryWindowTest() : machine_(testing_support::TempMachine::NoKeys) {
        window_testing::ensureApp();
        machine_.createKey("HKCU\\Software");
        regstore::current()->keepHistory();
    }

    // knobreg add "HKCU\Software\Knobwise Test" /v NAME /d DATA /f
    static void add(const std::string& name, const std::string& data) {
        const history::Origin origin("knobreg add " + name + " " + data);
        regstore::Store& store = *regstore::current();
        store.begin();
        store.setValue(store.createKey(Root::CurrentUser, "Software\\Knobwise Test"), name, REG_SZ,
                       data);
        store.commit();
    }

    std::string tip() { return machine_.value("HKCU\\Software\\Knobwise Test", "Tip")->data; }

    static QStringList texts(const HistoryWindow& w, int row) {
        const QTreeWidgetItem* item = w.changeList->topLevelItem(row);
        return {item->text(0), item->text(1), item->text(2)};
    }

    // Presses Undo with its access key; the button shows itself pressed
    // for a moment before it acts.
    static void altU(HistoryWindow& w) {
        QSignalSpy clicked(w.undoButton, &CommandButton::Click);
        QTest::keyClick(w.windowHandle(), Qt::Key_U, Qt::AltModifier);
        ASSERT_TRUE(clicked.count() == 1 || clicked.wait());
    }

    testing_support::TempMachine machine_;
    window_testing::Seams seams_;
};

TEST_F(HistoryWindowTest, RowsUndoAndARefusal) {
    add("Tip", "before");
    add("Tip", "after");
    HistoryWindow w;
    w.Show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    EXPECT_EQ(w.windowTitle(), "Knobwise History");
    EXPECT_EQ(w.changeList->accessibleName(), "Changes");
    ASSERT_EQ(w.changeList->topLevelItemCount(), 2);
    const QString key = "HKEY_CURRENT_USER\\Software\\Knobwise Test";
    EXPECT_EQ(texts(w, 0).mid(1), QStringList({"knobreg add Tip after", key + " (Tip)"}));
    EXPECT_EQ(texts(w, 1).mid(1),
              QStringList({"knobreg add Tip before", key + ", " + key + " (Tip)"}));
    const QDateTime when = QDateTime::fromString(texts(w, 0)[0], "yyyy-MM-dd HH:mm:ss");
    EXPECT_LT(std::abs(when.secsTo(QDateTime::currentDateTime())), 60)
        << texts(w, 0)[0].toStdString();
    EXPECT_EQ(w.changeList->currentItem(), w.changeList->topLevelItem(0));
    EXPECT_TRUE(w.changeList->currentItem()->isSelected());

    // A change the window has not read yet: Undo takes back the row
    // selected all the same.
    add("Other", "x");
    altU(w);
    EXPECT_EQ(tip(), "before");
    EXPECT_EQ(machine_.value("HKCU\\Software\\Knobwise Test", "Other")->data, "x");
    ASSERT_EQ(w.changeList->topLevelItemCount(), 4);
    EXPECT_EQ(texts(w, 0)[1], "the History window");
    EXPECT_EQ(w.changeList->currentItem(), w.changeList->topLevelItem(0));
    EXPECT_TRUE(seams_.messages.empty());

    // The first change made the key, which now holds a value it did not.
    for (int i = 0; i < 3; ++i) QTest::keyClick(w.changeList, Qt::Key_Down);
    EXPECT_EQ(w.changeList->currentItem(), w.changeList->topLevelItem(3));
    EXPECT_EQ(w.detailLabel->Caption(),
              texts(w, 3)[0] + ", knobreg add Tip before:\n" + key + ", " + key + " (Tip)");
    altU(w);
    ASSERT_EQ(seams_.messages.size(), 1u);
    EXPECT_EQ(seams_.messages[0].prompt,
              key +
                  " (Other) has been changed since change 4 was made, so Undo leaves change 4 "
                  "as it is.\n\nIt can only be taken back all the same, over the later change, "
                  "with the command\n\nknobreg undo 4 /f");
    EXPECT_EQ(tip(), "before");
    EXPECT_EQ(w.changeList->topLevelItemCount(), 4);
}

TEST_F(HistoryWindowTest, NoChangeKept) {
    HistoryWindow w;
    w.Show();
    EXPECT_EQ(w.changeList->topLevelItemCount(), 0);
    EXPECT_EQ(w.promptLabel->Caption(), "No change to your Knobwise machine has been kept.");
    EXPECT_FALSE(w.undoButton->isEnabled());
    QTest::keyClick(&w, Qt::Key_Escape);
    EXPECT_FALSE(w.isVisible());
}

}  // namespace
