// Help, the link labels and their hover states: the message for every shell
// result, what reaches the desktop's opener through the real shell layer,
// and how the labels look as the pointer crosses each surface.
#include <gtest/gtest.h>

#include <QTest>
#include <QUrl>
#include <climits>
#include <filesystem>
#include <map>

#include "controls/colors.h"
#include "machine/app_object.h"
#include "machine/drives.h"
#include "shell.h"
#include "window/shell_messages.h"
#include "window_support.h"

namespace {

namespace fs = std::filesystem;
using namespace window_testing;

TEST(ShellMessages, EveryResultHasItsMessage) {
    const std::map<int, QString> table = {
        {2, "File not found"},
        {3, "Path not found"},
        {5, "Access denied"},
        {8, "Out of memory"},
        {11, "Invalid EXE file or error in EXE image"},
        {26, "A sharing violation occurred"},
        {27, "Incomplete or invalid file association"},
        {28, "DDE Time out"},
        {29, "DDE transaction failed"},
        {30, "DDE busy"},
        {31, "No association for file extension"},
        {32, "DLL not found"},
    };
    for (int result = -40; result <= 32; ++result) {
        auto row = table.find(result);
        const QString expected = row != table.end() ? row->second : QStringLiteral("Unknown error");
        EXPECT_EQ(shellmessages::forResult(result), expected) << result;
    }
    EXPECT_EQ(shellmessages::forResult(INT_MIN), "Unknown error");
    for (int result : {33, 42, 1000, INT_MAX}) {
        EXPECT_TRUE(shellmessages::forResult(result).isEmpty()) << result;
    }
}

class WindowLinks : public ::testing::Test, public WindowTest {
  protected:
    WindowLinks() {
        shell::setOpener([this](const QUrl& url) {
            opened_.push_back(url);
            return openerSucceeds_;
        });
    }
    ~WindowLinks() override { shell::setOpener({}); }

    std::vector<QUrl> opened_;
    bool openerSucceeds_ = true;
};

// Help looks for its page beside the program, here the test program, where
// there is none: "File not found" in a plain box, and nothing opened. (The
// test never writes beside itself, into the build tree; the install test
// starts the installed program, whose page is there, and sees it opened.)
TEST_F(WindowLinks, HelpWithoutItsPageSaysFileNotFound) {
    Form1& f = load();
    const std::optional<fs::path> dir = drives::toHost(App::Path().toStdString());
    ASSERT_TRUE(dir && fs::is_directory(*dir));
    ASSERT_FALSE(fs::exists(*dir / "help.htm"));
    f.Command10->click();
    EXPECT_TRUE(opened_.empty());
    ASSERT_EQ(seams->messages.size(), 1u);
    EXPECT_EQ(seams->messages[0].prompt, "File not found");
    EXPECT_EQ(seams->messages[0].buttons, 0);
    EXPECT_EQ(seams->messages[0].title, "Knobwise");
}

TEST_F(WindowLinks, BothLabelsOpenTheSameWebAddressEveryTime) {
    Form1& f = load();
    f.Label6_Click();
    f.Label9_Click();
    f.Label9_Click();
    const QUrl address(QString::fromLatin1(Form1::kWebAddress));
    EXPECT_EQ(opened_, (std::vector<QUrl>{address, address, address}));
    EXPECT_TRUE(seams->messages.empty());
    EXPECT_GT(f.StartDoc(QString::fromLatin1(Form1::kWebAddress)), 32);

    // Nothing on the desktop takes it.
    openerSucceeds_ = false;
    f.Label6_Click();
    ASSERT_EQ(seams->messages.size(), 1u);
    EXPECT_EQ(seams->messages[0].prompt, "No association for file extension");
    EXPECT_EQ(seams->messages[0].title, "Knobwise");
}

// How a link label looks: underlined or not, and its text colour.
struct Look {
    bool underline;
    std::uint32_t colour;
    bool operator==(const Look&) const = default;
};

void PrintTo(const Look& l, std::ostream* os) {
    *os << (l.underline ? "underlined, " : "plain, ") << std::hex << "0x" << l.colour;
}

class LinkHover : public WindowLinks {
  protected:
    LinkHover() {
        load();
        form->show();
        form->SSTab1->setTab(5);  // "About", where Label6 is
        EXPECT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    }
    static Look look(const Label* l) { return {l->FontUnderline(), l->ForeColor()}; }
    // Label6's look and Label9's.
    std::pair<Look, Look> looks() const { return {look(form->Label6), look(form->Label9)}; }
    static void moveTo(QWidget* w, QPoint p) { QTest::mouseMove(w, p); }

    static constexpr Look kLabel6Normal{false, 0x00FF0000};
    static constexpr Look kLabel6Lit{true, 0x000000FF};
    static constexpr Look kLabel9Normal{false, 0x00808080};
    static constexpr Look kLabel9Lit{true, 0x00FFFFFF};
};

TEST_F(LinkHover, LabelsLightUpAndTheSurfacesPutBothBack) {
    Form1& f = *form;
    EXPECT_EQ(looks(), std::pair(kLabel6Normal, kLabel9Normal));
    moveTo(f.Label9, {10, 5});
    EXPECT_EQ(looks(), std::pair(kLabel6Normal, kLabel9Lit));
    moveTo(f.Label6, {10, 5});
    EXPECT_EQ(looks(), std::pair(kLabel6Lit, kLabel9Lit));

    // A free part of the page: both back at once.
    moveTo(f.SSTab1, {450, 200});
    EXPECT_EQ(looks(), std::pair(kLabel6Normal, kLabel9Normal));

    // The window's own surface, between Label9 and Help.
    moveTo(f.Label9, {10, 5});
    moveTo(f.Label6, {10, 5});
    moveTo(&f, {165, 370});
    EXPECT_EQ(looks(), std::pair(kLabel6Normal, kLabel9Normal));

    // The tab row is the tab control's surface too.
    moveTo(f.Label6, {10, 5});
    moveTo(f.SSTab1->tabBar(), {30, 10});
    EXPECT_EQ(look(f.Label6), kLabel6Normal);
}

TEST_F(LinkHover, MovingOntoAnotherControlLeavesALabelLit) {
    Form1& f = *form;
    moveTo(f.Label6, {10, 5});
    moveTo(f.Label10, {10, 10});
    moveTo(f.Command10, {10, 10});
    EXPECT_EQ(look(f.Label6), kLabel6Lit);

    moveTo(f.Label9, {10, 5});
    moveTo(f.Command9, {10, 10});
    EXPECT_EQ(look(f.Label9), kLabel9Lit);
    // Clicking a lit label leaves it lit.
    QTest::mouseClick(f.Label9, Qt::LeftButton, {}, {10, 5});
    EXPECT_EQ(look(f.Label9), kLabel9Lit);
    EXPECT_EQ(opened_.size(), 1u);
}

}  // namespace
