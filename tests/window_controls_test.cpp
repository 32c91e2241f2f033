// The controls' own behaviour and the windows' keyboard: check boxes that
// clicks keep out of the indeterminate state (which is drawn grayed), the
// password box, picture boxes that keep what is drawn on them, the tab
// order of the pages, first focus and Enter, and pictures from files.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QFontDatabase>
#include <QFontInfo>
#include <QPainter>
#include <QSignalSpy>
#include <QStyleOptionButton>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <fstream>

#include "controls/classicstyle.h"
#include "controls/msgbox.h"
#include "controls/picture.h"
#include "folders/Dialog.h"
#include "graphics/gdi.h"
#include "machine/machine.h"
#include "window_support.h"

namespace {

namespace fs = std::filesystem;
using namespace window_testing;

class WindowControls : public ::testing::Test, public WindowTest {
  protected:
    // Form1 loaded, shown on that page and active.
    Form1& shown(int tab) {
        Form1& f = load();
        f.show();
        f.SSTab1->setTab(tab);
        EXPECT_TRUE(QTest::qWaitForWindowActive(&f));
        return f;
    }
};

TEST_F(WindowControls, ClicksNeverBringACheckBoxBackToIndeterminate) {
    Form1& f = shown(4);
    for (CheckBox* box : {f.Check3, f.Check4, f.Check5}) {
        ASSERT_EQ(box->Value(), 2);
        std::vector<int> seen;
        for (int i = 0; i < 4; ++i) {
            QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(5, box->height() / 2));
            seen.push_back(box->Value());
        }
        box->setFocus();
        QTest::keyClick(box, Qt::Key_Space);
        seen.push_back(box->Value());
        EXPECT_EQ(seen, (std::vector<int>{1, 0, 1, 0, 1}));
    }
    EXPECT_THROW(f.Check3->setValue(3), std::out_of_range);
}

// The indicator of an indeterminate box: a grey check mark, nothing black
// inside the frame, on a dither of white and face grey.
TEST_F(WindowControls, IndeterminateBoxIsDrawnGrayed) {
    CheckBox box(QStringLiteral("Grayed"));
    box.resize(120, 20);
    QStyleOptionButton option;
    option.initFrom(&box);
    QRect indicator = box.style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, &box);
    auto inside = [&](const QImage& image) {
        int black = 0, grey = 0, white = 0;
        for (int y = indicator.top() + 2; y <= indicator.bottom() - 2; ++y) {
            for (int x = indicator.left() + 2; x <= indicator.right() - 2; ++x) {
                QRgb c = image.pixel(x, y);
                if (c == qRgb(0, 0, 0)) ++black;
                if (c == qRgb(128, 128, 128)) ++grey;
                if (c == qRgb(255, 255, 255)) ++white;
            }
        }
        return std::array<int, 3>{black, grey, white};
    };
    box.setValue(2);
    auto grayed = inside(box.grab().toImage());
    box.setValue(1);
    auto checked = inside(box.grab().toImage());
    EXPECT_EQ(grayed[0], 0);
    EXPECT_EQ(grayed[1], checked[0]);  // the same mark, in grey
    EXPECT_GT(grayed[1], 0);
    EXPECT_GT(grayed[2], 0);
    EXPECT_LT(grayed[2], checked[2]);  // dithered, not plain white
}

TEST_F(WindowControls, PasswordBoxShowsStarsAndGivesNothingAway) {
    Form1& f = shown(2);
    f.Text7->setText("alice");
    f.Text8->setText("secret");
    EXPECT_EQ(f.Text8->displayText(), "******");

    QApplication::clipboard()->setText("before");
    f.Text8->setFocus();
    f.Text8->selectAll();
    QTest::keyClick(f.Text8, Qt::Key_C, Qt::ControlModifier);
    QTest::keyClick(f.Text8, Qt::Key_X, Qt::ControlModifier);
    f.Text8->copy();
    EXPECT_EQ(QApplication::clipboard()->text(), "before");
    EXPECT_EQ(f.Text8->Text(), "secret");

    f.Text7->setFocus();
    f.Text7->selectAll();
    QTest::keyClick(f.Text7, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), "alice");
}

TEST_F(WindowControls, PictureBoxShowsItsPersistentImage) {
    Form1& f = load();
    PictureBox* box = f.Picture1;
    const QSize size = box->size();
    QImage* image = gdi::target(box->hDC());
    ASSERT_EQ(image, &box->image());
    {
        QPainter painter(image);
        painter.fillRect(0, 0, 8, 8, Qt::red);
    }
    QPoint inside = box->contentsRect().topLeft() + QPoint(3, 3);
    box->setAutoRedraw(false);
    EXPECT_NE(box->grab().toImage().pixel(inside), qRgb(255, 0, 0));
    box->setAutoRedraw(true);
    box->Refresh();
    // Every repaint (a grab is one) shows what was drawn.
    EXPECT_EQ(box->grab().toImage().pixel(inside), qRgb(255, 0, 0));
    EXPECT_EQ(box->grab().toImage().pixel(inside), qRgb(255, 0, 0));
    // AutoSize without a picture keeps the box's size.
    box->setAutoSize(true);
    EXPECT_EQ(box->size(), size);
}

QList<QWidget*> tabCycle(Form1& f, int presses) {
    QList<QWidget*> seen;
    f.SSTab1->setFocus();
    seen << QApplication::focusWidget();
    for (int i = 0; i < presses; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        seen << QApplication::focusWidget();
    }
    return seen;
}

TEST_F(WindowControls, TabOrderOnInfoTipsAndBoot) {
    Form1& f = shown(0);
    QWidget* tabs = f.SSTab1->focusProxy();
    QList<QWidget*> infoTips = {tabs,       f.Text1,    f.Picture1,  f.Picture2, f.Text2,
                                f.Check1,   f.Picture3, f.Text3,     f.Picture4, f.Text4,
                                f.Picture5, f.Text5,    f.Picture6,  f.Text6,    f.Command1,
                                f.Command8, f.Command9, f.Command10, tabs};
    EXPECT_EQ(tabCycle(f, 18), infoTips);

    f.SSTab1->setTab(2);
    QList<QWidget*> boot = {tabs,       f.Command1, f.Text7,     f.Text8, f.Check2, f.ExplorerList1,
                            f.Command8, f.Command9, f.Command10, tabs};
    EXPECT_EQ(tabCycle(f, 9), boot);
}

// "&Use Shortcut Icons", "&Use Backbitmaps" and "&Use Auto Login" share
// their access key; only the box on the page shown answers it.
TEST_F(WindowControls, AccessKeysActOnlyOnTheShownPage) {
    Form1& f = shown(4);
    QSignalSpy clicked(f.Check3, &QAbstractButton::clicked);
    QTest::keyClick(f.windowHandle(), Qt::Key_U, Qt::AltModifier);
    ASSERT_TRUE(clicked.count() == 1 || clicked.wait());
    EXPECT_EQ(f.Check3->Value(), 1);
    EXPECT_EQ(f.Check6->Value(), 0);
    EXPECT_EQ(f.Check2->Value(), 0);
}

// A mouse move goes to the control under the pointer and no further: a
// link label, the tab control where no control covers it, the window's own
// surface; a control without a handler swallows it.
TEST_F(WindowControls, MouseMovesReachOnlyTheControlUnderThePointer) {
    Form1& f = shown(4);
    QSignalSpy label9(f.Label9, &Label::MouseMove);
    QSignalSpy tabs(f.SSTab1, &SSTab::MouseMove);
    QSignalSpy window(&f, &Form::MouseMove);
    auto counts = [&] {
        return std::array<qsizetype, 3>{label9.count(), tabs.count(), window.count()};
    };

    QTest::mouseMove(f.Label9, QPoint(10, 5));
    EXPECT_EQ(counts(), (std::array<qsizetype, 3>{1, 0, 0}));
    QTest::mouseMove(f.Frame4, QPoint(300, 10));
    QTest::mouseMove(f.Command7, QPoint(10, 10));
    EXPECT_EQ(counts(), (std::array<qsizetype, 3>{1, 0, 0}));
    QTest::mouseMove(f.SSTab1, QPoint(300, 320));  // below the frames
    EXPECT_EQ(counts(), (std::array<qsizetype, 3>{1, 1, 0}));
    QTest::mouseMove(&f, QPoint(165, 370));  // between Label9 and Help
    EXPECT_EQ(counts(), (std::array<qsizetype, 3>{1, 1, 1}));
    EXPECT_FLOAT_EQ(window.at(0).at(2).toFloat(), 165 * 15);
}

TEST_F(WindowControls, OnlyTheSelectedPageIsShown) {
    Form1& f = load();
    f.show();
    EXPECT_TRUE(f.Text1->isVisible());
    EXPECT_FALSE(f.Check3->isVisible());
    f.SSTab1->setTab(4);
    EXPECT_FALSE(f.Text1->isVisible());
    EXPECT_TRUE(f.Check3->isVisible());
    EXPECT_THROW(f.SSTab1->setTab(6), std::out_of_range);
}

TEST_F(WindowControls, MainWindowCannotBeResized) {
    Form1& f = load();
    EXPECT_EQ(f.minimumSize(), f.maximumSize());
    EXPECT_FALSE(f.windowFlags() & (Qt::WindowMaximizeButtonHint | Qt::WindowMinimizeButtonHint));
    EXPECT_TRUE(f.windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(f.windowIcon().isNull());
    EXPECT_TRUE(f.ShowInTaskbar());
}

// The windows ask Qt for an installed family, which must be the face Qt and
// fontconfig pick for the Windows face name; a face with no stand-in is
// asked for by its own name.
TEST_F(WindowControls, FontsUseTheFaceQtWouldPickForTheWindowsName) {
    const QStringList installed = QFontDatabase::families();
    for (const char* face : {"Arial", "Times New Roman", "DejaVu Sans"}) {
        const QString name = QString::fromLatin1(face);
        QFont asked(name);
        asked.setPointSizeF(9.75);
        asked.setBold(true);
        const QFont made = classic::font(name, 9.75, true);
        EXPECT_TRUE(installed.contains(made.family(), Qt::CaseInsensitive)) << face;
        EXPECT_EQ(QFontInfo(made).family(), QFontInfo(asked).family()) << face;
        EXPECT_TRUE(made.bold());
        EXPECT_EQ(made.pointSizeF(), 9.75);
    }
    EXPECT_EQ(classic::font(QStringLiteral("No Such Face"), 8).family(),
              QStringLiteral("No Such Face"));
}

// The keyboard as a new user meets it. Each window opens with the focus on
// its first control in tab order. Enter presses the focused button (main or
// keypad Enter) and keeps its own meaning elsewhere, since no window has a
// default button. The folder picker is opened as the program opens it: no
// owner, a fixed frame, no taskbar entry.
class Keyboard : public WindowControls {
  protected:
    Keyboard() {
        CommonDialog::setChooser([](const QString&, const QString&) { return std::nullopt; });
    }
    ~Keyboard() override {
        CommonDialog::setChooser({});
        Form::setModalHandler({});
    }
    static void press(Qt::Key key) { QTest::keyClick(QApplication::focusWidget(), key); }
};

TEST_F(Keyboard, FirstFocusAndEnterOnEveryPageAndInTheFolderPicker) {
    Form::setModalHandler([](Form&) {});
    Form1& f = shown(0);
    EXPECT_EQ(QApplication::focusWidget(), f.SSTab1->focusProxy());
    std::vector<CommandButton*> clicked;
    for (CommandButton* b : f.findChildren<CommandButton*>())
        QObject::connect(b, &CommandButton::Click, [&clicked, b] { clicked.push_back(b); });

    struct Page {
        int tab;
        std::vector<CommandButton*> buttons;  // Enter presses each
        std::vector<QWidget*> others;         // Enter presses no button
    };
    const std::vector<Page> pages = {
        {0, {}, {f.Text1, f.Picture1, f.Check1}},
        {1, {f.Command6}, {f.Check6}},
        {2, {}, {f.Text7, f.Text8, f.Check2, f.ExplorerList1}},
        {3, {f.Command2, f.Command3, f.Command4, f.Command5}, {}},
        {4, {f.Command7}, {f.Check3}},
        {5, {f.Command1, f.Command8, f.Command9, f.Command10}, {}},
    };
    for (const Page& page : pages) {
        f.SSTab1->setTab(static_cast<std::int16_t>(page.tab));
        for (CommandButton* b : page.buttons) {
            clicked.clear();
            b->setFocus();
            QTest::keyClick(b, Qt::Key_Return);
            QTest::keyClick(b, Qt::Key_Enter, Qt::KeypadModifier);
            EXPECT_EQ(clicked, (std::vector<CommandButton*>{b, b})) << b->text().toStdString();
        }
        for (QWidget* w : page.others) {
            clicked.clear();
            w->setFocus();
            QTest::keyClick(w, Qt::Key_Return);
            EXPECT_TRUE(clicked.empty()) << "page " << page.tab;
        }
    }

    // The folder picker, each time fresh from Command2_Click, and the keys
    // the user presses in it.
    Form::setModalHandler({});
    const fs::path windows = machine::driveC() / "WINDOWS";
    fs::create_directories(windows / "Zoo");
    testing_support::CurrentDirectory cwd(windows);
    const fs::path made = windows / "Control Panel.{21EC2020-3AEA-1069-A2DD-08002B30309D}";
    struct Play {
        const char* what;
        std::vector<Qt::Key> keys;
        bool makes;
        QString pathAfter;  // Dir1's folder when the keys are done
    };
    const std::vector<Play> plays = {
        {"Tab, Enter: Cancel", {Qt::Key_Tab, Qt::Key_Return}, false, "C:\\WINDOWS"},
        {"Enter in the list opens the folder",
         {Qt::Key_Tab, Qt::Key_Tab, Qt::Key_End, Qt::Key_Return},
         false,
         "C:\\WINDOWS\\Zoo"},
        {"Enter as it opens: OK", {Qt::Key_Return}, true, "C:\\WINDOWS"},
    };
    for (const Play& play : plays) {
        SCOPED_TRACE(play.what);
        bool opened = false;
        QTimer::singleShot(0, [&] {
            auto* seen = qobject_cast<Dialog*>(QApplication::activeModalWidget());
            ASSERT_TRUE(seen && QTest::qWaitForWindowActive(seen));
            opened = true;
            EXPECT_EQ(QApplication::focusWidget(), seen->OKButton);
            EXPECT_EQ(seen->parentWidget(), nullptr);
            EXPECT_EQ(seen->windowType(), Qt::Dialog);
            EXPECT_FALSE(seen->ShowInTaskbar());
            EXPECT_EQ(seen->minimumSize(), seen->maximumSize());
            EXPECT_FALSE(seen->windowFlags() &
                         (Qt::WindowMaximizeButtonHint | Qt::WindowMinimizeButtonHint));
            for (Qt::Key key : play.keys) press(key);
            EXPECT_EQ(seen->Dir1->Path(), play.pathAfter);
            if (seen->isVisible()) seen->close();
        });
        f.Command2_Click();
        EXPECT_TRUE(opened);
        EXPECT_EQ(fs::exists(made), play.makes);
    }
}

// A message box's buttons take Enter too: the one with the focus is pressed,
// not the box's default.
TEST_F(Keyboard, EnterPressesTheFocusedButtonOfAMessageBox) {
    msgbox::setHandler({});
    QTimer::singleShot(0, [] {
        QWidget* box = QApplication::activeModalWidget();
        ASSERT_TRUE(box && QTest::qWaitForWindowActive(box));
        press(Qt::Key_Tab);
        press(Qt::Key_Return);
        if (box->isVisible()) box->close();
    });
    EXPECT_EQ(MsgBox(QStringLiteral("Go on?"), msgbox::kYesNoCancel), msgbox::kNo);
}

TEST_F(WindowControls, LoadPictureMapsWindowsPathsAndRefusesWhatIsNoPicture) {
    fs::path dir = machine::driveC() / "Pics";
    fs::create_directories(dir);
    QImage small(3, 2, QImage::Format_RGB32);
    small.fill(Qt::blue);
    ASSERT_TRUE(small.save(QString::fromStdString((dir / "Small.BMP").string()), "BMP"));
    std::ofstream(dir / "text.bmp") << "not a picture";
    EXPECT_EQ(LoadPicture("c:\\PICS\\small.bmp").size(), QSize(3, 2));
    EXPECT_TRUE(LoadPicture("").isNull());
    EXPECT_THROW(LoadPicture("C:\\Pics\\text.bmp"), PictureError);
    EXPECT_THROW(LoadPicture("C:\\Pics\\none.bmp"), PictureError);
    EXPECT_THROW(LoadPicture("C:\\Pics"), PictureError);
    EXPECT_THROW(LoadPicture("Q:\\small.bmp"), PictureError);
}

}  // namespace
